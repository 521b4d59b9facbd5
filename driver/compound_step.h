#ifndef TORVA_DRIVER_COMPOUND_STEP_H
#define TORVA_DRIVER_COMPOUND_STEP_H

#include <vector>

#include "driver/options.h"
#include "export/export_model.h"
#include "records/run_data.h"
#include "report/feature_table.h"

// The compound grouping of the resolver's features (--compounds, --adducts): fills the rows' compound
// columns from the run's spectra (`scans`: profile spectra already centroided), writes --feature-spectra,
// and gives what the exports (--export) need in `set`. False, with the failure named on standard error,
// when the adduct list or the feature spectra file failed.
bool runCompoundStep(const Options& options, const std::vector<scan>& scans, std::vector<FeatureRow>& rows,
                     ExportSet& set);

#endif
