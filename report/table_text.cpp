#include "report/table_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  splitFields(line, fields);
  return fields;
}

void splitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

bool isDecimalText(std::string_view text) {
  std::size_t i = 0;
  const auto digits = [&]() {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > from;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i + 1 < text.size() && text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9') return false;
  if (!digits()) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

bool readDecimal(std::string_view text, double& value) {
  if (!isDecimalText(text)) return false;
  // from_chars reads the C locale's form whatever the program's locale is.
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

bool readInteger(std::string_view text, long long& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool printedValuesAgree(double a, int digitsA, double b, int digitsB) {
  const double slack = 0.5 * std::pow(10.0, -digitsA) + 0.5 * std::pow(10.0, -digitsB);
  return std::fabs(a - b) <= slack * (1 + 1e-9) + 1e-12 * std::fabs(a);
}

TableLines::TableLines(const std::string& path) : path_(path), in_(path, std::ios::binary) {}

bool TableLines::next(std::string& line) {
  if (!std::getline(in_, line)) return false;
  ++number_;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool TableLines::nextNonEmpty(std::string& line) {
  while (next(line))
    if (!line.empty()) return true;
  return false;
}

std::string TableLines::lineError(const std::string& what, const std::string& why) const {
  return what + " '" + path_ + "' line " + std::to_string(number_) + ": " + why;
}

std::string joinColumns(const std::vector<std::string>& columns) {
  std::string line;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) line += '\t';
    line += columns[i];
  }
  return line;
}
