#ifndef TORVA_REPORT_TABLE_TEXT_H
#define TORVA_REPORT_TABLE_TEXT_H

#include <cstddef>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// The text rules every TORVA table is read by. A table is tab-separated text
// with lines ended by a line feed (a carriage return before it is dropped).
// Reading fails, naming the file and the line, on the first line that breaks
// its table's layout; empty lines are skipped.

// The tab-separated fields of a line, every one kept: "a\t\tb" has three and
// "a\t" two fields, the last one empty.
std::vector<std::string_view> splitFields(std::string_view line);
// The same into `fields`, whose storage is reused from line to line.
void splitFields(std::string_view line, std::vector<std::string_view>& fields);

// A decimal field read whole: -?digits[.digits][(e|E)[+-]digits] (the JSON
// number grammar, so no sign '+', no leading zeros, no hex, no "inf" or "nan"),
// and finite. False, leaving `value` unspecified, for anything else.
bool readDecimal(std::string_view text, double& value);
// True when `text` is written in that grammar, whatever its size.
bool isDecimalText(std::string_view text);
// An integer field read whole: -?digits, within the range of long long.
bool readInteger(std::string_view text, long long& value);

// True when a and b can be two printings of one value, with digitsA and
// digitsB decimals: they differ by at most half a unit of the last digit of each.
bool printedValuesAgree(double a, int digitsA, double b, int digitsB);

// The lines of one table file, numbered from 1.
class TableLines {
 public:
  explicit TableLines(const std::string& path);
  bool isOpen() const { return in_.is_open(); }
  // The next line without its line end; false at the end of the file.
  bool next(std::string& line);
  // The next line that is not empty; false at the end of the file.
  bool nextNonEmpty(std::string& line);
  long number() const { return number_; }
  const std::string& path() const { return path_; }
  // "<what> '<path>' line <n>: <why>", the error of the line read last.
  std::string lineError(const std::string& what, const std::string& why) const;

 private:
  std::string path_;
  std::ifstream in_;
  long number_ = 0;
};

// The head line of a table with the given columns: the names joined by tabs.
std::string joinColumns(const std::vector<std::string>& columns);

#endif
