#ifndef TORVA_DRIVER_RUN_SEQUENCE_H
#define TORVA_DRIVER_RUN_SEQUENCE_H

#include "driver/options.h"

// Every exit status of the tool.
enum class ExitStatus : int {
  Ok = 0,
  Usage = 1,             // usage text shown (also a 64-bit peak array of the wrong size)
  RequestFailed = 2,     // run completed, but a requested report, target file or input file failed
  UnreadableInput = -1,  // -i cannot be read; 255 as the shell sees it
};

// The banner's three lines, each ended by a line feed.
const char* bannerText();
// The usage text: the banner lines followed by the option summary.
const char* usageText();

// Runs the whole tool on parsed options and returns its exit status.
ExitStatus runSequence(const Options& options);

#endif
