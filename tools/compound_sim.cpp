#include "tools/compound_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "compounds/adduct_table.h"

namespace {

// Natural abundances of the heavier isotopes, relative to the lightest (by nominal shift 1 and 2).
struct ElementIsotopes {
  double plus1 = 0;
  double plus2 = 0;
};
const ElementIsotopes kCarbon{0.010816, 0};
const ElementIsotopes kHydrogen{0.000115, 0};
const ElementIsotopes kNitrogen{0.003654, 0};
const ElementIsotopes kOxygen{0.000381, 0.002055};
const ElementIsotopes kSulfur{0.00790, 0.04470};

void convolve(std::vector<double>& pattern, const ElementIsotopes& element, int atoms) {
  const std::size_t size = pattern.size();
  for (int a = 0; a < atoms; ++a) {
    std::vector<double> next(size, 0.0);
    for (std::size_t k = 0; k < size; ++k) {
      next[k] += pattern[k];
      if (k + 1 < size) next[k + 1] += pattern[k] * element.plus1;
      if (k + 2 < size) next[k + 2] += pattern[k] * element.plus2;
    }
    pattern = next;
  }
}

std::string formulaText(int c, int h, int n, int o, int s) {
  std::string text = "C" + std::to_string(c) + "H" + std::to_string(h);
  if (n > 0) text += "N" + std::to_string(n);
  if (o > 0) text += "O" + std::to_string(o);
  if (s > 0) text += "S" + std::to_string(s);
  return text;
}

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// The ions a compound may show, with the odds of showing each and the range of its ratio to [M+H]+.
struct IonChoice {
  const char* name;
  double odds;
  double low, high;
};
const IonChoice kPositiveIons[] = {
    {"[M+Na]+", 0.6, 0.1, 0.6},     {"[M+NH4]+", 0.3, 0.1, 0.5},  {"[M+K]+", 0.2, 0.05, 0.2},
    {"[M+H-H2O]+", 0.3, 0.05, 0.4}, {"[2M+H]+", 0.15, 0.05, 0.3}, {"[M+2H]2+", 0.1, 0.1, 0.4},
};

}  // namespace

std::vector<double> isotopePattern(int c, int h, int n, int o, int s, std::size_t peaks) {
  std::vector<double> pattern(peaks, 0.0);
  pattern[0] = 1.0;
  convolve(pattern, kCarbon, c);
  convolve(pattern, kHydrogen, h);
  convolve(pattern, kNitrogen, n);
  convolve(pattern, kOxygen, o);
  convolve(pattern, kSulfur, s);
  return pattern;
}

CompoundRunModel::CompoundRunModel(const CompoundSimConfig& config)
    : config_(config), random_(config.seed * 2654435761ULL + 17) {
  placeMolecules();
}

long CompoundRunModel::cycles() const {
  return static_cast<long>(std::floor(config_.runMinutes * 60.0 / config_.cycleSeconds));
}

void CompoundRunModel::placeMolecules() {
  SimRandom random(config_.compoundSeed != 0 ? config_.compoundSeed : config_.seed);
  const double run = cycles() * config_.cycleSeconds;
  while (static_cast<long>(molecules_.size()) < config_.compounds) {
    const int c = 5 + static_cast<int>(random.below(30));
    const int h = c + static_cast<int>(random.below(static_cast<std::uint64_t>(c) + 4));
    const int n = static_cast<int>(random.below(4));
    const int o = static_cast<int>(random.below(7));
    const int s = random.chance(0.15) ? 1 : 0;
    SimMolecule molecule;
    molecule.formula = formulaText(c, h, n, o, s);
    if (!formulaMass(molecule.formula, molecule.mass) || molecule.mass < 100 || molecule.mass > 900) continue;
    molecule.apexTime = random.uniform(30, run - 30);
    molecule.sigma = config_.peakWidth * random.uniform(0.8, 1.2);
    molecule.apexIntensity =
        random.logUniform(config_.minIntensity, config_.maxIntensity) * config_.sampleScale;
    std::vector<std::pair<std::string, double>> chosen = {{"[M+H]+", 1.0}};
    for (const IonChoice& choice : kPositiveIons) {
      const bool possible = (std::string(choice.name) != "[M+H-H2O]+" || o > 0) &&
                            (std::string(choice.name) != "[M+2H]2+" || molecule.mass > 400);
      const bool shown = random.chance(choice.odds);
      const double ratio = random.uniform(choice.low, choice.high);
      if (possible && shown) chosen.emplace_back(choice.name, ratio);
    }
    for (const auto& entry : chosen) {
      Adduct adduct;
      std::string error;
      parseAdductName(entry.first, adduct, error);
      SimIon ion;
      ion.name = entry.first;
      ion.molecules = adduct.molecules;
      ion.charge = adduct.charge;
      ion.shift = adduct.shift;
      ion.ratio = entry.second;
      ion.mz = adduct.mzOf(molecule.mass);
      ion.pattern = isotopePattern(c * ion.molecules, h * ion.molecules, n * ion.molecules, o * ion.molecules,
                                   s * ion.molecules, 4);
      molecule.ions.push_back(ion);
    }
    const long fragments = 4 + static_cast<long>(random.below(7));
    for (long k = 0; k < fragments; ++k) {
      molecule.fragments.push_back(
          SimFragment{random.uniform(50, molecule.ions[0].mz - 15), random.uniform(0.05, 1)});
    }
    molecules_.push_back(molecule);
  }
  std::stable_sort(molecules_.begin(), molecules_.end(),
                   [](const SimMolecule& a, const SimMolecule& b) { return a.apexTime < b.apexTime; });
  ms2Count_.assign(molecules_.size(), {});
  for (std::size_t m = 0; m < molecules_.size(); ++m) {
    ms2Count_[m].assign(molecules_[m].ions.size(), std::vector<long>(4, 0));
  }
}

SimSpectrum CompoundRunModel::fullScan(long cycle) {
  SimSpectrum spectrum;
  spectrum.msLevel = 1;
  spectrum.rt = config_.cycleSeconds * static_cast<double>(cycle + 1);
  spectrum.scanType = "Full";
  spectrum.filterLine = "FTMS + p ESI Full ms [100.00-1500.00]";
  const double floor = config_.noiseMax / 100.0;
  struct Sourced {
    SimPeak peak;
    Precursor source;
    long molecule;
  };
  std::vector<Sourced> peaks;
  for (std::size_t m = 0; m < molecules_.size(); ++m) {
    const SimMolecule& molecule = molecules_[m];
    const double distance = (spectrum.rt - molecule.apexTime) / molecule.sigma;
    if (std::fabs(distance) > 6) continue;
    const double profile = molecule.apexIntensity * std::exp(-0.5 * distance * distance);
    for (std::size_t i = 0; i < molecule.ions.size(); ++i) {
      const SimIon& ion = molecule.ions[i];
      for (std::size_t k = 0; k < ion.pattern.size(); ++k) {
        if (ion.pattern[k] < 0.001) continue;
        const double intensity =
            profile * ion.ratio * ion.pattern[k] * (1.0 + config_.intensityScatter * random_.symmetric());
        if (intensity < floor) continue;
        const double mz = ion.mz + static_cast<double>(k) * kCarbon13Step / std::abs(ion.charge);
        peaks.push_back({{mz * (1.0 + config_.massErrorPpm * 1e-6 * random_.symmetric()), intensity},
                         {m, i, static_cast<int>(k)},
                         static_cast<long>(m)});
      }
    }
  }
  for (long k = 0; k < config_.noisePeaks; ++k) {
    peaks.push_back({{random_.uniform(100, 1500), random_.logUniform(floor, config_.noiseMax)}, {}, -1});
  }
  std::stable_sort(peaks.begin(), peaks.end(),
                   [](const Sourced& a, const Sourced& b) { return a.peak.mz < b.peak.mz; });
  lastPeakSources_.clear();
  peakSourceMolecule_.clear();
  for (const Sourced& entry : peaks) {
    spectrum.peaks.push_back(entry.peak);
    lastPeakSources_.push_back(entry.source);
    peakSourceMolecule_.push_back(entry.molecule);
  }
  return spectrum;
}

std::vector<SimSpectrum> CompoundRunModel::tandemScans(const SimSpectrum& fullScan) {
  std::vector<std::size_t> candidates;
  for (std::size_t p = 0; p < fullScan.peaks.size(); ++p) {
    if (peakSourceMolecule_[p] < 0 || lastPeakSources_[p].isotope != 0) continue;
    if (fullScan.peaks[p].intensity < 20 * config_.noiseMax) continue;
    bool excluded = false;
    for (const auto& entry : excluded_) {
      excluded =
          excluded || (std::fabs(entry.first - fullScan.peaks[p].mz) < 0.01 && fullScan.rt < entry.second);
    }
    if (!excluded) candidates.push_back(p);
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
    return fullScan.peaks[a].intensity > fullScan.peaks[b].intensity;
  });
  std::vector<SimSpectrum> scans;
  for (std::size_t j = 0; j < candidates.size() && static_cast<long>(j) < config_.topN; ++j) {
    const SimPeak& precursor = fullScan.peaks[candidates[j]];
    const Precursor& source = lastPeakSources_[candidates[j]];
    const SimMolecule& molecule = molecules_[source.molecule];
    SimSpectrum spectrum;
    spectrum.msLevel = 2;
    spectrum.rt = fullScan.rt +
                  config_.cycleSeconds * static_cast<double>(j + 1) / static_cast<double>(config_.topN + 1);
    spectrum.scanType = "Full";
    spectrum.collisionEnergy = 30;
    spectrum.precursorText = format("%.4f", precursor.mz);
    spectrum.precursorMz = std::strtod(spectrum.precursorText.c_str(), nullptr);
    spectrum.precursorIntensity = precursor.intensity;
    spectrum.precursorCharge = std::abs(molecule.ions[source.ion].charge);
    spectrum.filterLine = "FTMS + c ESI d Full ms2 " + spectrum.precursorText + "@hcd30.00 [50.00-" +
                          format("%.2f", std::ceil(precursor.mz * 1.1 + 10)) + "]";
    for (const SimFragment& fragment : molecule.fragments) {
      if (fragment.mz >= precursor.mz) continue;
      spectrum.peaks.push_back({fragment.mz, precursor.intensity * 0.5 * fragment.ratio});
    }
    spectrum.peaks.push_back({precursor.mz, precursor.intensity * 0.1});
    std::sort(spectrum.peaks.begin(), spectrum.peaks.end(),
              [](const SimPeak& a, const SimPeak& b) { return a.mz < b.mz; });
    ++ms2Count_[source.molecule][source.ion][0];
    excluded_.emplace_back(precursor.mz, fullScan.rt + config_.exclusionSeconds);
    scans.push_back(spectrum);
  }
  excluded_.erase(
      std::remove_if(excluded_.begin(), excluded_.end(),
                     [&](const std::pair<double, double>& entry) { return entry.second <= fullScan.rt; }),
      excluded_.end());
  return scans;
}

bool CompoundRunModel::writeTruth(const std::string& path) const {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fprintf(
      file,
      "compound\tformula\tneutral_mass\tion\tisotope\tcharge\tmz\tapex_rt\tapex_intensity\tms2_scans\n");
  for (std::size_t m = 0; m < molecules_.size(); ++m) {
    const SimMolecule& molecule = molecules_[m];
    for (std::size_t i = 0; i < molecule.ions.size(); ++i) {
      const SimIon& ion = molecule.ions[i];
      for (std::size_t k = 0; k < ion.pattern.size(); ++k) {
        if (ion.pattern[k] < 0.001) continue;
        std::fprintf(file, "%zu\t%s\t%.6f\t%s\t%zu\t%d\t%.6f\t%.3f\t%.1f\t%ld\n", m + 1,
                     molecule.formula.c_str(), molecule.mass, ion.name.c_str(), k, std::abs(ion.charge),
                     ion.mz + static_cast<double>(k) * kCarbon13Step / std::abs(ion.charge),
                     molecule.apexTime, molecule.apexIntensity * ion.ratio * ion.pattern[k],
                     ms2Count_[m][i][k]);
      }
    }
  }
  return std::fclose(file) == 0;
}
