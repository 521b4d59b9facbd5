#ifndef TORVA_CLEAN_CLEAN_OPTIONS_H
#define TORVA_CLEAN_CLEAN_OPTIONS_H

#include <string>

#include "clean/drift_correction.h"
#include "clean/normalisation.h"

// Exit statuses of torva-clean.
enum class CleanStatus { Ok = 0, Usage = 1, Failed = 2 };

// Everything torva-clean can be told, with defaults.
struct CleanOptions {
  std::string sheet;           // --sheet: sample sheet with type, order, batch
  std::string table;           // --table: feature table (features.tsv of torva-align)
  std::string out;             // --out: cohort folder to write into
  bool blankFilter = true;     // --no-blank-filter
  double blankRatio = 3;       // --blank-ratio: least sample mean over blank mean
  bool qcFilter = true;        // --no-qc-filter
  double qcMaxCv = 30;         // --qc-max-cv: largest QC CV after drift correction, percent
  double qcMinFraction = 0.5;  // --qc-min-fraction: least share of QCs a feature has an area in
  bool drift = true;           // --no-drift
  DriftOptions driftOptions;   // --drift-span, --drift-iterations, --drift-min-qcs
  Normalisation normalisation = Normalisation::None;  // --normalise none|total|median|pqn
  bool impute = false;                                // --impute none|min
  double imputeFraction = 0.5;  // --impute-fraction: share of the feature's smallest area
};

// Parses argv: Ok, Usage when the usage text is due (`error` says why, empty for --help), or
// Failed for a value it cannot take (named in `error`).
CleanStatus parseCleanOptions(int argc, char** argv, CleanOptions& options, std::string& error);

const char* cleanUsageText();

#endif
