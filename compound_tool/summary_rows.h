#ifndef TORVA_COMPOUND_TOOL_SUMMARY_ROWS_H
#define TORVA_COMPOUND_TOOL_SUMMARY_ROWS_H

#include <string>
#include <vector>

#include "records/records.h"
#include "report/feature_table.h"

// The full-scan features of a summary report (torva -s) as feature-table rows, so that runs processed by
// the summary pipeline can be grouped too: feature_id "S<line>", mz, rt and area as the summary gives them,
// the edges' times from the run's scan numbers, height 0, polarity from the run's MS1 spectra.
// Throws std::runtime_error naming the file and line when the report cannot be read.
std::vector<FeatureRow> summaryAsFeatureRows(const std::string& path, const std::vector<scan>& scans);

#endif
