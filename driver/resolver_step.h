#ifndef TORVA_DRIVER_RESOLVER_STEP_H
#define TORVA_DRIVER_RESOLVER_STEP_H

#include "driver/options.h"
#include "records/run_data.h"

// The resolver pipeline of a run (--detect resolver): its settings from the
// command line, its targets from the run's target lists, and the feature
// table (--features). False, with the failure named on standard error, when
// the table could not be written.
bool runResolverStep(const Options& options, const RunData& run);

#endif
