// torva-compounds: groups the features of a run (its feature table) or of a cohort (its features.tsv) into
// compounds, links the MS2 spectra to them, writes the compound columns back and the exports for molecular
// networking, SIRIUS and mzTab-M.
#include <getopt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "align/cohort_input.h"
#include "compound_tool/cohort_compounds.h"
#include "compound_tool/summary_rows.h"
#include "compounds/run_compounds.h"
#include "export/export_folder.h"
#include "processing/centroiding.h"
#include "report/feature_table.h"
#include "store/file_handle.h"
#include "util/atomic_file.h"

namespace {

const char kUsage[] =
    "Usage: torva-compounds --run RUN (--features TABLE | --summary REPORT) [--out TABLE] [--export DIR]\n"
    "       torva-compounds --cohort DIR [--export DIR] [options]\n"
    "Groups features into compounds (13C isotopes, the ions of the ion list, in-source fragments), links\n"
    "MS2 spectra to them and fills the compound columns: compound_id, ion, charge, neutral_mass,\n"
    "representative, ms2_scans.\n"
    "\n"
    "  --run FILE             the run (mzML or mzXML) whose feature table TABLE is (torva --features)\n"
    "  --features TABLE       its feature table; rewritten in place unless --out is given\n"
    "  --summary REPORT       instead of --features: its summary report (torva -s); with --out, the\n"
    "                         full-scan features as a grouped feature table\n"
    "  --out TABLE            where to write the grouped feature table\n"
    "  --cohort DIR           a cohort folder of torva-align: features.tsv gets the compound columns before\n"
    "                         the sample columns; MS2 spectra come from the runs named in samples.tsv\n"
    "  --export DIR           write DIR/gnps.mgf, DIR/gnps_quant.csv, DIR/sirius.ms and DIR/cohort.mztab\n"
    "                         (DIR/run.mztab for a run); DIR must exist\n"
    "  --traces FILE          cohort: write each feature's chromatogram in every sample there, for\n"
    "                         torva-view --cohort (which reads DIR/feature_traces.tsv)\n"
    "  --adducts FILE         the ion list (default: the bundled one, compounds/adducts.tsv)\n"
    "  --polarity +|-         ions of this polarity (default: the feature table's; + for a cohort)\n"
    "  --ppm X                m/z tolerance of isotopes, ions and MS2 precursors, ppm (default 10)\n"
    "  --min-correlation X    peak shapes (cohort: areas across samples) of one compound correlate at\n"
    "                         least this well (default 0.8)\n"
    "  --apex-fraction F      apexes of one compound lie within F times the narrower width (default 0.3)\n"
    "  -h, --help             this text\n"
    "Exit status: 0 on success, 1 after this text, 2 when an input cannot be read or an output written.\n";

bool readNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out) && out > 0;
}

bool readRun(const std::string& path, std::vector<scan>& scans) {
  fileHandle run;
  run.mzdataByRoot = true;
  if (!run.importFolder(path.c_str(), 1) || run.scans.empty()) return false;
  scans = std::move(run.scans);
  // The compound step reads MS1 traces and exports MS2 spectra as centroids.
  const std::size_t centroided = centroidProfileSpectra(scans);
  if (centroided > 0) {
    std::fprintf(stderr, "torva-compounds: %s: %zu profile spectra centroided\n", path.c_str(), centroided);
  }
  return true;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string readText(const std::string& path, bool& ok) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  ok = static_cast<bool>(file) || file.eof();
  return text.str();
}

// feature_rt.tsv: feature_id, then one measured time per sample (minutes, empty when absent).
std::vector<CohortSample> readCohortSamples(const std::string& folder, const std::vector<SampleEntry>& sheet,
                                            std::size_t rows) {
  std::vector<CohortSample> samples;
  for (const SampleEntry& entry : sheet)
    samples.push_back(CohortSample{entry.name, entry.file, std::vector<double>(rows, NAN)});
  std::ifstream file(folder + "/feature_rt.tsv");
  std::string line;
  if (!std::getline(file, line)) return samples;
  std::size_t row = 0;
  while (std::getline(file, line) && row < rows) {
    std::istringstream fields(line);
    std::string cell;
    std::getline(fields, cell, '\t');
    for (std::size_t s = 0; s < samples.size() && std::getline(fields, cell, '\t'); ++s) {
      if (!cell.empty()) samples[s].measuredRt[row] = std::strtod(cell.c_str(), nullptr);
    }
    ++row;
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kRun = 1000,
    kFeatures,
    kSummary,
    kOut,
    kCohort,
    kExport,
    kTraces,
    kAdducts,
    kPolarity,
    kPpm,
    kCorrelation,
    kFraction
  };
  static const option longOptions[] = {{"run", required_argument, nullptr, kRun},
                                       {"features", required_argument, nullptr, kFeatures},
                                       {"out", required_argument, nullptr, kOut},
                                       {"summary", required_argument, nullptr, kSummary},
                                       {"cohort", required_argument, nullptr, kCohort},
                                       {"export", required_argument, nullptr, kExport},
                                       {"adducts", required_argument, nullptr, kAdducts},
                                       {"polarity", required_argument, nullptr, kPolarity},
                                       {"ppm", required_argument, nullptr, kPpm},
                                       {"min-correlation", required_argument, nullptr, kCorrelation},
                                       {"apex-fraction", required_argument, nullptr, kFraction},
                                       {"traces", required_argument, nullptr, kTraces},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  std::string runPath, tablePath, summaryPath, outPath, cohortDir, exportDir, polarity, tracesPath;
  CohortCompoundOptions options;
  int option = 0;
  while ((option = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1) {
    double value = 0;
    switch (option) {
      case kRun:
        runPath = optarg;
        break;
      case kFeatures:
        tablePath = optarg;
        break;
      case kOut:
        outPath = optarg;
        break;
      case kSummary:
        summaryPath = optarg;
        break;
      case kCohort:
        cohortDir = optarg;
        break;
      case kExport:
        exportDir = optarg;
        break;
      case kTraces:
        tracesPath = optarg;
        break;
      case kAdducts:
        try {
          options.run.adducts = readAdductFile(optarg);
        } catch (const std::exception& error) {
          std::fprintf(stderr, "torva-compounds: %s\n", error.what());
          return 2;
        }
        break;
      case kPolarity:
        polarity = optarg;
        if (polarity != "+" && polarity != "-") {
          std::fprintf(stderr, "torva-compounds: --polarity takes + or -, not \"%s\"\n", optarg);
          return 2;
        }
        break;
      case kPpm:
      case kCorrelation:
      case kFraction:
        if (!readNumber(optarg, value) || (option != kPpm && value > 1)) {
          const char* name = option == kPpm           ? "--ppm"
                             : option == kCorrelation ? "--min-correlation"
                                                      : "--apex-fraction";
          std::fprintf(stderr, "torva-compounds: %s needs a number above 0%s, not \"%s\"\n", name,
                       option == kPpm ? "" : " and at most 1", optarg);
          return 2;
        }
        if (option == kPpm) {
          options.run.grouping.ppm = options.run.linkage.ppm = options.run.tracePpm = value;
        } else if (option == kCorrelation) {
          options.run.grouping.minCorrelation = value;
        } else {
          options.run.grouping.apexFraction = value;
        }
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
  }
  const bool runMode = !runPath.empty() && (tablePath.empty() != summaryPath.empty()) && cohortDir.empty() &&
                       (summaryPath.empty() || !outPath.empty());
  const bool cohortMode = runPath.empty() && tablePath.empty() && summaryPath.empty() && !cohortDir.empty();
  if (optind != argc || (!runMode && !cohortMode) || (runMode && !tracesPath.empty())) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (!polarity.empty()) options.run.grouping.polarity = polarity == "-" ? -1 : 1;
  std::string error;

  if (runMode) {
    std::vector<FeatureRow> rows;
    std::vector<scan> scans;
    if (!readRun(runPath, scans)) {
      std::fprintf(stderr,
                   "torva-compounds: %s: no spectra could be read; give the run the table came from\n",
                   runPath.c_str());
      return 2;
    }
    try {
      rows = summaryPath.empty() ? readFeatureTable(tablePath) : summaryAsFeatureRows(summaryPath, scans);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "torva-compounds: %s\n", failure.what());
      return 2;
    }
    RunCompoundOptions runOptions = options.run;
    if (!polarity.empty()) {
      for (FeatureRow& row : rows) row.polarity = polarity[0];
    }
    ExportSet set = groupRunCompounds(scans, rows, runOptions, baseName(runPath), runPath);
    if (!writeFeatureTable(outPath.empty() ? tablePath : outPath, rows, error)) {
      std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
      return 2;
    }
    if (!exportDir.empty() && !writeExportFolder(exportDir, set, "run.mztab", error)) {
      std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
      return 2;
    }
    return 0;
  }

  std::vector<SampleEntry> sheet;
  if (!readSampleSheet(cohortDir + "/samples.tsv", sheet, error)) {
    std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
    return 2;
  }
  std::vector<std::string> names;
  for (const SampleEntry& entry : sheet) names.push_back(entry.name);
  const std::string featuresPath = cohortDir + "/features.tsv";
  bool read = false;
  const std::string text = readText(featuresPath, read);
  CohortFeatureTable table;
  try {
    if (!read) throw CohortTableError(featuresPath + ": cannot be read");
    table = parseCohortFeatures(text, names, featuresPath);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "torva-compounds: %s\n", failure.what());
    return 2;
  }
  const std::vector<CohortSample> samples = readCohortSamples(cohortDir, sheet, table.rows.size());
  const auto scansOf = [&samples](std::size_t s, std::vector<scan>& scans) {
    if (readRun(samples[s].runFile, scans)) return true;
    std::fprintf(stderr, "torva-compounds: warning: %s: run not read, no MS2 spectra from sample %s\n",
                 samples[s].runFile.c_str(), samples[s].name.c_str());
    return false;
  };
  std::vector<FeatureSpectrum> traces;
  const EvidenceLimits limits;
  EvidenceLeftOut leftOut;
  ExportSet set = groupCohortCompounds(table, samples, options, scansOf,
                                       tracesPath.empty() ? nullptr : &traces, limits, &leftOut);
  set.title = baseName(cohortDir);
  if (!writeWholeFile(featuresPath, formatCohortFeatures(table), error)) {
    std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
    return 2;
  }
  if (leftOut.records > 0)
    std::fprintf(stderr,
                 "torva-compounds: --traces holds at most %lld points; %lld traces past them were left out\n",
                 limits.maxPoints, leftOut.records);
  if (!tracesPath.empty() && !writeFeatureSpectra(tracesPath, traces, error)) {
    std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
    return 2;
  }
  if (!exportDir.empty() && !writeExportFolder(exportDir, set, "cohort.mztab", error)) {
    std::fprintf(stderr, "torva-compounds: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
