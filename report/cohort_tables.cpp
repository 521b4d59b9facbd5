#include "report/cohort_tables.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "report/table_text.h"

const std::vector<std::string>& cohortSampleColumns() {
  static const std::vector<std::string> columns = {"sample", "file", "group"};
  return columns;
}

const std::vector<std::string>& featureTableColumns() {
  static const std::vector<std::string> columns = {"feature_id", "mz", "rt", "n_samples"};
  return columns;
}

const std::vector<std::string>& cohortPerFeatureColumns() {
  static const std::vector<std::string> columns = {
      "mean_height", "median_fwhm",  "median_sn",      "compound_id", "ion",
      "charge",      "neutral_mass", "representative", "ms2_scans"};
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

bool readTextTable(const std::string& path, TextTable& table, std::string& error, std::size_t maxRows) {
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
    if (table.rows.size() < maxRows) {
      table.rows.emplace_back(fields.begin(), fields.end());
    } else {
      ++table.rowsLeftOut;
    }
  }
  return true;
}

namespace {

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

}  // namespace

std::string formatCohortFeatures(const CohortFeatureTable& table) {
  std::vector<std::string> head = featureTableColumns();
  head.insert(head.end(), table.extraColumns.begin(), table.extraColumns.end());
  std::string text = cohortHead(head, table.samples);
  for (const CohortFeature& row : table.rows) {
    text += row.featureId + "\t" + fixed(row.mz, 5) + "\t" + fixed(row.rt, 4) + "\t" +
            std::to_string(row.samplesDetected);
    for (const std::string& cell : row.extra) text += "\t" + cell;
    for (const std::string& cell : row.areas) text += "\t" + cell;
    text += "\n";
  }
  return text;
}

CohortFeatureTable parseCohortFeatures(const std::string& text, const std::vector<std::string>& samples,
                                       const std::string& name) {
  const auto fail = [&](long line, const std::string& what) {
    throw CohortTableError(name + ":" + std::to_string(line) + ": " + what);
  };
  CohortFeatureTable table;
  table.samples = samples;
  const std::vector<std::string>& leading = featureTableColumns();
  std::size_t begin = 0;
  long number = 0;
  std::vector<std::string> head;
  std::set<std::string> ids;
  std::vector<std::string_view> fields;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() && number > 1) continue;  // as every table: empty lines are skipped
    splitFields(line, fields);
    if (number == 1) {
      head.assign(fields.begin(), fields.end());
      bool ok = head.size() >= leading.size() + samples.size();
      for (std::size_t k = 0; ok && k < leading.size(); ++k) ok = head[k] == leading[k];
      for (std::size_t k = 0; ok && k < samples.size(); ++k)
        ok = head[head.size() - samples.size() + k] == samples[k];
      if (!ok)
        fail(number,
             "the head must read feature_id, mz, rt, n_samples, any per-feature columns, then the samples "
             "of samples.tsv in order");
      table.extraColumns.assign(head.begin() + static_cast<long>(leading.size()),
                                head.end() - static_cast<long>(samples.size()));
      continue;
    }
    if (fields.size() != head.size())
      fail(number,
           std::to_string(fields.size()) + " fields where the head has " + std::to_string(head.size()));
    CohortFeature row;
    row.featureId = std::string(fields[0]);
    if (row.featureId.empty() || !ids.insert(row.featureId).second)
      fail(number, "empty or repeated feature_id");
    if (!readDecimal(fields[1], row.mz) || !readDecimal(fields[2], row.rt) ||
        !readInteger(fields[3], row.samplesDetected) || row.samplesDetected < 0)
      fail(number, "mz, rt and n_samples must be numbers (n_samples a whole one)");
    const std::size_t firstSample = head.size() - samples.size();
    row.extra.assign(fields.begin() + static_cast<long>(leading.size()),
                     fields.begin() + static_cast<long>(firstSample));
    row.areas.assign(fields.begin() + static_cast<long>(firstSample), fields.end());
    for (const std::string& area : row.areas) {
      double value = 0;
      if (!area.empty() && !readDecimal(area, value)) fail(number, "area '" + area + "' is not a number");
    }
    table.rows.push_back(std::move(row));
  }
  if (number == 0) fail(1, "empty file: a head line is expected");
  return table;
}
