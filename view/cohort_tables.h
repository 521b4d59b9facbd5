#ifndef TORVA_VIEW_COHORT_TABLES_H
#define TORVA_VIEW_COHORT_TABLES_H

#include <cstddef>
#include <string>
#include <vector>

#include "report/cohort_tables.h"

// The tables of a cohort output folder: samples.tsv and features.tsv are required;
// feature_rt.tsv, gap_filled.tsv and rt_correction.tsv are shown when present, and so are the
// tables of torva-clean under clean/ (removed.tsv, qc_cv.tsv, drift_fit.tsv, pca.tsv,
// pca_explained.tsv).
struct CohortTables {
  TextTable samples, features, featureRt, gapFilled, rtCorrection;
  TextTable removed, qcCv, driftFit, pca, pcaExplained;
  std::vector<std::string> warnings;  // problems worth a line on standard error
};

// The cohort page's bounds: the first features of features.tsv (and their rows
// of feature_rt.tsv and gap_filled.tsv), the first rows of torva-clean's drift
// fit and of the retention-time correction. The tables are read no further
// than these (the rows after them counted, not kept), so memory stays bounded
// whatever their size; what they leave out is named in `warnings`.
constexpr std::size_t kMaxCohortFeatures = 200000;
constexpr std::size_t kMaxCohortDriftRows = 2000000;

// Reads and checks the folder. False (with `error`) when a required table is
// missing or its columns do not follow the cohort folder's layout.
bool readCohort(const std::string& folder, CohortTables& cohort, std::string& error);

#endif
