// simulate_cohort: writes a cohort of simulated full-scan LC-MS runs that share
// one compound list, with the sample sheet and the ground truth beside them.
// Samples fall into groups; some compounds change abundance between groups
// (a fold change per group), some are missing from some samples, and each
// sample's time axis drifts by a shift plus a slow wave. On request, each
// injection scales the whole sample by a factor of its own, and pooled QC
// samples follow the study samples. The same options and seed always give the
// same bytes. Runs are mzXML, or mzML with -F mzml.

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

namespace {

const char kUsage[] =
    "Usage: simulate_cohort -o <folder> [options]\n"
    "Writes a cohort of simulated runs into <folder> (which must exist): sample_NN.mzXML (or\n"
    "sample_NN.mzML), the sample sheet samples.tsv and the truth (truth_compounds.tsv,\n"
    "truth_samples.tsv).\n"
    "\n"
    "  -o, --output DIR        folder to write into (required)\n"
    "  -n, --samples N         samples (default 24)\n"
    "  -g, --groups N          groups, samples dealt to them in turn (default 2)\n"
    "  -c, --compounds N       compounds shared by the cohort (default 300)\n"
    "  -r, --run-time MIN      run length in minutes, one MS1 spectrum per second (default 30)\n"
    "  -k, --peaks N           peaks per MS1 spectrum (default 200)\n"
    "  -x, --ms2 N             MS2 scans nested in each MS1 scan (default 0)\n"
    "  -d, --drift SEC         largest retention-time drift of a sample, seconds (default 10)\n"
    "  -f, --changed FRACTION  share of compounds with a fold change between groups (default 0.3)\n"
    "  -m, --missing FRACTION  share of compounds missing from some samples (default 0.1)\n"
    "  -v, --cv FRACTION       sample-to-sample spread of abundances, relative (default 0.1)\n"
    "  -j, --injection FRACTION  spread of the injected amount, one factor per sample, relative\n"
    "                          standard deviation (default 0)\n"
    "  -Q, --qc N              pooled QC samples qc_NN (group QC) after the study samples: every\n"
    "                          compound at the mean of its group abundances, no spread but the\n"
    "                          injection's (default 0)\n"
    "  -s, --seed N            seed (default 1)\n"
    "  --isomers N             N compounds get an isomer: same m/z, apex 1.5 fwhm to 0.3 min apart\n"
    "  --tail-peaks N          N compounds tail, each with a weaker compound of its m/z on the tail\n"
    "  --background N          N flat background ions in every MS1 scan (3e4 to 1e6 counts)\n"
    "  --baseline-drift X      noise grows by the fraction X over each run\n"
    "  --jagged X              each compound peak times 1 + X * U(-1,1), like TOF sampling\n"
    "  --polarity-switching    every second MS1 scan negative; each compound of one polarity\n"
    "  --lock-every N          every Nth MS1 scan's filter line reads 'Full lock ms'\n"
    "  -F, --format mzxml|mzml file format of the runs (default mzxml); both hold the same peaks\n"
    "  -h, --help              this text\n"
    "\n"
    "A changed compound's abundance in group g (g = 0, 1, ...) is its base times fc^g, with\n"
    "log2 fc uniform in +-[1, 2]; a missing-prone compound is absent from each sample with\n"
    "odds 0.4. A sample's times move by shift + a*sin(2 pi t/run + phase) with |shift| up to\n"
    "0.7 and a up to 0.3 of the drift. Injection factors and QC samples come from streams of\n"
    "their own: without -j and -Q the cohort is the same as before they existed. So do the run\n"
    "effects (the run simulator's): isomers and peaks on tails are compounds of the cohort, in\n"
    "the truth like the others; background ions are the same in every sample and not in the truth.\n";

struct CohortConfig {
  std::string folder;
  long samples = 24;
  long groups = 2;
  long compounds = 300;
  double runMinutes = 30;
  long peaks = 200;
  long ms2 = 0;
  double drift = 10;
  double changed = 0.3;
  double missing = 0.1;
  double cv = 0.1;
  double injection = 0;  // relative standard deviation of the injected amount
  long qc = 0;           // pooled QC samples
  // Run effects, as the run simulator makes them; all off by default.
  long isomers = 0;
  long tailPeaks = 0;
  long background = 0;
  double baselineDrift = 0;
  double jagged = 0;
  bool polaritySwitching = false;
  long lockEvery = 0;
  std::uint64_t seed = 1;
  bool mzml = false;
};

bool readLong(const char* text, long minimum, long* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < minimum) return false;
  *out = value;
  return true;
}

bool readDouble(const char* text, double maximum, double* out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0) || value > maximum) return false;
  *out = value;
  return true;
}

int parseOptions(int argc, char** argv, CohortConfig& config) {
  static const option longOptions[] = {{"output", required_argument, nullptr, 'o'},
                                       {"samples", required_argument, nullptr, 'n'},
                                       {"groups", required_argument, nullptr, 'g'},
                                       {"compounds", required_argument, nullptr, 'c'},
                                       {"run-time", required_argument, nullptr, 'r'},
                                       {"peaks", required_argument, nullptr, 'k'},
                                       {"ms2", required_argument, nullptr, 'x'},
                                       {"drift", required_argument, nullptr, 'd'},
                                       {"changed", required_argument, nullptr, 'f'},
                                       {"missing", required_argument, nullptr, 'm'},
                                       {"cv", required_argument, nullptr, 'v'},
                                       {"injection", required_argument, nullptr, 'j'},
                                       {"qc", required_argument, nullptr, 'Q'},
                                       {"isomers", required_argument, nullptr, 256},
                                       {"tail-peaks", required_argument, nullptr, 257},
                                       {"background", required_argument, nullptr, 258},
                                       {"baseline-drift", required_argument, nullptr, 259},
                                       {"jagged", required_argument, nullptr, 260},
                                       {"polarity-switching", no_argument, nullptr, 261},
                                       {"lock-every", required_argument, nullptr, 262},
                                       {"seed", required_argument, nullptr, 's'},
                                       {"format", required_argument, nullptr, 'F'},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  int letter;
  while ((letter = getopt_long(argc, argv, "o:n:g:c:r:k:x:d:f:m:v:j:Q:s:F:h", longOptions, nullptr)) != -1) {
    long number = 0;
    bool ok = true;
    switch (letter) {
      case 'o':
        config.folder = optarg;
        break;
      case 'n':
        ok = readLong(optarg, 1, &config.samples);
        break;
      case 'g':
        ok = readLong(optarg, 1, &config.groups);
        break;
      case 'c':
        ok = readLong(optarg, 0, &config.compounds);
        break;
      case 'r':
        ok = readDouble(optarg, 1e4, &config.runMinutes) && config.runMinutes >= 1;
        break;
      case 'k':
        ok = readLong(optarg, 0, &config.peaks);
        break;
      case 'x':
        ok = readLong(optarg, 0, &config.ms2);
        break;
      case 'd':
        ok = readDouble(optarg, 600, &config.drift);
        break;
      case 'f':
        ok = readDouble(optarg, 1, &config.changed);
        break;
      case 'm':
        ok = readDouble(optarg, 1, &config.missing);
        break;
      case 'v':
        ok = readDouble(optarg, 1, &config.cv);
        break;
      case 'j':
        ok = readDouble(optarg, 0.5, &config.injection);
        break;
      case 'Q':
        ok = readLong(optarg, 0, &config.qc);
        break;
      case 256:
        ok = readLong(optarg, 0, &config.isomers);
        break;
      case 257:
        ok = readLong(optarg, 0, &config.tailPeaks);
        break;
      case 258:
        ok = readLong(optarg, 0, &config.background);
        break;
      case 259:
        ok = readDouble(optarg, 100, &config.baselineDrift);
        break;
      case 260:
        ok = readDouble(optarg, 0.99, &config.jagged);
        break;
      case 261:
        config.polaritySwitching = true;
        break;
      case 262:
        ok = readLong(optarg, 0, &config.lockEvery);
        break;
      case 's':
        ok = readLong(optarg, 0, &number);
        config.seed = static_cast<std::uint64_t>(number);
        break;
      case 'F':
        ok = std::strcmp(optarg, "mzxml") == 0 || std::strcmp(optarg, "mzml") == 0;
        config.mzml = std::strcmp(optarg, "mzml") == 0;
        break;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
    if (!ok) {
      std::fprintf(stderr, "simulate_cohort: bad value '%s' for option -%c; see simulate_cohort -h\n", optarg,
                   letter);
      return 2;
    }
  }
  if (config.folder.empty()) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  return 0;
}

// What the cohort holds for one compound, beside its model in the first sample.
struct CompoundTruth {
  std::vector<double> groupFactor;  // abundance factor per group (1 for group 0)
  bool missingProne = false;
};

struct SampleTruth {
  std::string name;
  long group = 0;    // -1: pooled QC
  double shift = 0;  // seconds
  double amplitude = 0;
  double phase = 0;
  std::vector<bool> present;
  std::vector<double> apexTime;  // seconds, after drift
  std::vector<double> apexIntensity;
};

// The time a compound eluting at t in the reference run elutes in the sample.
double drifted(const SampleTruth& sample, double t, double runSeconds) {
  const double pi = 3.14159265358979323846;
  return t + sample.shift + sample.amplitude * std::sin(2.0 * pi * t / runSeconds + sample.phase);
}

bool writeMzmlRun(const SimConfig& config, const std::vector<SimCompound>& compounds,
                  const std::string& path) {
  RunModel model(config, compounds);
  MzmlArrays arrays;
  arrays.precision = config.precision;
  arrays.zlib = config.zlib;
  MzmlWriter writer(arrays);
  if (!writer.open(path)) return false;
  writer.writeHead("FTMS");
  writer.beginSpectra(model.cycles() * (1 + model.ms2PerCycle()));
  long num = 1;
  for (long cycle = 0; cycle < model.cycles(); ++cycle) {
    SimSpectrum full = model.fullScan(cycle);
    full.num = num++;
    writer.writeSpectrum(full);
    for (SimSpectrum& tandem : model.tandemScans(full)) {
      tandem.num = num++;
      writer.writeSpectrum(tandem);
    }
  }
  writer.endSpectra();
  return writer.finish();
}

bool writeMzxmlRun(const SimConfig& config, const std::vector<SimCompound>& compounds,
                   const std::string& path) {
  RunModel model(config, compounds);
  MzxmlWriter writer(config.precision, config.zlib);
  if (!writer.open(path)) return false;
  writer.writeHead(model.cycles() * (1 + model.ms2PerCycle()), model.timeOf(0),
                   model.timeOf(model.cycles() - 1), "FTMS");
  long num = 1;
  for (long cycle = 0; cycle < model.cycles(); ++cycle) {
    SimSpectrum full = model.fullScan(cycle);
    full.num = num++;
    writer.openScan(full, 0);
    for (SimSpectrum& tandem : model.tandemScans(full)) {
      tandem.num = num++;
      writer.openScan(tandem, 1);
      writer.closeScan(1);
    }
    writer.closeScan(0);
  }
  return writer.finish();
}

const char* runSuffix(const CohortConfig& cohort) { return cohort.mzml ? ".mzML" : ".mzXML"; }

std::string groupName(const SampleTruth& sample) {
  return sample.group < 0 ? std::string("QC") : "G" + std::to_string(sample.group + 1);
}

bool writeTruth(const CohortConfig& cohort, const std::vector<SimCompound>& compounds,
                const std::vector<CompoundTruth>& truths, const std::vector<SampleTruth>& samples) {
  const std::string sheetPath = cohort.folder + "/samples.tsv";
  const std::string compoundPath = cohort.folder + "/truth_compounds.tsv";
  const std::string samplePath = cohort.folder + "/truth_samples.tsv";
  std::FILE* sheet = std::fopen(sheetPath.c_str(), "w");
  std::FILE* compoundFile = std::fopen(compoundPath.c_str(), "w");
  std::FILE* sampleFile = std::fopen(samplePath.c_str(), "w");
  bool ok = sheet != nullptr && compoundFile != nullptr && sampleFile != nullptr;
  if (ok) {
    std::fprintf(sheet, "sample\tfile\tgroup\n");
    for (const SampleTruth& sample : samples) {
      std::fprintf(sheet, "%s\t%s%s\t%s\n", sample.name.c_str(), sample.name.c_str(), runSuffix(cohort),
                   groupName(sample).c_str());
    }
    // fold_change: last group over first; factor_Gk: abundance factor of group k.
    std::fprintf(compoundFile,
                 "compound\tmz\tcharge\trt_min\tisotope_mz\twater_loss_mz\tfold_change\tmissing_prone");
    for (long g = 0; g < cohort.groups; ++g) std::fprintf(compoundFile, "\tfactor_G%ld", g + 1);
    std::fprintf(compoundFile, "\n");
    for (std::size_t c = 0; c < compounds.size(); ++c) {
      const SimCompound& k = compounds[c];
      const double isotope = k.mz + 1.00335 / k.charge;
      const double water = k.waterLossRatio > 0 ? k.mz - 18.0106 / k.charge : 0.0;
      std::fprintf(compoundFile, "%zu\t%.4f\t%d\t%.4f\t%.4f\t%.4f\t%.4f\t%d", c + 1, k.mz, k.charge,
                   k.apexTime / 60.0, isotope, water,
                   truths[c].groupFactor.back() / truths[c].groupFactor.front(),
                   truths[c].missingProne ? 1 : 0);
      for (double factor : truths[c].groupFactor) std::fprintf(compoundFile, "\t%.4f", factor);
      std::fprintf(compoundFile, "\n");
    }
    std::fprintf(sampleFile, "sample\tgroup\tcompound\tpresent\trt_min\tapex_intensity\n");
    for (const SampleTruth& sample : samples) {
      for (std::size_t c = 0; c < compounds.size(); ++c) {
        std::fprintf(sampleFile, "%s\t%s\t%zu\t%d\t%.4f\t%.0f\n", sample.name.c_str(),
                     groupName(sample).c_str(), c + 1, sample.present[c] ? 1 : 0, sample.apexTime[c] / 60.0,
                     sample.apexIntensity[c]);
      }
    }
  }
  for (std::FILE* file : {sheet, compoundFile, sampleFile}) {
    if (file == nullptr) continue;
    ok = std::fflush(file) == 0 && !std::ferror(file) && ok;
    ok = std::fclose(file) == 0 && ok;
  }
  return ok;
}

// Flat background ions: compounds of a constant height over the whole run,
// without isotopes or losses, clear of the compounds' ions; of both
// polarities with polarity switching. Drawn from a stream of their own.
std::vector<SimCompound> backgroundIons(const CohortConfig& cohort, const SimConfig& config,
                                        const std::vector<SimCompound>& compounds) {
  std::vector<double> ions;
  for (const SimCompound& compound : compounds) {
    for (double ion : compound.ions()) ions.push_back(ion);
  }
  std::sort(ions.begin(), ions.end());
  SimRandom random(cohort.seed ^ 0xBAC6E0ULL);
  std::vector<SimCompound> result;
  for (long i = 0; i < cohort.background; ++i) {
    SimCompound ion;
    for (int attempt = 0; attempt < 100; ++attempt) {
      ion.mz = std::floor(random.uniform(config.lowMz + 1.0, config.highMz - 1.0) * 1e4 + 0.5) / 1e4;
      const auto next = std::lower_bound(ions.begin(), ions.end(), ion.mz - 0.05);
      if (next == ions.end() || *next > ion.mz + 0.05) break;
    }
    ion.apexTime = config.runSeconds() / 2;
    ion.sigma = 1e7;  // seconds: flat over any run
    ion.apexIntensity = random.logUniform(3e4, 1e6);
    result.push_back(ion);
    if (cohort.polaritySwitching) {
      ion.polarity = '-';
      result.push_back(ion);
    }
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  CohortConfig cohort;
  const int parsed = parseOptions(argc, argv, cohort);
  if (parsed != 0) return parsed;

  SimConfig config;
  config.mode = SimConfig::Mode::FullScan;
  config.runMinutes = cohort.runMinutes;
  config.spectra = static_cast<long>(std::lround(cohort.runMinutes * 60.0));
  config.peaks = cohort.peaks;
  config.ms2PerCycle = cohort.ms2;
  config.compounds = cohort.compounds;
  config.seed = cohort.seed;
  config.isomers = cohort.isomers;
  config.tailPeaks = cohort.tailPeaks;
  config.drift = cohort.baselineDrift;
  config.jagged = cohort.jagged;
  config.polaritySwitching = cohort.polaritySwitching;
  config.lockEvery = cohort.lockEvery;
  const double runSeconds = config.runSeconds();

  // The reference compound list: its own run model's compounds (with their
  // isomers and peaks on tails, when asked for).
  const std::vector<SimCompound> reference = RunModel(config).compounds();
  const std::vector<SimCompound> background = backgroundIons(cohort, config, reference);
  SimRandom random(cohort.seed ^ 0xC0407ULL);
  std::vector<CompoundTruth> truths(reference.size());
  for (CompoundTruth& truth : truths) {
    truth.groupFactor.assign(static_cast<std::size_t>(cohort.groups), 1.0);
    if (random.chance(cohort.changed)) {
      const double log2fc = (random.chance(0.5) ? 1.0 : -1.0) * random.uniform(1.0, 2.0);
      for (long g = 1; g < cohort.groups; ++g)
        truth.groupFactor[g] = std::pow(2.0, log2fc * static_cast<double>(g));
    }
    truth.missingProne = random.chance(cohort.missing);
  }

  // Injection factors and QC samples draw from streams of their own, so that
  // the study samples stay as they were without them.
  SimRandom injectionRandom(cohort.seed ^ 0x1A1EC7ULL);
  SimRandom qcRandom(cohort.seed ^ 0x9C9C0ULL);
  std::vector<SampleTruth> samples(static_cast<std::size_t>(cohort.samples + cohort.qc));
  const int digits = cohort.samples >= 100 ? 3 : 2;
  for (long s = 0; s < cohort.samples + cohort.qc; ++s) {
    const bool qc = s >= cohort.samples;
    SimRandom& draw = qc ? qcRandom : random;
    SampleTruth& sample = samples[s];
    char name[32];
    if (qc) {
      std::snprintf(name, sizeof name, "qc_%0*ld", cohort.qc >= 100 ? 3 : 2, s - cohort.samples + 1);
    } else {
      std::snprintf(name, sizeof name, "sample_%0*ld", digits, s + 1);
    }
    sample.name = name;
    sample.group = qc ? -1 : s % cohort.groups;
    sample.shift = 0.7 * cohort.drift * draw.symmetric();
    sample.amplitude = 0.3 * cohort.drift * draw.uniform();
    sample.phase = 6.283185307179586 * draw.uniform();
    const double injected =
        cohort.injection > 0 ? 1.0 + cohort.injection * std::sqrt(3.0) * injectionRandom.symmetric() : 1.0;
    std::vector<SimCompound> compounds;
    for (std::size_t c = 0; c < reference.size(); ++c) {
      SimCompound compound = reference[c];
      bool present = true;
      if (qc) {
        // A pool of every group: the mean of the group abundances.
        double factor = 0;
        for (double groupFactor : truths[c].groupFactor) factor += groupFactor;
        factor /= static_cast<double>(truths[c].groupFactor.size());
        compound.apexIntensity = reference[c].apexIntensity * factor;
      } else {
        present = !truths[c].missingProne || !draw.chance(0.4);
        const double spread = 1.0 + cohort.cv * std::sqrt(3.0) * draw.symmetric();  // uniform, sd = cv
        compound.apexIntensity = reference[c].apexIntensity * truths[c].groupFactor[sample.group] * spread;
      }
      if (cohort.injection > 0) compound.apexIntensity *= injected;
      compound.apexTime = drifted(sample, reference[c].apexTime, runSeconds);
      sample.present.push_back(present);
      sample.apexTime.push_back(compound.apexTime);
      sample.apexIntensity.push_back(present ? compound.apexIntensity : 0.0);
      if (present) compounds.push_back(compound);
    }
    compounds.insert(compounds.end(), background.begin(), background.end());
    SimConfig runConfig = config;
    runConfig.seed = cohort.seed * 1000003ULL + static_cast<std::uint64_t>(s) + 1;
    const std::string path = cohort.folder + "/" + sample.name + runSuffix(cohort);
    const bool written =
        cohort.mzml ? writeMzmlRun(runConfig, compounds, path) : writeMzxmlRun(runConfig, compounds, path);
    if (!written) {
      std::fprintf(stderr,
                   "simulate_cohort: could not write %s; check that the folder exists and is writable\n",
                   path.c_str());
      return 2;
    }
  }
  if (!writeTruth(cohort, reference, truths, samples)) {
    std::fprintf(stderr, "simulate_cohort: could not write the sample sheet or truth in %s\n",
                 cohort.folder.c_str());
    return 2;
  }
  return 0;
}
