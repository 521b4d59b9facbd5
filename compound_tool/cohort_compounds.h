#ifndef TORVA_COMPOUND_TOOL_COHORT_COMPOUNDS_H
#define TORVA_COMPOUND_TOOL_COHORT_COMPOUNDS_H

#include <functional>
#include <string>
#include <vector>

#include "compounds/feature_evidence.h"
#include "compounds/run_compounds.h"
#include "export/export_model.h"
#include "report/cohort_tables.h"

// The compound columns a cohort's features.tsv carries before its sample columns.
extern const std::vector<std::string> kCohortCompoundColumns;

struct CohortCompoundOptions {
  RunCompoundOptions run;    // ion list, tolerances, MS2 window
  double defaultWidth = 12;  // seconds: a feature's width when the table gives no median_fwhm
};

// What a sample contributes: its name, run file and measured apex time of each cohort row (minutes, NaN
// where absent), index for index with the table's rows.
struct CohortSample {
  std::string name;
  std::string runFile;
  std::vector<double> measuredRt;
};

// Groups the cohort's rows into compounds (co-elution, areas correlated across samples, the same ions and
// isotopes as in a run), links each sample's MS2 scans to the rows by the row's measured time in that sample,
// sets the compound columns of `table` (replacing earlier ones) and returns the export set. `scansOf(s)`
// reads sample s's run; a sample whose run cannot be read contributes no MS2 spectra. When `traces` is
// given it receives each row's chromatogram in every sample whose run was read (cohortTraceOf), up to
// `limits.maxPoints` points in all; `leftOut.records` counts the traces past them.
ExportSet groupCohortCompounds(CohortFeatureTable& table, const std::vector<CohortSample>& samples,
                               const CohortCompoundOptions& options,
                               const std::function<bool(std::size_t, std::vector<scan>&)>& scansOf,
                               std::vector<FeatureSpectrum>* traces = nullptr,
                               const EvidenceLimits& limits = EvidenceLimits(),
                               EvidenceLeftOut* leftOut = nullptr);

// A cohort row's chromatogram in one sample: the trace of its m/z within `ppm` around its time there
// (`rtMinutes`: the measured one, or the cohort's), `widthSeconds` being the row's peak width; at least
// limits.minTraceHalfWidth and (1 + 2 limits.traceMargin) half widths either side.
FeatureSpectrum cohortTraceOf(const Ms1Index& ms1, const CohortFeature& row, const std::string& sample,
                              double rtMinutes, double widthSeconds, double ppm,
                              const EvidenceLimits& limits);

#endif
