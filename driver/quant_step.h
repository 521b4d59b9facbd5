#ifndef TORVA_DRIVER_QUANT_STEP_H
#define TORVA_DRIVER_QUANT_STEP_H

#include "driver/options.h"

struct RunData;
class filterer;

// The targeted quantitation of a run (--quant, --quant-out, --quant-traces):
// reads the target list, measures every transition and writes the tables.
// Returns false, after a message on standard error naming the file, when the
// list cannot be read or a table cannot be written.
bool runQuantStep(const Options& options, const RunData& run, const filterer& processor);

#endif
