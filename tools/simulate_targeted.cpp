// Targeted cohort simulator: calibration standards, QCs, blanks and samples of
// a panel of analytes with internal standards, as SRM runs (triple quadrupole)
// or high-resolution full-scan runs, with the target list, the sample sheet and
// the true concentrations.
#include <getopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/mzml_writer.h"
#include "tools/mzxml_writer.h"
#include "tools/sim_model.h"
#include "tools/sim_random.h"

namespace {

const char* const kUsage =
    "usage: simulate_targeted -o DIR [options]\n"
    "  -o, --output DIR      folder to write (created beforehand): runs/, targets.tsv, samples.tsv,\n"
    "                        truth.tsv\n"
    "  -m, --mode srm|full   SRM runs (triple quadrupole) or high-resolution full scan (default srm)\n"
    "  -f, --format mzxml|mzml\n"
    "                        file format (default mzxml; SRM runs in mzML are stored as one\n"
    "                        chromatogram per transition)\n"
    "  -n, --samples N       unknown samples (default 20)\n"
    "  -q, --qcs N           QC samples at each of the three QC levels (default 2)\n"
    "  -s, --seed N          seed (default 1)\n"
    "  -h                    this text\n"
    "Eight analytes (ana1 .. ana8), each with a quantifier and a qualifier at a fixed ion\n"
    "ratio, two internal standards (is_a for ana1-4, is_b for ana5-8) and one target that\n"
    "never elutes (absent). Standards at 8 levels (1 to 200), QCs at 3, 40 and 160, one\n"
    "blank; samples log-uniform from 0.5 to 300, ana8 absent from every fifth sample. The\n"
    "qualifier of ana3 carries an interference in the unknown samples (ion ratio ~1.6 times\n"
    "its true value). Runs last 6 minutes, peaks have a sigma of 4 s.\n";

struct Options {
  std::string output;
  bool srm = true;
  bool mzml = false;
  long samples = 20;
  long qcs = 2;
  std::uint64_t seed = 1;
};

// One ion (full scan) or transition (SRM) of the panel.
struct Channel {
  std::string compound;
  double precursorMz = 0;
  double productMz = 0;  // SRM only
  std::string role;
  std::string internalStandard;
};

struct Compound {
  std::string name;
  double mz = 0;
  double rt = 0;              // seconds
  double response = 0;        // apex counts per unit of concentration
  double qualifierRatio = 0;  // 0 for an internal standard (no qualifier)
  int quantifier = -1;        // channel indices
  int qualifier = -1;
};

struct Sample {
  std::string name;
  std::string type;
  std::vector<double> concentrations;  // per analyte
  double matrix = 1;                   // response factor of the run, analytes and standards alike
  double rtShift = 0;                  // seconds
  bool interference = false;
};

const double kLevels[] = {1, 2, 5, 10, 25, 50, 100, 200};
const double kQcLevels[] = {3, 40, 160};
const double kInternalConcentration = 50;
const double kSigma = 4.0;  // seconds
const double kRunSeconds = 360.0;
const int kAnalytes = 8;

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

bool parse(int argc, char** argv, Options& o) {
  const option longOptions[] = {{"output", required_argument, nullptr, 'o'},
                                {"mode", required_argument, nullptr, 'm'},
                                {"format", required_argument, nullptr, 'f'},
                                {"samples", required_argument, nullptr, 'n'},
                                {"qcs", required_argument, nullptr, 'q'},
                                {"seed", required_argument, nullptr, 's'},
                                {nullptr, 0, nullptr, 0}};
  int letter;
  while ((letter = getopt_long(argc, argv, "ho:m:f:n:q:s:", longOptions, nullptr)) != -1) {
    char* end = nullptr;
    switch (letter) {
      case 'o':
        o.output = optarg;
        break;
      case 'm':
        if (std::strcmp(optarg, "srm") != 0 && std::strcmp(optarg, "full") != 0) return false;
        o.srm = std::strcmp(optarg, "srm") == 0;
        break;
      case 'f':
        if (std::strcmp(optarg, "mzxml") != 0 && std::strcmp(optarg, "mzml") != 0) return false;
        o.mzml = std::strcmp(optarg, "mzml") == 0;
        break;
      case 'n':
        o.samples = std::strtol(optarg, &end, 10);
        if (*end != '\0' || o.samples < 0 || o.samples > 10000) return false;
        break;
      case 'q':
        o.qcs = std::strtol(optarg, &end, 10);
        if (*end != '\0' || o.qcs < 0 || o.qcs > 100) return false;
        break;
      case 's':
        o.seed = std::strtoull(optarg, &end, 10);
        if (*end != '\0') return false;
        break;
      default:
        return false;
    }
  }
  return !o.output.empty() && optind == argc;
}

// The panel: analytes, internal standards and their channels, the absent target last.
void buildPanel(bool srm, SimRandom& random, std::vector<Compound>& compounds,
                std::vector<Channel>& channels) {
  for (int i = 0; i < kAnalytes + 2; ++i) {
    Compound c;
    const bool internal = i >= kAnalytes;
    c.name = internal ? (i == kAnalytes ? "is_a" : "is_b") : "ana" + std::to_string(i + 1);
    // Analytes spread over the run; each internal standard elutes between its analytes.
    c.rt = internal ? (i == kAnalytes ? 100.0 : 250.0) : 40.0 + 38.0 * i + random.uniform(-3, 3);
    c.mz = std::round((150.0 + 35.0 * i + random.uniform(0, 20)) * 1e4) / 1e4;
    c.response = internal ? 4000.0 : random.uniform(3000, 8000);
    c.qualifierRatio = internal ? 0 : random.uniform(0.3, 0.8);
    const std::string standard = i < 4 ? "is_a" : "is_b";
    Channel quantifier;
    quantifier.compound = c.name;
    quantifier.precursorMz = c.mz;
    quantifier.productMz = std::round((c.mz * random.uniform(0.3, 0.45)) * 1e3) / 1e3;
    quantifier.role = internal ? "internal_standard" : "quantifier";
    quantifier.internalStandard = internal ? "" : standard;
    c.quantifier = static_cast<int>(channels.size());
    channels.push_back(quantifier);
    if (!internal) {
      Channel qualifier = quantifier;
      qualifier.role = "qualifier";
      qualifier.internalStandard = "";
      // SRM: a second product; full scan: the sodium adduct.
      qualifier.precursorMz = srm ? c.mz : std::round((c.mz + 21.981944) * 1e4) / 1e4;
      qualifier.productMz = std::round((c.mz * random.uniform(0.55, 0.7)) * 1e3) / 1e3;
      c.qualifier = static_cast<int>(channels.size());
      channels.push_back(qualifier);
    }
    compounds.push_back(c);
  }
}

std::vector<Sample> buildSamples(const Options& o, SimRandom& random) {
  std::vector<Sample> samples;
  auto add = [&](const std::string& name, const std::string& type, const std::vector<double>& conc) {
    Sample s;
    s.name = name;
    s.type = type;
    s.concentrations = conc;
    s.matrix = random.uniform(0.85, 1.15);
    s.rtShift = random.uniform(-2, 2);
    samples.push_back(s);
  };
  for (std::size_t l = 0; l < std::size(kLevels); ++l)
    add("std_" + std::to_string(l + 1), "standard", std::vector<double>(kAnalytes, kLevels[l]));
  for (std::size_t l = 0; l < std::size(kQcLevels); ++l) {
    for (long r = 0; r < o.qcs; ++r) {
      add("qc_" + std::string(1, "LMH"[l]) + std::to_string(r + 1), "qc",
          std::vector<double>(kAnalytes, kQcLevels[l]));
    }
  }
  add("blank_1", "blank", std::vector<double>(kAnalytes, 0.0));
  for (long k = 0; k < o.samples; ++k) {
    std::vector<double> conc(kAnalytes);
    for (double& c : conc) c = std::round(random.logUniform(0.5, 300) * 1e4) / 1e4;
    if (k % 5 == 4) conc[kAnalytes - 1] = 0;
    char name[32];
    std::snprintf(name, sizeof name, "s_%02ld", k + 1);
    add(name, "sample", conc);
    samples.back().interference = true;
  }
  return samples;
}

// The noise-free signal of channel `ch` at time t (seconds) in sample s.
double channelSignal(const std::vector<Compound>& compounds, const Sample& s, std::size_t ch, double t) {
  double signal = 0;
  for (std::size_t i = 0; i < compounds.size(); ++i) {
    const Compound& c = compounds[i];
    const bool internal = static_cast<int>(i) >= kAnalytes;
    const double conc = internal ? kInternalConcentration : s.concentrations[i];
    if (!(conc > 0)) continue;
    const double apex = c.response * conc * s.matrix;
    const double shape = std::exp(-0.5 * std::pow((t - c.rt - s.rtShift) / kSigma, 2));
    if (c.quantifier == static_cast<int>(ch)) signal += apex * shape;
    if (c.qualifier == static_cast<int>(ch)) signal += apex * c.qualifierRatio * shape;
  }
  // An interference under the qualifier of ana3 in the unknown samples, 2 s later.
  const Compound& interfered = compounds[2];
  if (s.interference && interfered.qualifier == static_cast<int>(ch)) {
    const double apex =
        0.6 * interfered.response * std::max(s.concentrations[2], 5.0) * interfered.qualifierRatio * s.matrix;
    signal += apex * std::exp(-0.5 * std::pow((t - interfered.rt - s.rtShift - 2.0) / kSigma, 2));
  }
  return signal;
}

SimTransition transitionOf(const Channel& ch) {
  SimTransition t;
  t.precursorText = format("%.3f", ch.precursorMz);
  t.precursorMz = std::strtod(t.precursorText.c_str(), nullptr);
  t.productMz = ch.productMz;
  t.low = ch.productMz - 0.5;
  t.high = ch.productMz + 0.5;
  t.collisionEnergy = 20;
  char filter[160];
  std::snprintf(filter, sizeof filter, "+ c ESI SRM ms2 %s@cid%.2f [%.3f-%.3f]", t.precursorText.c_str(),
                t.collisionEnergy, t.low, t.high);
  t.filterLine = filter;
  return t;
}

// SRM: one spectrum per transition per 1-second cycle, in channel order.
std::vector<SimSpectrum> srmSpectra(const std::vector<Compound>& compounds,
                                    const std::vector<Channel>& channels, const Sample& s,
                                    SimRandom& random) {
  std::vector<SimSpectrum> spectra;
  const std::size_t measured = channels.size() - 1;  // the absent target is not measured
  const double cycle = 1.0;
  long num = 1;
  for (double start = 0; start < kRunSeconds; start += cycle) {
    for (std::size_t j = 0; j < measured; ++j) {
      const SimTransition t = transitionOf(channels[j]);
      SimSpectrum spectrum;
      spectrum.msLevel = 2;
      spectrum.num = num++;
      spectrum.rt = start + cycle * static_cast<double>(j) / static_cast<double>(measured);
      spectrum.scanType = "SRM";
      spectrum.filterLine = t.filterLine;
      spectrum.collisionEnergy = t.collisionEnergy;
      spectrum.precursorText = t.precursorText;
      spectrum.precursorMz = t.precursorMz;
      spectrum.precursorCharge = 1;
      const double signal = channelSignal(compounds, s, j, spectrum.rt);
      const double value = signal * (1.0 + 0.02 * random.symmetric()) + random.uniform(0, 20);
      spectrum.peaks.push_back({channels[j].productMz, std::round(value * 10) / 10});
      spectra.push_back(spectrum);
    }
  }
  return spectra;
}

// Full scan: one MS1 spectrum every 0.5 s, the panel's ions at 2 ppm scatter
// among 60 noise peaks that keep 50 ppm clear of them.
std::vector<SimSpectrum> fullScanSpectra(const std::vector<Compound>& compounds,
                                         const std::vector<Channel>& channels, const Sample& s,
                                         SimRandom& random) {
  std::vector<SimSpectrum> spectra;
  long num = 1;
  for (double t = 0; t < kRunSeconds; t += 0.5) {
    SimSpectrum spectrum;
    spectrum.msLevel = 1;
    spectrum.num = num++;
    spectrum.rt = t;
    spectrum.scanType = "Full";
    spectrum.filterLine = "FTMS + p ESI Full ms [100.00-1000.00]";
    for (std::size_t j = 0; j + 1 < channels.size(); ++j) {
      const double signal = channelSignal(compounds, s, j, t);
      if (signal < 5) continue;
      const double mz = channels[j].precursorMz * (1.0 + 2e-6 * random.symmetric());
      spectrum.peaks.push_back({mz, std::round(signal * (1.0 + 0.02 * random.symmetric()) * 10) / 10});
    }
    for (int k = 0; k < 60; ++k) {
      const double mz = random.uniform(100, 1000);
      bool clear = true;
      for (const Channel& ch : channels) clear = clear && std::fabs(mz - ch.precursorMz) > 50e-6 * mz;
      if (clear) spectrum.peaks.push_back({mz, std::round(random.logUniform(50, 500) * 10) / 10});
    }
    std::sort(spectrum.peaks.begin(), spectrum.peaks.end(),
              [](const SimPeak& a, const SimPeak& b) { return a.mz < b.mz; });
    spectra.push_back(spectrum);
  }
  return spectra;
}

bool writeRun(const Options& o, const std::string& path, const std::vector<Channel>& channels,
              const std::vector<SimSpectrum>& spectra) {
  if (!o.mzml) {
    MzxmlWriter writer(32, false);
    if (!writer.open(path)) return false;
    writer.writeHead(static_cast<long>(spectra.size()), spectra.front().rt, spectra.back().rt,
                     o.srm ? "TSQ" : "FTMS");
    for (const SimSpectrum& spectrum : spectra) {
      writer.openScan(spectrum, 0);
      writer.closeScan(0);
    }
    return writer.finish();
  }
  MzmlWriter writer(MzmlArrays{});
  if (!writer.open(path)) return false;
  writer.writeHead(o.srm ? "TSQ" : "FTMS");
  if (o.srm) {
    const std::size_t measured = channels.size() - 1;
    std::vector<SimTransition> transitions;
    for (std::size_t j = 0; j < measured; ++j) transitions.push_back(transitionOf(channels[j]));
    std::vector<std::vector<SimSpectrum>> byTransition(measured);
    for (std::size_t k = 0; k < spectra.size(); ++k) byTransition[k % measured].push_back(spectra[k]);
    writer.writeSrmChromatograms(transitions, byTransition);
  } else {
    writer.beginSpectra(static_cast<long>(spectra.size()));
    for (const SimSpectrum& spectrum : spectra) writer.writeSpectrum(spectrum);
    writer.endSpectra();
  }
  return writer.finish();
}

bool writeText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

std::string targetListText(bool srm, const std::vector<Compound>& compounds,
                           const std::vector<Channel>& channels) {
  std::string text =
      srm ? "compound\tprecursor_mz\tproduct_mz\trt\trt_window\trole\tinternal_standard\tpolarity\n"
          : "compound\tprecursor_mz\trt\trt_window\trole\tinternal_standard\tpolarity\n";
  for (std::size_t j = 0; j < channels.size(); ++j) {
    const Channel& ch = channels[j];
    double rt = 3.0;  // the absent target
    for (const Compound& c : compounds)
      if (c.name == ch.compound) rt = c.rt / 60.0;
    text += ch.compound + "\t" + format(srm ? "%.3f" : "%.4f", ch.precursorMz) + "\t";
    if (srm) text += format("%.3f", ch.productMz) + "\t";
    text += format("%.3f", rt) + "\t0.5\t" + ch.role + "\t" + ch.internalStandard + "\t+\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  SimRandom random(o.seed);
  std::vector<Compound> compounds;
  std::vector<Channel> channels;
  buildPanel(o.srm, random, compounds, channels);
  Channel absent;
  absent.compound = "absent";
  absent.precursorMz = 512.3456;
  absent.productMz = 201.1;
  absent.role = "quantifier";
  absent.internalStandard = "is_b";
  channels.push_back(absent);
  const std::vector<Sample> samples = buildSamples(o, random);

  const std::string runs = o.output + "/runs";
  if (std::system(("mkdir -p '" + runs + "'").c_str()) != 0) {
    std::fprintf(stderr, "simulate_targeted: cannot create %s\n", runs.c_str());
    return 2;
  }
  std::string sheet = "sample\tfile\ttype";
  for (int i = 0; i < kAnalytes; ++i) sheet += "\t" + compounds[i].name;
  sheet += "\n";
  std::string truth = "sample\ttype\tcompound\tconcentration\n";
  const char* extension = o.mzml ? ".mzML" : ".mzXML";
  for (const Sample& s : samples) {
    const std::string file = "runs/" + s.name + extension;
    // Each run's noise has a stream of its own, from the seed and the sample's name (FNV-1a).
    std::uint64_t key = 1469598103934665603ull;
    for (char c : s.name) key = (key ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    SimRandom noise(o.seed ^ key);
    const std::vector<SimSpectrum> spectra =
        o.srm ? srmSpectra(compounds, channels, s, noise) : fullScanSpectra(compounds, channels, s, noise);
    if (!writeRun(o, o.output + "/" + file, channels, spectra)) {
      std::fprintf(stderr, "simulate_targeted: could not write all of %s/%s\n", o.output.c_str(),
                   file.c_str());
      return 2;
    }
    sheet += s.name + "\t" + file + "\t" + s.type;
    for (int i = 0; i < kAnalytes; ++i) {
      const bool known = s.type == "standard" || s.type == "qc" || s.type == "blank";
      sheet += "\t" + (known ? format("%g", s.concentrations[i]) : std::string());
      truth +=
          s.name + "\t" + s.type + "\t" + compounds[i].name + "\t" + format("%g", s.concentrations[i]) + "\n";
    }
    sheet += "\n";
  }
  if (!writeText(o.output + "/targets.tsv", targetListText(o.srm, compounds, channels)) ||
      !writeText(o.output + "/samples.tsv", sheet) || !writeText(o.output + "/truth.tsv", truth)) {
    std::fprintf(stderr, "simulate_targeted: cannot write the tables in %s\n", o.output.c_str());
    return 2;
  }
  return 0;
}
