#ifndef TORVA_IMPORT_TARGET_LIST_H
#define TORVA_IMPORT_TARGET_LIST_H

#include <string>
#include <vector>

#include "records/run_data.h"

// Splits `text` into maximal runs of characters not in `delimiters`.
void tokenize(const std::string& text, std::vector<std::string>& tokens, const std::string& delimiters);
// Appends one target per comma- or line-separated value of `list` (-p). Always returns 1.
int addTargetList(RunData& run, std::string list);
// Reads a target file (-P): 1 when read, -1 when rejected ("BAD FILE"),
// 0 when it cannot be opened (then an empty list is added).
int importTargetFile(RunData& run, const char* path);
// Reads a file of windowed targets (--targets), one `mz<TAB>rt_low<TAB>rt_high`
// line each (minutes; empty lines and lines starting with '#' are skipped).
// Returns 1 when read, 0 when it cannot be opened, -1 (with `error` set) when a
// line is malformed; then no target of the file is added.
int importTargetWindows(RunData& run, const char* path, std::string& error);

#endif
