#ifndef TORVA_DRIVER_RUN_SEQUENCE_H
#define TORVA_DRIVER_RUN_SEQUENCE_H

#include <string>

#include "driver/options.h"

// Every exit status of the tool.
enum class ExitStatus : int {
  Ok = 0,
  Usage = 1,             // usage text shown (also a 64-bit peak array of the wrong size)
  RequestFailed = 2,     // run completed, but a requested report, target file or input file failed;
                         // also a command line refused before any work
  UnreadableInput = -1,  // -i cannot be read; 255 as the shell sees it
};

// The banner's three lines, each ended by a line feed.
const char* bannerText();
// The usage text: the banner lines followed by the option summary.
const char* usageText();

// The full help of --help: every option with its unit and default.
const char* helpText();
// The version line of --version.
const char* versionText();

// Writes a summary report without features (its head line) to `path`, as a
// run that found none would: Ok, or RequestFailed when it cannot be written.
ExitStatus writeEmptySummary(const std::string& path);

// Runs the whole tool on parsed options and returns its exit status. Progress
// goes to standard error when `showProgress` is set.
ExitStatus runSequence(const Options& options, bool showProgress);
// As above, with progress shown when standard error is a terminal and
// --quiet was not given.
ExitStatus runSequence(const Options& options);

#endif
