#ifndef TORVA_CLEAN_DRIFT_CORRECTION_H
#define TORVA_CLEAN_DRIFT_CORRECTION_H

#include <vector>

#include "report/sample_sheet.h"

// How the intensity drift along the injection order is taken out, from the pooled QCs.
struct DriftOptions {
  double span = 0.75;  // share of a batch's QCs each local line is fitted to
  int iterations = 3;  // robustness rounds of the smoother
  int minQcs = 4;      // QCs with an area a batch needs for a curve; fewer: their median only
};

// How one feature's batch was corrected.
enum class DriftFitKind { Curve, Median, None };

// One feature's correction: per injection the fitted QC level at its place in the order (area
// units; NaN where its batch had no QC with an area) and per batch how it was fitted.
struct FeatureDrift {
  std::vector<double> fit;
  std::vector<DriftFitKind> batchFit;  // per batch, in the order of `batchesOf`
  // Per QC its area corrected by the curve (or median) of its batch's other QCs, NaN for the
  // other injections: how well the correction predicts an injection it was not fitted to.
  std::vector<double> crossValidated;
};

// The batches of the cohort, in the order of their first injection.
std::vector<std::string> batchesOf(const std::vector<CohortSample>& samples);

// Corrects one feature's `areas` (one per injection of `samples`, NaN when absent) in place: per
// batch a robust smoother of log area over injection order is fitted to the batch's QCs, and each
// area is divided by the curve at its injection and multiplied by the median QC area of the whole
// cohort, so that every batch's QCs lie at that one level. A batch with fewer than
// `options.minQcs` QC areas is scaled by its QC median alone; a batch without QC areas is left
// as it is.
FeatureDrift correctDrift(const std::vector<CohortSample>& samples, const std::vector<std::string>& batches,
                          const DriftOptions& options, std::vector<double>& areas);

#endif
