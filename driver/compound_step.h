#ifndef TORVA_DRIVER_COMPOUND_STEP_H
#define TORVA_DRIVER_COMPOUND_STEP_H

#include <vector>

#include "driver/options.h"
#include "records/run_data.h"
#include "report/feature_table.h"

// The compound grouping of the resolver's features (--compounds, --adducts, --export): fills the rows'
// compound columns from the run's spectra (`scans`: profile spectra already centroided) and writes the
// exports. False, with the failure named on standard error, when an export could not be written.
bool runCompoundStep(const Options& options, const std::vector<scan>& scans, std::vector<FeatureRow>& rows);

#endif
