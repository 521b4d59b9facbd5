#include "tools/sim_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/atomic_file.h"

namespace {

constexpr double kIsotopeStep = 1.00335;    // 13C - 12C, daltons
constexpr double kWaterLoss = 18.0106;      // H2O, daltons
constexpr double kProton = 1.00728;         // daltons
constexpr double kMassSpacing = 1.2;        // least distance between ions of co-eluting compounds
constexpr double kNoiseClearance = 0.6;     // noise stays this far from eluting compound ions
constexpr double kMassErrorPpm = 2.0;       // m/z scatter of every compound peak
constexpr double kIntensityScatter = 0.04;  // relative scatter of every compound peak
constexpr double kTandemCollisionEnergy = 35.0;

// The nearest float, widened back. The store through a volatile float keeps
// the rounding: g++ 12.2 at -O2 vectorises a loop that narrows both fields of
// a pair of doubles and widens them again into nothing at all.
double toFloatPrecision(double value) {
  volatile float narrow = static_cast<float>(value);
  return narrow;
}

double roundTo(double value, double step) { return std::floor(value / step + 0.5) * step; }

std::string format(const char* pattern, double a) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, a);
  return buffer;
}

}  // namespace

double SimConfig::runSeconds() const {
  if (runMinutes > 0) return runMinutes * 60.0;
  if (mode == Mode::Srm) {
    return transitions > 0 ? static_cast<double>(spectra) / static_cast<double>(transitions) : 1.0;
  }
  return static_cast<double>(spectra);
}

double SimCompound::profile(double t) const {
  const double z = (t - apexTime) / (t > apexTime && tailSigma > 0 ? tailSigma : sigma);
  return apexIntensity * std::exp(-0.5 * z * z);
}

std::vector<double> SimCompound::ions() const {
  std::vector<double> result = {mz, mz + kIsotopeStep / charge, mz + 2 * kIsotopeStep / charge};
  if (waterLossRatio > 0) result.push_back(mz - kWaterLoss / charge);
  return result;
}

RunModel::RunModel(const SimConfig& config)
    : config_(config),
      random_(config.seed),
      shuffle_(config.seed ^ 0x5DEECE66DULL),
      effects_(config.seed ^ 0x9E3779B97F4A7C15ULL) {
  if (config_.mode == SimConfig::Mode::Srm) {
    const long count = std::min(config_.compounds, config_.transitions);
    placeCompounds(std::max(0L, count));
    buildTransitions();
  } else {
    ms2PerCycle_ = std::min(config_.ms2PerCycle, config_.peaksPerSpectrum());
    placeCompounds(config_.compounds);
    addFragments();
    addEffects();
  }
}

RunModel::RunModel(const SimConfig& config, const std::vector<SimCompound>& compounds)
    : config_(config),
      random_(config.seed),
      shuffle_(config.seed ^ 0x5DEECE66DULL),
      compounds_(compounds),
      effects_(config.seed ^ 0x9E3779B97F4A7C15ULL) {
  config_.mode = SimConfig::Mode::FullScan;
  ms2PerCycle_ = std::min(config_.ms2PerCycle, config_.peaksPerSpectrum());
  for (const SimCompound& compound : compounds_) {
    for (double ion : compound.ions()) allIons_.push_back(ion);
  }
  std::sort(allIons_.begin(), allIons_.end());
}

long RunModel::cycles() const { return config_.spectra; }

double RunModel::cycleTime() const {
  return config_.spectra > 0 ? config_.runSeconds() / static_cast<double>(config_.spectra) : 1.0;
}

double RunModel::timeOf(long cycle) const { return cycleTime() * (static_cast<double>(cycle) + 0.5); }

// Spreads the apex times evenly over the run with some jitter, so that every
// compound stands clear of its neighbours in time, and keeps the full peak
// inside the run.
void RunModel::placeCompounds(long count) {
  const double run = config_.runSeconds();
  const double margin = std::min(6.0 * config_.peakWidth + 2.0, run / 4.0);
  const double slot = count > 0 ? (run - 2.0 * margin) / static_cast<double>(count) : 0.0;
  const bool srm = config_.mode == SimConfig::Mode::Srm;
  for (long i = 0; i < count; ++i) {
    SimCompound compound;
    compound.apexTime = margin + slot * (static_cast<double>(i) + 0.5 + 0.3 * random_.symmetric());
    compound.sigma = config_.peakWidth * random_.uniform(0.8, 1.25);
    compound.charge = srm ? 1 : 1 + static_cast<int>(random_.below(std::max(1, config_.maxCharge)));
    compound.apexIntensity = random_.logUniform(config_.minIntensity, config_.maxIntensity);
    compound.mz = pickCompoundMz(compound.apexTime, compound.charge);
    if (srm) compound.mz = roundTo(compound.mz, 0.001);
    // Rough carbon count of a small molecule: one carbon per 14 Da.
    const double carbons = (compound.mz - kProton) * compound.charge / 14.0;
    compound.isotopeRatio[0] = 0.0107 * carbons;
    compound.isotopeRatio[1] = 0.5 * compound.isotopeRatio[0] * compound.isotopeRatio[0];
    if (!srm && random_.chance(0.4)) compound.waterLossRatio = random_.uniform(0.05, 0.35);
    compounds_.push_back(compound);
    for (double ion : compounds_.back().ions()) allIons_.push_back(ion);
  }
  std::sort(allIons_.begin(), allIons_.end());
}

// A monoisotopic m/z whose ions keep clear of every other compound's ions: of
// all compounds while that is easy, later only of those eluting nearby.
double RunModel::pickCompoundMz(double apexTime, int charge) {
  const double low = config_.lowMz + kWaterLoss + 2.0;
  const double high = config_.highMz - 2.0 * kIsotopeStep - 0.1;
  double mz = 0.5 * (low + high);
  for (int attempt = 0; attempt < 400; ++attempt) {
    mz = roundTo(random_.uniform(low, high), 0.0001);
    SimCompound candidate;
    candidate.mz = mz;
    candidate.charge = charge;
    candidate.waterLossRatio = 1;  // keep room for a water loss either way
    bool clear = true;
    for (const SimCompound& other : compounds_) {
      if (attempt >= 200 && std::fabs(other.apexTime - apexTime) > 120.0) continue;
      for (double a : candidate.ions()) {
        for (double b : other.ions()) clear = clear && std::fabs(a - b) >= kMassSpacing;
      }
    }
    if (clear) break;
  }
  return mz;
}

void RunModel::addFragments() {
  for (SimCompound& compound : compounds_) {
    const double low = std::max(50.0, 0.27 * compound.mz) + 1.0;
    const double high = compound.mz - 14.0;
    if (high <= low) continue;
    const long count = 3 + static_cast<long>(random_.below(4));
    for (long i = 0; i < count; ++i) {
      double mz = 0;
      for (int attempt = 0; attempt < 50; ++attempt) {
        mz = roundTo(random_.uniform(low, high), 0.0001);
        if (!nearExcludedIon(mz, allIons_)) break;
      }
      compound.fragments.push_back({mz, random_.uniform(0.1, 1.0)});
    }
  }
}

// Two or more transitions per compound when there are enough: transition j
// belongs to compound j modulo the compound count.
void RunModel::buildTransitions() {
  const long count = static_cast<long>(compounds_.size());
  for (long j = 0; count > 0 && j < config_.transitions; ++j) {
    SimTransition transition;
    transition.compound = static_cast<int>(j % count);
    const SimCompound& compound = compounds_[transition.compound];
    transition.precursorText = format("%.3f", compound.mz);
    transition.precursorMz = std::strtod(transition.precursorText.c_str(), nullptr);
    double product = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
      product = roundTo(compound.mz - random_.uniform(15.0, 0.6 * compound.mz), 0.001);
      bool clear = product > 50.0;
      for (const SimTransition& other : transitions_) {
        if (other.compound == transition.compound && std::fabs(other.productMz - product) < 1.5)
          clear = false;
      }
      if (clear) break;
    }
    transition.productMz = product;
    transition.low = product - 0.5;
    transition.high = product + 0.5;
    transition.collisionEnergy = static_cast<double>(10 + random_.below(31));
    transition.ratio = random_.uniform(0.2, 1.0);
    char filter[160];
    std::snprintf(filter, sizeof filter, "+ c ESI SRM ms2 %s@cid%.2f [%.3f-%.3f]",
                  transition.precursorText.c_str(), transition.collisionEnergy, transition.low,
                  transition.high);
    transition.filterLine = filter;
    transitions_.push_back(transition);
  }
}

bool RunModel::nearExcludedIon(double mz, const std::vector<double>& ions) const {
  auto next = std::lower_bound(ions.begin(), ions.end(), mz);
  if (next != ions.end() && *next - mz < kNoiseClearance) return true;
  return next != ions.begin() && mz - *(next - 1) < kNoiseClearance;
}

// Noise peaks with log-uniform intensities, kept out of the m/z windows of the
// compounds eluting nearby so that every compound's trace and mass stay its own.
void RunModel::addNoise(std::vector<SimPeak>& peaks, long count, double low, double high, double minIntensity,
                        double maxIntensity, const std::vector<double>& excluded) {
  if (high <= low) return;
  for (long i = 0; i < count; ++i) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      const double mz = random_.uniform(low, high);
      if (nearExcludedIon(mz, excluded)) continue;
      peaks.push_back({mz, random_.logUniform(minIntensity, maxIntensity)});
      break;
    }
  }
}

std::vector<double> RunModel::ionsElutingAt(double t) const {
  std::vector<double> ions;
  for (const SimCompound& compound : compounds_) {
    if (std::fabs(t - compound.apexTime) < std::max(60.0, 8.0 * compound.widest())) {
      for (double ion : compound.ions()) ions.push_back(ion);
    }
  }
  std::sort(ions.begin(), ions.end());
  return ions;
}

// Rounds the values to what the file will hold, then sorts by m/z or shuffles.
void RunModel::finishOrder(std::vector<SimPeak>& peaks) {
  if (config_.precision == 32) {
    for (SimPeak& peak : peaks) {
      peak.mz = toFloatPrecision(peak.mz);
      peak.intensity = toFloatPrecision(peak.intensity);
    }
  }
  if (config_.unsorted) {
    for (std::size_t i = peaks.size(); i > 1; --i) std::swap(peaks[i - 1], peaks[shuffle_.below(i)]);
  } else {
    std::sort(peaks.begin(), peaks.end(), [](const SimPeak& a, const SimPeak& b) { return a.mz < b.mz; });
  }
}

SimSpectrum RunModel::fullScan(long cycle) {
  SimSpectrum spectrum;
  spectrum.msLevel = 1;
  spectrum.rt = timeOf(cycle);
  spectrum.scanType = "Full";
  spectrum.polarity = config_.polaritySwitching && cycle % 2 == 1 ? '-' : '+';
  const bool lock = config_.lockEvery > 0 && cycle % config_.lockEvery == config_.lockEvery - 1;
  char filter[96];
  std::snprintf(filter, sizeof filter, "FTMS %c p ESI Full %sms [%.2f-%.2f]", spectrum.polarity,
                lock ? "lock " : "", config_.lowMz, config_.highMz);
  spectrum.filterLine = filter;

  const double floor = config_.noiseMax / 100.0;  // nothing weaker is centroided
  for (const SimCompound& compound : compounds_) {
    if (std::fabs(spectrum.rt - compound.apexTime) > 8.0 * compound.widest()) continue;
    if (compound.polarity != spectrum.polarity) continue;
    double intensity = compound.profile(spectrum.rt) * (1.0 + kIntensityScatter * random_.symmetric());
    if (config_.jagged > 0) intensity *= 1.0 + config_.jagged * effects_.symmetric();
    const double shifts[] = {0.0, kIsotopeStep / compound.charge, 2.0 * kIsotopeStep / compound.charge,
                             -kWaterLoss / compound.charge};
    const double ratios[] = {1.0, compound.isotopeRatio[0], compound.isotopeRatio[1],
                             compound.waterLossRatio};
    for (int k = 0; k < 4; ++k) {
      const double mz = compound.mz + shifts[k];
      if (intensity * ratios[k] < floor) continue;
      spectrum.peaks.push_back(
          {mz * (1.0 + kMassErrorPpm * 1e-6 * random_.symmetric()), intensity * ratios[k]});
    }
  }
  // Compounds of the same m/z (isomers, peaks on tails, a background ion's
  // bumps) eluting together give one centroid of their summed intensity, as an
  // instrument would.
  if (config_.isomers > 0 || config_.tailPeaks > 0 || config_.backgroundBumps > 0)
    mergeCoincidentPeaks(spectrum.peaks);
  const double growth = effectFactor(spectrum.rt);
  for (const Background& ion : background_) {
    spectrum.peaks.push_back({ion.mz * (1.0 + kMassErrorPpm * 1e-6 * effects_.symmetric()),
                              ion.at(spectrum.rt) * growth * (1.0 + 0.03 * effects_.symmetric())});
  }
  const long noise = config_.peaksPerSpectrum() - static_cast<long>(spectrum.peaks.size());
  std::vector<double> excluded = ionsElutingAt(spectrum.rt);
  for (const Background& ion : background_) excluded.push_back(ion.mz);
  if (!background_.empty()) std::sort(excluded.begin(), excluded.end());
  const std::size_t firstNoise = spectrum.peaks.size();
  addNoise(spectrum.peaks, noise, config_.lowMz, config_.highMz, floor, config_.noiseMax, excluded);
  if (config_.drift > 0) {
    for (std::size_t k = firstNoise; k < spectrum.peaks.size(); ++k) spectrum.peaks[k].intensity *= growth;
  }
  finishOrder(spectrum.peaks);
  return spectrum;
}

double RunModel::Background::at(double t) const {
  double factor = 1.0;
  for (const Bump& bump : bumps) {
    const double z = (t - bump.time) / bump.sigma;
    factor += bump.height * std::exp(-0.5 * z * z);
  }
  return level * factor;
}

void RunModel::mergeCoincidentPeaks(std::vector<SimPeak>& peaks) {
  std::stable_sort(peaks.begin(), peaks.end(),
                   [](const SimPeak& a, const SimPeak& b) { return a.mz < b.mz; });
  std::vector<SimPeak> merged;
  for (const SimPeak& peak : peaks) {
    if (!merged.empty() && peak.mz - merged.back().mz <= 5e-6 * peak.mz) {
      SimPeak& into = merged.back();
      const double total = into.intensity + peak.intensity;
      into.mz = (into.mz * into.intensity + peak.mz * peak.intensity) / total;
      into.intensity = total;
    } else {
      merged.push_back(peak);
    }
  }
  peaks.swap(merged);
}

double RunModel::effectFactor(double t) const {
  const double run = config_.runSeconds();
  return run > 0 ? 1.0 + config_.drift * t / run : 1.0;
}

// Isomers, tailing compounds with a weaker one on their tail, background ions
// and polarities: only when asked for, from their own random stream.
void RunModel::addEffects() {
  const long count = static_cast<long>(compounds_.size());
  std::vector<char> used(compounds_.size(), 0);
  const auto pickUnused = [&]() -> long {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const long k = static_cast<long>(effects_.below(static_cast<std::uint64_t>(count)));
      if (!used[static_cast<std::size_t>(k)]) {
        used[static_cast<std::size_t>(k)] = 1;
        return k;
      }
    }
    return -1;
  };
  if (config_.polaritySwitching) {
    for (SimCompound& compound : compounds_) compound.polarity = effects_.chance(0.5) ? '-' : '+';
  }
  const double run = config_.runSeconds();
  std::vector<SimCompound> added;
  for (long i = 0; i < config_.isomers && count > 0; ++i) {
    const long k = pickUnused();
    if (k < 0) break;
    SimCompound isomer = compounds_[static_cast<std::size_t>(k)];
    isomer.sigma = config_.peakWidth * effects_.uniform(0.8, 1.25);
    const double apart = 1.5 * 2.3548 * std::max(isomer.sigma, compounds_[static_cast<std::size_t>(k)].sigma);
    const double offset = std::max(apart, effects_.uniform(6.0, 18.0));
    isomer.apexTime += isomer.apexTime + offset + 6 * isomer.sigma < run ? offset : -offset;
    isomer.apexIntensity *= effects_.uniform(0.3, 1.0);
    isomer.seenIntensity = 0;
    added.push_back(isomer);
  }
  for (long i = 0; i < config_.tailPeaks && count > 0; ++i) {
    const long k = pickUnused();
    if (k < 0) break;
    SimCompound& strong = compounds_[static_cast<std::size_t>(k)];
    strong.tailSigma = 3.0 * strong.sigma;
    SimCompound onTail = strong;
    onTail.tailSigma = 0;
    onTail.sigma = config_.peakWidth * effects_.uniform(0.8, 1.25);
    onTail.apexTime = strong.apexTime + 2.5 * strong.tailSigma;  // a maximum of its own, not a shoulder
    onTail.apexIntensity = strong.apexIntensity * effects_.uniform(0.2, 0.5);
    onTail.seenIntensity = 0;
    if (onTail.apexTime + 6 * onTail.sigma < run) added.push_back(onTail);
  }
  compounds_.insert(compounds_.end(), added.begin(), added.end());
  std::stable_sort(compounds_.begin(), compounds_.end(),
                   [](const SimCompound& a, const SimCompound& b) { return a.apexTime < b.apexTime; });
  allIons_.clear();
  for (const SimCompound& compound : compounds_) {
    for (double ion : compound.ions()) allIons_.push_back(ion);
  }
  std::sort(allIons_.begin(), allIons_.end());
  for (long i = 0; i < config_.backgroundIons; ++i) {
    Background ion;
    for (int attempt = 0; attempt < 100; ++attempt) {
      ion.mz = roundTo(effects_.uniform(config_.lowMz + 1.0, config_.highMz - 1.0), 0.0001);
      if (!nearExcludedIon(ion.mz, allIons_)) break;
    }
    ion.level = effects_.logUniform(3e4, 1e6);
    background_.push_back(ion);
  }
  // Real background ions are not flat: isobaric matrix ions and the spray add slow bumps of 10 to 20 % that
  // a detector may cut into pieces. Drawn from a stream of their own, so runs without them stay the same.
  if (config_.backgroundBumps > 0) {
    SimRandom bumps(config_.seed ^ 0xB0B5B0B5ULL);
    const double seconds = config_.runSeconds();
    const long count = std::max(1L, std::lround(seconds / 180.0));
    for (Background& ion : background_) {
      for (long b = 0; b < count; ++b) {
        Bump bump;
        bump.time = bumps.uniform(0.0, seconds);
        bump.sigma = bumps.uniform(6.0, 30.0);
        bump.height = config_.backgroundBumps * bumps.uniform(0.3, 1.0);
        ion.bumps.push_back(bump);
      }
    }
  }
}

// Data-dependent MS2 scans on the most intense peaks of a full scan: fragments
// of the compound when the precursor is one, low noise otherwise.
std::vector<SimSpectrum> RunModel::tandemScans(const SimSpectrum& fullScan) {
  std::vector<std::size_t> order(fullScan.peaks.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const SimPeak& pa = fullScan.peaks[a];
    const SimPeak& pb = fullScan.peaks[b];
    return pa.intensity != pb.intensity ? pa.intensity > pb.intensity : pa.mz < pb.mz;
  });
  const long perScan = std::max(10L, config_.peaksPerSpectrum() / 10);
  std::vector<SimSpectrum> result;
  // An MS1 scan with fewer peaks than MS2 scans (only when noise could not be
  // placed) repeats its precursors, so that every cycle has the same scans.
  for (long j = 0; j < ms2PerCycle_ && !order.empty(); ++j) {
    const SimPeak& precursor = fullScan.peaks[order[static_cast<std::size_t>(j) % order.size()]];
    SimSpectrum spectrum;
    spectrum.msLevel = 2;
    spectrum.rt =
        fullScan.rt + cycleTime() * static_cast<double>(j + 1) / static_cast<double>(ms2PerCycle_ + 1);
    spectrum.scanType = "Full";
    spectrum.collisionEnergy = kTandemCollisionEnergy;
    spectrum.precursorText = format("%.4f", precursor.mz);
    spectrum.precursorMz = std::strtod(spectrum.precursorText.c_str(), nullptr);
    spectrum.precursorIntensity = precursor.intensity;
    const double low = std::floor(std::max(50.0, 0.27 * precursor.mz));
    const double high = std::ceil(2.0 * precursor.mz + 10.0);
    char filter[128];
    std::snprintf(filter, sizeof filter, "ITMS %c c ESI d Full ms2 %.2f@cid%.2f [%.2f-%.2f]",
                  fullScan.polarity, precursor.mz, kTandemCollisionEnergy, low, high);
    spectrum.polarity = fullScan.polarity;
    spectrum.filterLine = filter;
    for (const SimCompound& compound : compounds_) {
      if (std::fabs(compound.mz - precursor.mz) > 0.01) continue;
      spectrum.precursorCharge = compound.charge;
      for (const SimFragment& fragment : compound.fragments) {
        const double intensity = precursor.intensity * 0.5 * fragment.ratio *
                                 (1.0 + 2.0 * kIntensityScatter * random_.symmetric());
        spectrum.peaks.push_back(
            {fragment.mz * (1.0 + kMassErrorPpm * 1e-6 * random_.symmetric()), intensity});
      }
      break;
    }
    const long noise = perScan - static_cast<long>(spectrum.peaks.size());
    addNoise(spectrum.peaks, noise, low, std::min(high, precursor.mz + 1.0), config_.noiseMax / 300.0,
             config_.noiseMax / 10.0, ionsElutingAt(spectrum.rt));
    finishOrder(spectrum.peaks);
    result.push_back(spectrum);
  }
  return result;
}

// One SRM spectrum: the transition's product peak (compound signal over a low
// chemical background) and, when asked for more peaks, background points in
// the product window.
SimSpectrum RunModel::srmScan(long index) {
  SimSpectrum spectrum;
  spectrum.msLevel = 2;
  spectrum.rt = timeOf(index);
  spectrum.scanType = "SRM";
  if (transitions_.empty()) return spectrum;
  const SimTransition& transition = transitions_[static_cast<std::size_t>(index) % transitions_.size()];
  const SimCompound& compound = compounds_[transition.compound];
  spectrum.filterLine = transition.filterLine;
  spectrum.collisionEnergy = transition.collisionEnergy;
  spectrum.precursorText = transition.precursorText;
  spectrum.precursorMz = transition.precursorMz;
  spectrum.precursorCharge = compound.charge;
  const long count = config_.peaksPerSpectrum();
  if (count > 0) {
    const double signal =
        compound.profile(spectrum.rt) * transition.ratio * (1.0 + kIntensityScatter * random_.symmetric());
    // A triple quadrupole reports the product m/z it was set to, not a measured
    // one. (The draw keeps the random stream of every other value unchanged.)
    random_.symmetric();
    spectrum.peaks.push_back({transition.productMz, signal + random_.uniform(20.0, 200.0)});
  }
  addNoise(spectrum.peaks, count - 1, transition.low, transition.high, 10.0, 200.0, {});
  finishOrder(spectrum.peaks);
  return spectrum;
}

void RunModel::noteStoredSpectrum(const SimSpectrum& spectrum) {
  double tic = 0;
  for (const SimPeak& peak : spectrum.peaks) tic += peak.intensity;
  for (SimCompound& compound : compounds_) {
    if (std::fabs(spectrum.rt - compound.apexTime) > 8.0 * compound.widest()) continue;
    if (compound.polarity != spectrum.polarity) continue;
    for (const SimPeak& peak : spectrum.peaks) {
      if (std::fabs(peak.mz - compound.mz) < 0.01 && peak.intensity > compound.seenIntensity) {
        compound.seenIntensity = peak.intensity;
        compound.seenTicShare = peak.intensity / tic;
      }
    }
  }
}

bool RunModel::writeTruth(const std::string& path) const {
  AtomicFile truth;
  if (!truth.open(path)) return false;
  std::FILE* file = truth.stream();
  if (config_.mode == SimConfig::Mode::Srm) {
    std::fprintf(file,
                 "compound\tprecursor_mz\tproduct_mz\tcollision_energy\tproduct_low\tproduct_high\t"
                 "rt_min\tsigma_s\tapex_intensity\n");
    for (std::size_t c = 0; c < compounds_.size(); ++c) {
      for (const SimTransition& t : transitions_) {
        if (t.compound != static_cast<int>(c)) continue;
        std::fprintf(file, "%zu\t%s\t%.3f\t%.2f\t%.3f\t%.3f\t%.4f\t%.2f\t%.0f\n", c + 1,
                     t.precursorText.c_str(), t.productMz, t.collisionEnergy, t.low, t.high,
                     compounds_[c].apexTime / 60.0, compounds_[c].sigma,
                     compounds_[c].apexIntensity * t.ratio);
      }
    }
  } else {
    // A run with polarity switching says each compound's polarity in a last column.
    const bool polarities = config_.polaritySwitching;
    std::fprintf(file,
                 "compound\tmz\tcharge\trt_min\tsigma_s\tapex_intensity\tisotope_mz\twater_loss_mz\t"
                 "tic_share%s\n",
                 polarities ? "\tpolarity" : "");
    for (std::size_t c = 0; c < compounds_.size(); ++c) {
      const SimCompound& k = compounds_[c];
      std::fprintf(file, "%zu\t%.4f\t%d\t%.4f\t%.2f\t%.0f\t%.4f\t%.4f\t%.4f", c + 1, k.mz, k.charge,
                   k.apexTime / 60.0, k.sigma, k.apexIntensity, k.mz + kIsotopeStep / k.charge,
                   k.waterLossRatio > 0 ? k.mz - kWaterLoss / k.charge : 0.0, k.seenTicShare);
      std::fprintf(file, polarities ? "\t%c\n" : "\n", k.polarity);
    }
  }
  return truth.commit();
}

SimSpectrumFigures spectrumFigures(const SimSpectrum& spectrum) {
  SimSpectrumFigures f;
  for (std::size_t i = 0; i < spectrum.peaks.size(); ++i) {
    const SimPeak& peak = spectrum.peaks[i];
    f.tic += peak.intensity;
    if (i == 0 || peak.intensity > f.basePeakIntensity) {
      f.basePeakIntensity = peak.intensity;
      f.basePeakMz = peak.mz;
    }
    if (i == 0 || peak.mz < f.lowMz) f.lowMz = peak.mz;
    if (i == 0 || peak.mz > f.highMz) f.highMz = peak.mz;
  }
  return f;
}
