#ifndef TORVA_REPORT_COHORT_AREA_TABLE_H
#define TORVA_REPORT_COHORT_AREA_TABLE_H

#include <string>
#include <vector>

#include "report/table_text.h"

// One row of a cohort feature table (features.tsv, features_clean.tsv).
struct CohortAreaRow {
  std::string id;             // feature_id
  std::string mz;             // m/z as written
  std::string rt;             // minutes, as written
  std::string nSamples;       // n_samples as written
  std::vector<double> areas;  // per sample column; NaN where the cell is empty
};

// The feature table of a cohort: the leading columns of report/cohort_tables.h (feature_id, mz, rt,
// n_samples), then one area column per sample.
struct CohortAreaTable {
  std::vector<std::string> samples;  // the area columns, in file order
  std::vector<CohortAreaRow> rows;
};

// Reads a feature table. False with `error` naming the file and line when the file cannot be read,
// its header does not start with the leading columns, names a sample twice, or a line has another
// number of cells than the header or an area that is neither empty nor a finite number >= 0.
bool readCohortAreaTable(const std::string& path, CohortAreaTable& table, std::string& error);

// The table as text: areas with two decimals, empty cells for NaN.
std::string cohortAreaTableText(const CohortAreaTable& table);

#endif
