#include "report/cohort_tables.h"

#include <fstream>

#include "report/table_text.h"

const std::vector<std::string>& cohortSampleColumns() {
  static const std::vector<std::string> columns = {"sample", "file", "group"};
  return columns;
}

const std::vector<std::string>& featureTableColumns() {
  static const std::vector<std::string> columns = {"feature_id", "mz", "rt", "n_samples"};
  return columns;
}

const std::vector<std::string>& featureRtColumns() {
  static const std::vector<std::string> columns = {"feature_id"};
  return columns;
}

const std::vector<std::string>& gapFilledColumns() {
  static const std::vector<std::string> columns = {"feature_id"};
  return columns;
}

const std::vector<std::string>& rtCorrectionColumns() {
  static const std::vector<std::string> columns = {"sample", "rt", "rt_corrected"};
  return columns;
}

std::string cohortHead(const std::vector<std::string>& leading, const std::vector<std::string>& samples) {
  std::string head = joinColumns(leading);
  for (const std::string& sample : samples) head += "\t" + sample;
  return head + "\n";
}

int TextTable::column(const std::string& name) const {
  for (std::size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return static_cast<int>(i);
  return -1;
}

bool readTextTable(const std::string& path, TextTable& table, std::string& error) {
  table = TextTable();
  TableLines lines(path);
  if (!lines.isOpen()) return true;
  table.present = true;
  std::string line;
  if (!lines.next(line) || line.empty()) {
    error = "table '" + path + "' has no head line";
    return false;
  }
  for (const auto field : splitFields(line)) table.header.emplace_back(field);
  std::vector<std::string_view> fields;
  while (lines.nextNonEmpty(line)) {
    splitFields(line, fields);
    if (fields.size() != table.header.size()) {
      error = lines.lineError("table", std::to_string(fields.size()) + " fields under a head of " +
                                           std::to_string(table.header.size()));
      return false;
    }
    table.rows.emplace_back(fields.begin(), fields.end());
  }
  return true;
}
