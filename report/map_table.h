#ifndef TORVA_REPORT_MAP_TABLE_H
#define TORVA_REPORT_MAP_TABLE_H

#include <string>
#include <string_view>
#include <vector>

#include "report/table_text.h"

// The binned map (-m): a head line of the bins' lower edges after an empty
// first field, then one row per spectrum: its time (as the file states it,
// two decimals) and per bin the summed intensity (two decimals, or "0.0" when
// no peak fell in). Every line ends with a tab.

// The head line over bins whose lower edges are `lowEdges`, with its line feed.
std::string binnedMapHead(const std::vector<double>& lowEdges);

// Reads a binned map line by line: the head line (an empty field, then one
// decimal per bin) and rows of a time and one decimal per bin. Any other line
// ends the reading with an error naming file and line; empty lines are skipped.
class BinnedMapReader {
 public:
  explicit BinnedMapReader(const std::string& path) : lines_(path) {}
  // Reads the head line. False with `error` set when the file cannot be read or
  // its first line is not a binned map's head.
  bool readHead(std::string& error);
  const std::vector<double>& binLows() const { return binLows_; }
  // The next row: the time and the bins' fields (one per bin, as printed).
  // False at the end or on a malformed row (then `error` is set).
  bool nextRow(double& time, std::vector<std::string_view>& bins, std::string& error);

 private:
  TableLines lines_;
  std::string text_;
  std::vector<double> binLows_;
  std::vector<std::string_view> fields_;
};

#endif
