// simulate_cohort: writes a cohort of simulated full-scan LC-MS runs that share
// one compound list, with the sample sheet and the ground truth beside them.
// Samples fall into groups; some compounds change abundance between groups
// (a fold change per group), some are missing from some samples, and each
// sample's time axis drifts by a shift plus a slow wave. The same options and
// seed always give the same bytes. Runs are mzXML, or mzML with -F mzml.

#include <getopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/cohort_design.h"
#include "tools/mzml_writer.h"
#include "tools/mzxml_writer.h"
#include "tools/sim_model.h"
#include "util/atomic_file.h"

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
    "  -j, --injection FRACTION  spread of the injected amount, one factor per injection,\n"
    "                          relative standard deviation (default 0)\n"
    "  -s, --seed N            seed (default 1)\n"
    "  --isomers N             N compounds get an isomer: same m/z, apex 1.5 fwhm to 0.3 min apart\n"
    "  --tail-peaks N          N compounds tail, each with a weaker compound of its m/z on the tail\n"
    "  --background N          N flat background ions in every MS1 scan (3e4 to 1e6 counts)\n"
    "  --background-bumps X    each background ion rises by 0.3 X to X of its level in slow bumps\n"
    "                          (one per 3 minutes of run, sigma 6 to 30 s), drawn anew per injection\n"
    "  --baseline-drift X      noise grows by the fraction X over each run\n"
    "  --jagged X              each compound peak times 1 + X * U(-1,1), like TOF sampling\n"
    "  --polarity-switching    every second MS1 scan negative; each compound of one polarity\n"
    "  --lock-every N          every Nth MS1 scan's filter line reads 'Full lock ms'\n"
    "  -F, --format mzxml|mzml file format of the runs (default mzxml); both hold the same peaks\n"
    "  -h, --help              this text\n"
    "\n"
    "Study design (all off by default; any of them adds the sheet columns type, order, batch and\n"
    "the truth files truth_injections.tsv, truth_contaminants.tsv, truth_carry_over.tsv):\n"
    "  --qc-every N            a pooled QC (qc_NN) before each batch's first sample and after\n"
    "                          every N samples and its last\n"
    "  --blanks N              blanks (blank_NN) per batch: one first, the others last\n"
    "  --batches N             batches, the samples split between them in order (default 1)\n"
    "  --batch-offset F        each later batch's intensities times 1 + F x (0.5 to 1.5), per\n"
    "                          compound (default 0.3)\n"
    "  --intensity-drift F     largest smooth intensity change of a compound along a batch,\n"
    "                          relative (straight to arched, either way; at least a quarter of F)\n"
    "  --injection-cv F        spread of every area from injection to injection, relative\n"
    "  --contaminants N        compounds of the blanks (every second one also in every other\n"
    "                          injection at the same level)\n"
    "  --carry-over N          compounds of the samples also in the blanks, at 1 to 3 %\n"
    "\n"
    "A changed compound's abundance in group g (g = 0, 1, ...) is its base times fc^g, with\n"
    "log2 fc uniform in +-[1, 2]; a missing-prone compound is absent from each sample with\n"
    "odds 0.4. A sample's times move by shift + a*sin(2 pi t/run + phase) with |shift| up to\n"
    "0.7 and a up to 0.3 of the drift. Injection factors come from a stream of their own, and\n"
    "so do the run effects (the run simulator's): isomers and peaks on tails are compounds of the\n"
    "cohort, in the truth like the others; background ions are the same in every injection and\n"
    "not in the truth. Without these options the cohort is the same as before they existed.\n";

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
  std::uint64_t seed = 1;
  bool mzml = false;
  DesignConfig design;
  double injection = 0;  // relative standard deviation of the injected amount
  // Run effects, as the run simulator makes them; all off by default.
  long isomers = 0;
  long tailPeaks = 0;
  long background = 0;
  double backgroundBumps = 0;
  double baselineDrift = 0;
  double jagged = 0;
  bool polaritySwitching = false;
  long lockEvery = 0;
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
                                       {"seed", required_argument, nullptr, 's'},
                                       {"format", required_argument, nullptr, 'F'},
                                       {"qc-every", required_argument, nullptr, 1000},
                                       {"blanks", required_argument, nullptr, 1001},
                                       {"batches", required_argument, nullptr, 1002},
                                       {"batch-offset", required_argument, nullptr, 1003},
                                       {"intensity-drift", required_argument, nullptr, 1004},
                                       {"injection-cv", required_argument, nullptr, 1005},
                                       {"contaminants", required_argument, nullptr, 1006},
                                       {"carry-over", required_argument, nullptr, 1007},
                                       {"injection", required_argument, nullptr, 'j'},
                                       {"isomers", required_argument, nullptr, 1008},
                                       {"tail-peaks", required_argument, nullptr, 1009},
                                       {"background", required_argument, nullptr, 1010},
                                       {"baseline-drift", required_argument, nullptr, 1011},
                                       {"jagged", required_argument, nullptr, 1012},
                                       {"polarity-switching", no_argument, nullptr, 1013},
                                       {"lock-every", required_argument, nullptr, 1014},
                                       {"background-bumps", required_argument, nullptr, 1015},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  int letter;
  while ((letter = getopt_long(argc, argv, "o:n:g:c:r:k:x:d:f:m:v:j:s:F:h", longOptions, nullptr)) != -1) {
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
      case 's':
        ok = readLong(optarg, 0, &number);
        config.seed = static_cast<std::uint64_t>(number);
        break;
      case 'F':
        ok = std::strcmp(optarg, "mzxml") == 0 || std::strcmp(optarg, "mzml") == 0;
        config.mzml = std::strcmp(optarg, "mzml") == 0;
        break;
      case 1000:
        ok = readLong(optarg, 0, &config.design.qcEvery);
        break;
      case 1001:
        ok = readLong(optarg, 0, &config.design.blanks);
        break;
      case 1002:
        ok = readLong(optarg, 1, &config.design.batches);
        break;
      case 1003:
        ok = readDouble(optarg, 10, &config.design.batchOffset);
        break;
      case 1004:
        ok = readDouble(optarg, 0.9, &config.design.intensityDrift);
        break;
      case 1005:
        ok = readDouble(optarg, 0.5, &config.design.injectionCv);
        break;
      case 1006:
        ok = readLong(optarg, 0, &config.design.contaminants);
        break;
      case 1007:
        ok = readLong(optarg, 0, &config.design.carryOver);
        break;
      case 'j':
        ok = readDouble(optarg, 0.5, &config.injection);
        break;
      case 1008:
        ok = readLong(optarg, 0, &config.isomers);
        break;
      case 1009:
        ok = readLong(optarg, 0, &config.tailPeaks);
        break;
      case 1010:
        ok = readLong(optarg, 0, &config.background);
        break;
      case 1015:
        ok = readDouble(optarg, 10, &config.backgroundBumps);
        break;
      case 1011:
        ok = readDouble(optarg, 100, &config.baselineDrift);
        break;
      case 1012:
        ok = readDouble(optarg, 0.99, &config.jagged);
        break;
      case 1013:
        config.polaritySwitching = true;
        break;
      case 1014:
        ok = readLong(optarg, 0, &config.lockEvery);
        break;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
    if (!ok) {
      if (letter >= 1000)
        std::fprintf(stderr, "simulate_cohort: bad value '%s' for option %s; see simulate_cohort -h\n",
                     optarg, argv[optind - 1]);
      else
        std::fprintf(stderr, "simulate_cohort: bad value '%s' for option -%c; see simulate_cohort -h\n",
                     optarg, letter);
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
  long group = 0;
  std::string groupName;  // G1, G2, ...; QC and blank for those injections
  double shift = 0;       // seconds
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

const char* kindName(InjectionKind kind) {
  return kind == InjectionKind::Qc ? "qc" : kind == InjectionKind::Blank ? "blank" : "sample";
}

// The truth of the study design: the sequence, the contaminants, the carry-over compounds.
bool writeDesignTruth(const CohortConfig& cohort, const std::vector<Injection>& sequence,
                      const std::vector<SampleTruth>& samples, const std::vector<SimCompound>& contaminants,
                      const std::vector<CompoundDesign>& designs) {
  std::string injections = "sample\ttype\tgroup\torder\tbatch\n";
  for (std::size_t k = 0; k < sequence.size(); ++k) {
    injections += samples[k].name + "\t" + kindName(sequence[k].kind) + "\t" + samples[k].groupName + "\t" +
                  std::to_string(sequence[k].order) + "\t" + std::to_string(sequence[k].batch + 1) + "\n";
  }
  std::string found = "contaminant\tmz\trt_min\tin_samples\n";
  for (std::size_t c = 0; c < contaminants.size(); ++c) {
    char line[128];
    std::snprintf(line, sizeof line, "%zu\t%.4f\t%.4f\t%d\n", c + 1, contaminants[c].mz,
                  contaminants[c].apexTime / 60.0, c % 2 == 1 ? 1 : 0);
    found += line;
  }
  std::string carried = "compound\n";
  for (std::size_t c = 0; c < designs.size(); ++c)
    if (designs[c].carryOver) carried += std::to_string(c + 1) + "\n";
  const std::pair<std::string, std::string> files[] = {{"truth_injections.tsv", injections},
                                                       {"truth_contaminants.tsv", found},
                                                       {"truth_carry_over.tsv", carried}};
  for (const auto& file : files) {
    std::FILE* out = std::fopen((cohort.folder + "/" + file.first).c_str(), "w");
    if (out == nullptr) return false;
    const bool written = std::fwrite(file.second.data(), 1, file.second.size(), out) == file.second.size();
    if (std::fclose(out) != 0 || !written) return false;
  }
  return true;
}

bool writeTruth(const CohortConfig& cohort, const std::vector<SimCompound>& compounds,
                const std::vector<CompoundTruth>& truths, const std::vector<SampleTruth>& samples,
                const std::vector<Injection>& sequence) {
  const bool design = cohort.design.active();
  const std::string sheetPath = cohort.folder + "/samples.tsv";
  const std::string compoundPath = cohort.folder + "/truth_compounds.tsv";
  const std::string samplePath = cohort.folder + "/truth_samples.tsv";
  AtomicFile files[3];
  bool ok = files[0].open(sheetPath) && files[1].open(compoundPath) && files[2].open(samplePath);
  std::FILE* sheet = files[0].stream();
  std::FILE* compoundFile = files[1].stream();
  std::FILE* sampleFile = files[2].stream();
  if (ok) {
    std::fprintf(sheet, design ? "sample\tfile\tgroup\ttype\torder\tbatch\n" : "sample\tfile\tgroup\n");
    for (std::size_t k = 0; k < samples.size(); ++k) {
      const SampleTruth& sample = samples[k];
      std::fprintf(sheet, "%s\t%s%s\t%s", sample.name.c_str(), sample.name.c_str(), runSuffix(cohort),
                   sample.groupName.c_str());
      if (design)
        std::fprintf(sheet, "\t%s\t%ld\t%ld", kindName(sequence[k].kind), sequence[k].order,
                     sequence[k].batch + 1);
      std::fprintf(sheet, "\n");
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
                     sample.groupName.c_str(), c + 1, sample.present[c] ? 1 : 0, sample.apexTime[c] / 60.0,
                     sample.apexIntensity[c]);
      }
    }
  }
  for (AtomicFile& file : files) ok = ok && file.commit();
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

// Slow bumps of the background ions in one injection: at their m/z, not in the truth.
std::vector<SimCompound> backgroundBumps(const std::vector<SimCompound>& background, double height,
                                         double runSeconds, std::uint64_t seed) {
  SimRandom random(seed);
  const long count = std::max(1L, std::lround(runSeconds / 180.0));
  std::vector<SimCompound> bumps;
  for (const SimCompound& ion : background) {
    for (long b = 0; b < count; ++b) {
      SimCompound bump = ion;
      bump.apexTime = random.uniform(0.0, runSeconds);
      bump.sigma = random.uniform(6.0, 30.0);
      bump.apexIntensity = ion.apexIntensity * height * random.uniform(0.3, 1.0);
      bumps.push_back(bump);
    }
  }
  return bumps;
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
  config.backgroundBumps = cohort.backgroundBumps;  // the bumps join their ion's centroid
  config.drift = cohort.baselineDrift;
  config.jagged = cohort.jagged;
  config.polaritySwitching = cohort.polaritySwitching;
  config.lockEvery = cohort.lockEvery;
  const double runSeconds = config.runSeconds();

  // The reference compound list: its own run model's compounds (with their
  // isomers and peaks on tails, when asked for).
  const std::vector<SimCompound> reference = RunModel(config).compounds();
  const std::vector<SimCompound> background = backgroundIons(cohort, config, reference);
  SimRandom injectionRandom(cohort.seed ^ 0x1A1EC7ULL);
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

  std::vector<std::string> sampleNames;
  const int digits = cohort.samples >= 100 ? 3 : 2;
  for (long s = 0; s < cohort.samples; ++s) {
    char name[32];
    std::snprintf(name, sizeof name, "sample_%0*ld", digits, s + 1);
    sampleNames.push_back(name);
  }
  // The study design draws from a stream of its own, so that the study samples are the same
  // with and without it.
  const DesignConfig& design = cohort.design;
  const bool withDesign = design.active();
  const std::vector<Injection> sequence = planInjections(design, cohort.samples, sampleNames);
  SimRandom designRandom(cohort.seed ^ 0xD35164ULL);
  const std::vector<CompoundDesign> designs =
      withDesign ? drawCompoundDesign(design, reference.size(), designRandom) : std::vector<CompoundDesign>();
  std::vector<SimCompound> contaminants;
  if (design.contaminants > 0) {
    SimConfig contaminantConfig = config;
    contaminantConfig.compounds = design.contaminants;
    contaminantConfig.seed = cohort.seed ^ 0xB1A4CULL;
    contaminants = RunModel(contaminantConfig).compounds();
  }
  const auto injectionSpread = [&]() {
    return withDesign ? 1.0 + design.injectionCv * std::sqrt(3.0) * designRandom.symmetric() : 1.0;
  };

  std::vector<SampleTruth> samples(sequence.size());
  for (std::size_t k = 0; k < sequence.size(); ++k) {
    const Injection& injection = sequence[k];
    SampleTruth& sample = samples[k];
    sample.name = injection.name;
    SimRandom& draw = injection.kind == InjectionKind::Sample ? random : designRandom;
    if (injection.kind == InjectionKind::Sample) {
      sample.group = injection.sample % cohort.groups;
      sample.groupName = "G" + std::to_string(sample.group + 1);
    } else {
      sample.groupName = injection.kind == InjectionKind::Qc ? "QC" : "blank";
    }
    sample.shift = 0.7 * cohort.drift * draw.symmetric();
    sample.amplitude = 0.3 * cohort.drift * draw.uniform();
    sample.phase = 6.283185307179586 * draw.uniform();
    const double injected =
        cohort.injection > 0 ? 1.0 + cohort.injection * std::sqrt(3.0) * injectionRandom.symmetric() : 1.0;
    std::vector<SimCompound> compounds;
    for (std::size_t c = 0; c < reference.size(); ++c) {
      SimCompound compound = reference[c];
      compound.apexTime = drifted(sample, reference[c].apexTime, runSeconds);
      bool present = true;
      double level = reference[c].apexIntensity;
      if (injection.kind == InjectionKind::Sample) {
        present = !truths[c].missingProne || !random.chance(0.4);
        const double spread = 1.0 + cohort.cv * std::sqrt(3.0) * random.symmetric();  // uniform, sd = cv
        level = level * truths[c].groupFactor[sample.group] * spread;
      } else {
        // A pooled QC holds every compound at the mean of the groups (the missing-prone ones
        // diluted by the samples without them); a blank only the carried-over ones.
        double pooled = 0;
        for (const double factor : truths[c].groupFactor) pooled += factor;
        pooled /= static_cast<double>(truths[c].groupFactor.size());
        level *= pooled * (truths[c].missingProne ? 0.6 : 1.0);
        if (injection.kind == InjectionKind::Blank) {
          present = designs[c].carryOver;
          level *= designs[c].carryOverLevel;
        }
      }
      if (withDesign) level *= designFactor(designs[c], injection) * injectionSpread();
      if (cohort.injection > 0) level *= injected;
      compound.apexIntensity = level;
      sample.present.push_back(present);
      sample.apexTime.push_back(compound.apexTime);
      sample.apexIntensity.push_back(present ? compound.apexIntensity : 0.0);
      if (present) compounds.push_back(compound);
    }
    for (std::size_t c = 0; c < contaminants.size(); ++c) {
      if (injection.kind != InjectionKind::Blank && c % 2 == 0) continue;
      SimCompound compound = contaminants[c];
      compound.apexTime = drifted(sample, contaminants[c].apexTime, runSeconds);
      compound.apexIntensity *= injectionSpread();
      compounds.push_back(compound);
    }
    compounds.insert(compounds.end(), background.begin(), background.end());
    SimConfig runConfig = config;
    const std::uint64_t stream = injection.kind == InjectionKind::Sample
                                     ? static_cast<std::uint64_t>(injection.sample) + 1
                                     : 500000 + static_cast<std::uint64_t>(injection.order);
    runConfig.seed = cohort.seed * 1000003ULL + stream;
    if (cohort.backgroundBumps > 0) {
      const std::vector<SimCompound> bumps =
          backgroundBumps(background, cohort.backgroundBumps, runSeconds, runConfig.seed ^ 0xB0B5B0B5ULL);
      compounds.insert(compounds.end(), bumps.begin(), bumps.end());
    }
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
  if (withDesign && !writeDesignTruth(cohort, sequence, samples, contaminants, designs)) {
    std::fprintf(stderr, "simulate_cohort: could not write the design's truth in %s\n",
                 cohort.folder.c_str());
    return 2;
  }
  if (!writeTruth(cohort, reference, truths, samples, sequence)) {
    std::fprintf(stderr, "simulate_cohort: could not write the sample sheet or truth in %s\n",
                 cohort.folder.c_str());
    return 2;
  }
  return 0;
}
