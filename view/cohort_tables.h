#ifndef TORVA_VIEW_COHORT_TABLES_H
#define TORVA_VIEW_COHORT_TABLES_H

#include <string>
#include <vector>

// A tab-separated table with a header line, its cells kept as written.
struct TextTable {
  bool present = false;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  int column(const std::string& name) const;  // -1 when absent
};

// The tables of a cohort output folder: samples.tsv and features.tsv are required;
// feature_rt.tsv, gap_filled.tsv and rt_correction.tsv are shown when present, and so are the
// tables of torva-clean under clean/ (removed.tsv, qc_cv.tsv, drift_fit.tsv, pca.tsv,
// pca_explained.tsv).
struct CohortTables {
  TextTable samples, features, featureRt, gapFilled, rtCorrection;
  TextTable removed, qcCv, driftFit, pca, pcaExplained;
  std::vector<std::string> warnings;  // problems worth a line on standard error
};

// Reads a table; a missing file leaves `present` false. Rows with fewer cells
// than the header are padded with empty cells.
bool readTextTable(const std::string& path, TextTable& table, std::string& error);

// Reads and checks the folder. False (with `error`) when a required table is
// missing or its columns do not follow the cohort folder's layout.
bool readCohort(const std::string& folder, CohortTables& cohort, std::string& error);

#endif
