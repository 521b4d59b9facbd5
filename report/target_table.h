#ifndef TORVA_REPORT_TARGET_TABLE_H
#define TORVA_REPORT_TARGET_TABLE_H

#include <string>
#include <vector>

// The windowed target list of --targets (torva-align writes one per sample for
// the gap filling): one target a line, `mz<TAB>rt_low<TAB>rt_high`, the times
// in minutes, optionally followed by `<TAB>name`, or by
// `<TAB>name<TAB>fill_low<TAB>fill_high` (the name may then be empty): the span
// over which `torva --fill-gaps` integrates the target's signal when no peak
// tops in its window. No head line; empty lines and lines starting with '#'
// are skipped.

// One target's line, with its line feed: m/z with 6 decimals, the times with 4.
std::string targetWindowLine(double mz, double rtLow, double rtHigh);
// The same with an empty name and the span to integrate when filling a gap.
std::string targetWindowLine(double mz, double rtLow, double rtHigh, double fillLow, double fillHigh);

struct TargetWindowRow {
  double mz = 0;
  double rtLow = 0;  // minutes
  double rtHigh = 0;
  std::string name;  // empty when the line has none
  bool hasFillSpan = false;
  double fillLow = 0;  // minutes
  double fillHigh = 0;
};

// Reads a target list. Returns 1 when read, 0 when the file cannot be opened,
// -1 with `error` naming the line when a line is not three decimals (read
// whole, see readDecimal) with a positive m/z and rt_low <= rt_high, and
// optionally a non-empty name, or a name (may be empty) and two more decimals
// with fill_low <= fill_high; then no row of the file is returned.
int readTargetWindowTable(const std::string& path, std::vector<TargetWindowRow>& rows, std::string& error);

#endif
