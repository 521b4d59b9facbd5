#ifndef TORVA_REPORT_TARGET_TABLE_H
#define TORVA_REPORT_TARGET_TABLE_H

#include <string>
#include <vector>

// The windowed target list of --targets (torva-align writes one per sample for
// the gap filling): one target a line, `mz<TAB>rt_low<TAB>rt_high`, the times
// in minutes; no head line; empty lines and lines starting with '#' are skipped.

// One target's line, with its line feed: m/z with 6 decimals, the times with 4.
std::string targetWindowLine(double mz, double rtLow, double rtHigh);

struct TargetWindowRow {
  double mz = 0;
  double rtLow = 0;  // minutes
  double rtHigh = 0;
  std::string name;  // empty when the line gives none
};

// Reads a target list. Returns 1 when read, 0 when the file cannot be opened,
// -1 with `error` naming the line when a line is not three decimals (read
// whole, see readDecimal) with a positive m/z and rt_low <= rt_high, and
// optionally a non-empty name; then no row of the file is returned.
int readTargetWindowTable(const std::string& path, std::vector<TargetWindowRow>& rows, std::string& error);

#endif
