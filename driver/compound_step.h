#ifndef TORVA_DRIVER_COMPOUND_STEP_H
#define TORVA_DRIVER_COMPOUND_STEP_H

#include <memory>
#include <vector>

#include "compounds/early_traces.h"
#include "driver/options.h"
#include "export/export_model.h"
#include "features/full_scan_groups.h"
#include "records/run_data.h"
#include "report/feature_table.h"

// The compound grouping of the resolver's features (--compounds, --adducts): fills the rows' compound
// columns from the run's spectra (`scans`: profile spectra already centroided), writes --feature-spectra,
// and gives what the exports (--export) need in `set`. False, with the failure named on standard error,
// when the adduct list or the feature spectra file failed.
// Traces read ahead (`early`) are taken from there.
bool runCompoundStep(const Options& options, const std::vector<scan>& scans, std::vector<FeatureRow>& rows,
                     ExportSet& set, EarlyTraces* early = nullptr);

// With --compounds on more than one worker: the features' traces read ahead, beside the detection of
// `groups` (tell it the candidates: EarlyTraces::add); else nullptr.
std::unique_ptr<EarlyTraces> startEarlyTraces(const Options& options, const std::vector<scan>& scans,
                                              const std::vector<FullScanGroup>& groups);

#endif
