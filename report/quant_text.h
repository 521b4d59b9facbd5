#ifndef TORVA_REPORT_QUANT_TEXT_H
#define TORVA_REPORT_QUANT_TEXT_H

#include <stdexcept>
#include <string>
#include <vector>

#include "report/table_text.h"
#include "util/atomic_file.h"

// A table of the targeted quantitation that cannot be read: the message names
// the file and the line ("targets.tsv:4: precursor_mz 'abc' is not a number").
class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The tab-separated lines of a text file, each split into fields, with the
// number of the line it came from (1 for the first), read by TableLines of
// report/table_text.h. Empty lines and lines starting with '#' are skipped.
// Throws TableError when the file cannot be opened or a line is longer than
// kMaxTableLineBytes.
struct TableLine {
  long number = 0;
  std::vector<std::string> fields;
};
std::vector<TableLine> readTableLines(const std::string& path);

// Checks that the first line is exactly `columns` and every other line has as
// many fields; TableError naming the file and the line otherwise.
void checkHeadLine(const std::string& path, const std::vector<TableLine>& lines,
                   const std::vector<std::string>& columns);

// Splits one line at its tabs (n tabs give n + 1 fields), by the rule of report/table_text.h.
std::vector<std::string> splitTabs(const std::string& line);

// A header's columns by name; -1 for a column that is not there.
class TableHead {
 public:
  TableHead(const std::string& path, const TableLine& head);
  int column(const std::string& name) const;
  // The column, or TableError naming the file when it is missing.
  int required(const std::string& name) const;
  // The field of `line` in column `index`, empty when the line is shorter or index is -1.
  static std::string field(const TableLine& line, int index);
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::string path_;
  std::vector<std::string> names_;
};

// "path:line: message" as a TableError.
TableError tableError(const std::string& path, long line, const std::string& message);

// The whole field as a finite decimal (readDecimal of report/table_text.h), or
// TableError naming file, line and column.
double readNumber(const std::string& path, long line, const std::string& column, const std::string& text);

// The shortest text of 6 to 17 significant digits that reads back as exactly
// `value`; empty when it is not finite.
std::string numberText(double value);

// `value` with `digits` significant digits (printf "%.*g"); empty when not finite.
std::string significantText(double value, int digits);

#endif
