#ifndef TORVA_CLEAN_CLEANER_H
#define TORVA_CLEAN_CLEANER_H

#include <string>
#include <vector>

#include "clean/clean_options.h"
#include "report/clean_tables.h"
#include "report/cohort_area_table.h"
#include "report/sample_sheet.h"

// Everything one cleaning produced.
struct CleanResult {
  CohortAreaTable table;  // the final table
  std::vector<RemovedFeature> removed;
  std::vector<QcCvRow> qcCv;
  std::vector<DriftFitFeature> drift;  // empty when the correction did not run
  PcaTable pca;
  std::vector<std::string> log;  // what was done and why, one line each
};

// The sheet's rows in the order of the table's sample columns. False (with `error`) when a column
// is not a sample of the sheet or a sample of the sheet has no column.
bool samplesOfTable(const std::vector<CohortSample>& sheet, const CohortAreaTable& table,
                    std::vector<CohortSample>& samples, std::string& error);

// The steps, in order: blank filter, QC presence, drift correction, QC CV, normalisation,
// imputation; then the PCA of the study samples and QCs before and after. `samples` follows the
// table's sample columns.
CleanResult cleanTable(const std::vector<CohortSample>& samples, const CohortAreaTable& table,
                       const CleanOptions& options);

// Reads the sheet and table, cleans, writes every output; returns the exit status.
CleanStatus cleanCohort(const CleanOptions& options);

#endif
