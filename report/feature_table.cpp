#include "report/feature_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>

const char* const kFeatureTableLeading[4] = {"feature_id", "mz", "rt", "n_samples"};

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

bool readArea(const std::string& text, double& value) {
  if (text.empty()) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text[0] == ' ' || text[0] == '\t') return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value) && value >= 0;
}

}  // namespace

std::string fixedText(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

bool readFeatureTable(const std::string& path, FeatureTable& table, std::string& error) {
  table = FeatureTable();
  std::ifstream in(path, std::ios::binary);
  std::string line;
  const auto next = [&]() {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  };
  if (!in.is_open() || !next()) {
    error = "cannot read feature table '" + path + "'";
    return false;
  }
  const std::vector<std::string> header = splitTabs(line);
  bool leading = header.size() >= 4;
  for (std::size_t k = 0; leading && k < 4; ++k) leading = header[k] == kFeatureTableLeading[k];
  if (!leading) {
    error = "'" + path + "' is not a feature table: its header must start with feature_id, mz, rt, n_samples";
    return false;
  }
  table.samples.assign(header.begin() + 4, header.end());
  std::set<std::string> seen;
  for (const std::string& sample : table.samples) {
    if (sample.empty() || !seen.insert(sample).second) {
      error = "feature table '" + path + "' line 1: sample column '" + sample + "' is empty or repeated";
      return false;
    }
  }
  long number = 1;
  while (next()) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string> fields = splitTabs(line);
    const std::string where = "feature table '" + path + "' line " + std::to_string(number) + ": ";
    if (fields.size() != header.size()) {
      error = where + std::to_string(fields.size()) + " cells where the header has " +
              std::to_string(header.size());
      return false;
    }
    FeatureTableRow row{fields[0], fields[1], fields[2], fields[3], {}};
    if (row.id.empty()) {
      error = where + "empty feature_id";
      return false;
    }
    row.areas.resize(table.samples.size());
    for (std::size_t s = 0; s < table.samples.size(); ++s) {
      if (!readArea(fields[4 + s], row.areas[s])) {
        error = where + "area '" + fields[4 + s] + "' of sample " + table.samples[s] +
                " is not a number of at least 0";
        return false;
      }
    }
    table.rows.push_back(std::move(row));
  }
  return true;
}

std::string featureTableText(const FeatureTable& table) {
  std::string text = "feature_id\tmz\trt\tn_samples";
  for (const std::string& sample : table.samples) text += "\t" + sample;
  text += "\n";
  for (const FeatureTableRow& row : table.rows) {
    text += row.id + "\t" + row.mz + "\t" + row.rt + "\t" + row.nSamples;
    for (const double area : row.areas)
      text += "\t" + (std::isnan(area) ? std::string() : fixedText(area, 2));
    text += "\n";
  }
  return text;
}

bool writeWholeFile(const std::string& path, const std::string& text) {
  const std::string partial = path + ".part";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!(written && flushed && closed) || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return false;
  }
  return true;
}
