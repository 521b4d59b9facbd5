#ifndef TORVA_VIEW_COHORT_TABLES_H
#define TORVA_VIEW_COHORT_TABLES_H

#include <string>
#include <vector>

#include "report/cohort_tables.h"

// The tables of a cohort output folder: samples.tsv and features.tsv are required;
// feature_rt.tsv, gap_filled.tsv and rt_correction.tsv are shown when present.
struct CohortTables {
  TextTable samples, features, featureRt, gapFilled, rtCorrection;
  std::vector<std::string> warnings;  // problems worth a line on standard error
};

// Reads and checks the folder. False (with `error`) when a required table is
// missing or its columns do not follow the cohort folder's layout.
bool readCohort(const std::string& folder, CohortTables& cohort, std::string& error);

#endif
