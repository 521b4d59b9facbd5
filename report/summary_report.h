#ifndef TORVA_RUN_SUMMARY_REPORT_H
#define TORVA_RUN_SUMMARY_REPORT_H

#include <vector>

#include "run/feature_duplicates.h"

class fileHandle;

// Decides which of the gathered features remain (see survivingFeatures).
using DuplicateRule = std::vector<bool> (*)(const std::vector<FeatureKey>& features, double massTolerance,
                                            double timeTolerance, double massPpm);

// The summary report of `run`, with duplicates removed by `rule`: one line per
// remaining feature whose area exceeds the cutoff and whose time is positive.
// fileHandle::exportSum is this with survivingFeatures. False when the report
// could not be written completely (the reason is on standard error).
bool writeSummary(const fileHandle& run, const char* path, float timeTolerance, float massTolerance,
                  float cutoff, DuplicateRule rule, double massPpm = 0);

#endif
