#include "report/cohort_area_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>

#include "report/cohort_tables.h"
#include "report/table_text.h"

namespace {

bool readArea(std::string_view text, double& value) {
  if (text.empty()) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return readDecimal(text, value) && value >= 0;
}

}  // namespace

bool readCohortAreaTable(const std::string& path, CohortAreaTable& table, std::string& error) {
  table = CohortAreaTable();
  TableLines lines(path);
  std::string line;
  if (!lines.isOpen() || !lines.next(line)) {
    error = "cannot read feature table '" + path + "'";
    return false;
  }
  const std::vector<std::string_view> head = splitFields(line);
  const std::vector<std::string>& leading = featureTableColumns();
  bool matches = head.size() >= leading.size();
  for (std::size_t k = 0; matches && k < leading.size(); ++k) matches = head[k] == leading[k];
  if (!matches) {
    error = "'" + path + "' is not a feature table: its header must start with " + joinColumns(leading);
    return false;
  }
  // The per-feature columns between n_samples and the samples are passed over.
  std::size_t first = leading.size();
  const std::vector<std::string>& perFeature = cohortPerFeatureColumns();
  while (first < head.size() &&
         std::find(perFeature.begin(), perFeature.end(), std::string(head[first])) != perFeature.end())
    ++first;
  std::set<std::string> seen;
  for (std::size_t k = first; k < head.size(); ++k) {
    table.samples.emplace_back(head[k]);
    if (head[k].empty() || !seen.insert(table.samples.back()).second) {
      error = lines.lineError("feature table",
                              "sample column '" + table.samples.back() + "' is empty or repeated");
      return false;
    }
  }
  std::vector<std::string_view> fields;
  while (lines.nextNonEmpty(line)) {
    splitFields(line, fields);
    if (fields.size() != head.size()) {
      error =
          lines.lineError("feature table", std::to_string(fields.size()) + " cells where the header has " +
                                               std::to_string(head.size()));
      return false;
    }
    CohortAreaRow row{
        std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), std::string(fields[3]), {}};
    if (row.id.empty()) {
      error = lines.lineError("feature table", "empty feature_id");
      return false;
    }
    row.areas.resize(table.samples.size());
    for (std::size_t s = 0; s < table.samples.size(); ++s) {
      if (!readArea(fields[first + s], row.areas[s])) {
        error = lines.lineError("feature table", "area '" + std::string(fields[first + s]) + "' of sample " +
                                                     table.samples[s] + " is not a number of at least 0");
        return false;
      }
    }
    table.rows.push_back(std::move(row));
  }
  return true;
}

std::string cohortAreaTableText(const CohortAreaTable& table) {
  std::string text = cohortHead(featureTableColumns(), table.samples);
  for (const CohortAreaRow& row : table.rows) {
    text += row.id + "\t" + row.mz + "\t" + row.rt + "\t" + row.nSamples;
    for (const double area : row.areas)
      text += "\t" + (std::isnan(area) ? std::string() : fixedText(area, 2));
    text += "\n";
  }
  return text;
}
