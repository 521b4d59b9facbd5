#include "clean/clean_options.h"

#include <getopt.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: torva-clean --sheet SHEET --table FEATURES --out DIR [options]\n"
    "Readies a cohort's feature table for statistics: takes out features of the blanks and\n"
    "features that do not repeat in the pooled QCs, corrects the intensity drift along the\n"
    "injection order from the QCs, normalises and optionally fills absent areas. Writes\n"
    "DIR/features_clean.tsv (the layout of features.tsv), DIR/clean_log.txt (what was done and\n"
    "why), DIR/clean/ (removed.tsv, qc_cv.tsv, drift_fit.tsv, pca.tsv, pca_explained.tsv) and\n"
    "DIR/export/ (metaboanalyst.csv, features_long.tsv).\n"
    "\n"
    "  --sheet FILE             sample sheet: sample, file, optional group, type (sample, qc,\n"
    "                           blank, standard), order (injection order), batch (required)\n"
    "  --table FILE             feature table of torva-align, one area column per sample (required)\n"
    "  --out DIR                folder to write into (required)\n"
    "  --no-blank-filter        keep features found in the blanks\n"
    "  --blank-ratio N          least ratio of a feature's mean area in the study samples to its\n"
    "                           mean in the blanks, absent areas counting 0 (default 3)\n"
    "  --no-qc-filter           keep features however they repeat in the QCs\n"
    "  --qc-max-cv PERCENT      largest CV of the QC areas after drift correction (default 30)\n"
    "  --qc-min-fraction F      least share of the QCs a feature must have an area in (default 0.5)\n"
    "  --no-drift               no drift correction\n"
    "  --drift-span F           share of a batch's QCs each local line of the smoother is fitted\n"
    "                           to (default 0.75)\n"
    "  --drift-iterations N     robustness rounds of the smoother (default 3)\n"
    "  --drift-min-qcs N        QC areas a batch needs for a curve; fewer: the batch is scaled by\n"
    "                           its QC median alone (default 4)\n"
    "  --normalise METHOD       none, total (area), median, pqn (probabilistic quotient to the\n"
    "                           QCs' median) (default none)\n"
    "  --impute none|min        fill absent areas with a share of the feature's smallest area\n"
    "                           (default none: left empty)\n"
    "  --impute-fraction F      that share (default 0.5)\n"
    "  -h, --help               this text\n"
    "\n"
    "Steps, in order: blank filter, QC presence, drift correction, QC CV, normalisation,\n"
    "imputation. A step without the injections it needs (no blanks, fewer than two QCs) is\n"
    "skipped and the log says so. Exit status: 0 on success, 1 after this text, 2 on a bad value\n"
    "or a file that cannot be read or written.\n";

bool readNumber(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value < low || value > high) return false;
  out = value;
  return true;
}

bool readCount(const char* text, int low, int high, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

const char* cleanUsageText() { return kUsage; }

CleanStatus parseCleanOptions(int argc, char** argv, CleanOptions& options, std::string& error) {
  enum {
    kSheet = 1000,
    kTable,
    kOut,
    kNoBlank,
    kBlankRatio,
    kNoQc,
    kQcCv,
    kQcFraction,
    kNoDrift,
    kSpan,
    kIterations,
    kMinQcs,
    kNormalise,
    kImpute,
    kImputeFraction
  };
  static const option longOptions[] = {{"sheet", required_argument, nullptr, kSheet},
                                       {"table", required_argument, nullptr, kTable},
                                       {"out", required_argument, nullptr, kOut},
                                       {"no-blank-filter", no_argument, nullptr, kNoBlank},
                                       {"blank-ratio", required_argument, nullptr, kBlankRatio},
                                       {"no-qc-filter", no_argument, nullptr, kNoQc},
                                       {"qc-max-cv", required_argument, nullptr, kQcCv},
                                       {"qc-min-fraction", required_argument, nullptr, kQcFraction},
                                       {"no-drift", no_argument, nullptr, kNoDrift},
                                       {"drift-span", required_argument, nullptr, kSpan},
                                       {"drift-iterations", required_argument, nullptr, kIterations},
                                       {"drift-min-qcs", required_argument, nullptr, kMinQcs},
                                       {"normalise", required_argument, nullptr, kNormalise},
                                       {"impute", required_argument, nullptr, kImpute},
                                       {"impute-fraction", required_argument, nullptr, kImputeFraction},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  optind = 1;
  int letter;
  int index = 0;
  while ((letter = getopt_long(argc, argv, "h", longOptions, &index)) != -1) {
    bool ok = true;
    switch (letter) {
      case kSheet:
        options.sheet = optarg;
        break;
      case kTable:
        options.table = optarg;
        break;
      case kOut:
        options.out = optarg;
        break;
      case kNoBlank:
        options.blankFilter = false;
        break;
      case kBlankRatio:
        ok = readNumber(optarg, 0, 1e9, options.blankRatio);
        break;
      case kNoQc:
        options.qcFilter = false;
        break;
      case kQcCv:
        ok = readNumber(optarg, 0, 1e9, options.qcMaxCv);
        break;
      case kQcFraction:
        ok = readNumber(optarg, 0, 1, options.qcMinFraction);
        break;
      case kNoDrift:
        options.drift = false;
        break;
      case kSpan:
        ok = readNumber(optarg, 0.01, 1, options.driftOptions.span);
        break;
      case kIterations:
        ok = readCount(optarg, 0, 100, options.driftOptions.iterations);
        break;
      case kMinQcs:
        ok = readCount(optarg, 2, 1000000, options.driftOptions.minQcs);
        break;
      case kNormalise:
        ok = parseNormalisation(optarg, options.normalisation);
        break;
      case kImpute:
        ok = std::strcmp(optarg, "none") == 0 || std::strcmp(optarg, "min") == 0;
        options.impute = std::strcmp(optarg, "min") == 0;
        break;
      case kImputeFraction:
        ok = readNumber(optarg, 0, 1, options.imputeFraction);
        break;
      case 'h':
        error.clear();
        return CleanStatus::Usage;
      default:
        error = "unknown option or missing value";
        return CleanStatus::Usage;
    }
    if (!ok) {
      error = std::string("bad value '") + optarg + "' for --" + longOptions[index].name +
              "; see torva-clean --help";
      return CleanStatus::Failed;
    }
  }
  if (options.sheet.empty() || options.table.empty() || options.out.empty()) {
    error = "--sheet, --table and --out are required";
    return CleanStatus::Usage;
  }
  if (optind < argc) {
    error = std::string("unexpected argument '") + argv[optind] + "'";
    return CleanStatus::Usage;
  }
  return CleanStatus::Ok;
}
