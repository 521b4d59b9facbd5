#ifndef TORVA_QUANT_COHORT_QUANT_H
#define TORVA_QUANT_COHORT_QUANT_H

#include <string>
#include <vector>

#include "quant/calibration.h"
#include "report/quant_cohort_tables.h"
#include "report/quant_table.h"
#include "report/quant_targets.h"

// Every setting of a cohort's quantitation, with its default.
struct CohortQuantSettings {
  CurveModel model = CurveModel::Linear;
  CurveWeighting weighting = CurveWeighting::InverseX;
  AccuracyLimits limits;        // standards dropped beyond 15 % (20 % at the lowest level)
  double ratioTolerance = 0.2;  // a qualifier's ion ratio within 20 % (relative) of the standards' mean
  double qcLimit = 0.15;        // a QC within 15 % of its known concentration counts as within
};

// The cohort's results: the long table, the concentrations (a row per sample,
// a column per quantified compound) and a curve per compound.
struct CohortQuantResult {
  std::vector<QuantLongRow> longRows;
  std::vector<std::string> compounds;  // compounds with a quantifier (not internal standards), list order
  std::vector<std::string> samples;
  std::vector<std::vector<double>> concentrations;  // [sample][compound], NaN when not quantified
  std::vector<CalibrationRow> calibration;
};

// Quantifies a cohort from each sample's run table (tables[s] belongs to
// samples[s], one row per target transition in list order). Per compound, the
// response is the quantifier's area over its internal standard's (or the
// area without one); standards of known concentration give the curve; every
// sample gets a concentration from it. Flags in the long table: not_found,
// internal_standard_not_found, no_curve, below_range, above_range (a QC, blank or
// sample outside the used standards), ion_ratio_out (a qualifier off the standards' mean ratio;
// also set on its quantifier's row), standard_dropped, qc_out (a QC beyond the QC limit).
CohortQuantResult quantifyCohort(const std::vector<TargetTransition>& targets,
                                 const std::vector<QuantSample>& samples,
                                 const std::vector<std::vector<TargetResult>>& tables,
                                 const CohortQuantSettings& settings);

// Whether a run's table belongs to the target list: as many rows, each with the
// compound and transition of its target. Empty when it does, else why not.
std::string tableMismatch(const std::vector<TargetTransition>& targets,
                          const std::vector<TargetResult>& table);

#endif
