#ifndef TORVA_DRIVER_RUN_CHECKS_H
#define TORVA_DRIVER_RUN_CHECKS_H

#include <string>
#include <vector>

#include "driver/options.h"

// Checks of a command line made before any work, so that a mistake shows at
// once instead of after a long run.

// Warnings about options that are read other than the user probably meant
// (each a line without its "torva: " prefix or line feed). The run goes on.
std::vector<std::string> optionWarnings(const Options& options);

// Why the run must not start: a report that would overwrite the input, the
// target file or another report, or that cannot be created. Empty when every report can be
// written.
std::string reportRefusal(const Options& options);

#endif
