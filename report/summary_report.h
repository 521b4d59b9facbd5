#ifndef TORVA_REPORT_SUMMARY_REPORT_H
#define TORVA_REPORT_SUMMARY_REPORT_H

#include <vector>

#include "records/run_data.h"
#include "report/feature_duplicates.h"

// Decides which of the gathered features remain (see survivingFeatures).
using DuplicateRule = std::vector<bool> (*)(const std::vector<FeatureKey>& features, double massTolerance,
                                            double timeTolerance, double massPpm);

// The summary report of `run`, with duplicates removed by `rule`: one line per
// remaining feature whose area exceeds the cutoff and whose time is positive.
// writeSummaryReport is this with survivingFeatures. False when the report
// could not be written completely (the reason is on standard error).
bool writeSummary(const RunData& run, const char* path, float timeTolerance, float massTolerance,
                  float cutoff, DuplicateRule rule, double massPpm = 0);

// The summary report with duplicates removed by survivingFeatures.
bool writeSummaryReport(const RunData& run, const char* path, float timeTolerance, float massTolerance,
                        float cutoff, double massPpm = 0);

#endif
