#include "report/quant_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "report/table_text.h"

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  for (std::string_view field : splitFields(line)) fields.emplace_back(field);
  return fields;
}

std::vector<TableLine> readTableLines(const std::string& path) {
  TableLines in(path);
  if (!in.isOpen()) throw TableError(path + ": cannot open the file; check the path");
  std::vector<TableLine> lines;
  std::string line;
  while (in.nextNonEmpty(line)) {
    if (in.lineCut()) throw tableError(path, in.number(), "line longer than 16 MiB");
    if (line[0] == '#') continue;
    lines.push_back({in.number(), splitTabs(line)});
  }
  return lines;
}

void checkHeadLine(const std::string& path, const std::vector<TableLine>& lines,
                   const std::vector<std::string>& columns) {
  if (lines.empty()) throw TableError(path + ": empty; expected the header line");
  if (lines[0].fields != columns)
    throw tableError(path, lines[0].number, "not the header line " + joinColumns(columns));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].fields.size() != columns.size())
      throw tableError(
          path, lines[i].number,
          std::to_string(lines[i].fields.size()) + " fields instead of " + std::to_string(columns.size()));
  }
}

TableError tableError(const std::string& path, long line, const std::string& message) {
  return TableError(path + ":" + std::to_string(line) + ": " + message);
}

TableHead::TableHead(const std::string& path, const TableLine& head) : path_(path), names_(head.fields) {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (names_[i] == names_[j]) throw tableError(path, head.number, "column '" + names_[i] + "' twice");
    }
  }
}

int TableHead::column(const std::string& name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return static_cast<int>(i);
  }
  return -1;
}

int TableHead::required(const std::string& name) const {
  const int index = column(name);
  if (index < 0) throw TableError(path_ + ": the header has no column '" + name + "'");
  return index;
}

std::string TableHead::field(const TableLine& line, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= line.fields.size()) return std::string();
  return line.fields[static_cast<std::size_t>(index)];
}

double readNumber(const std::string& path, long line, const std::string& column, const std::string& text) {
  double value = 0;
  if (!readDecimal(text, value)) throw tableError(path, line, column + " '" + text + "' is not a number");
  return value;
}

std::string numberText(double value) {
  if (!std::isfinite(value)) return std::string();
  char text[40];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string significantText(double value, int digits) {
  if (!std::isfinite(value)) return std::string();
  char text[48];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}
