#include "report/cohort_table.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

const std::vector<std::string> kCohortLeadingColumns = {"feature_id", "mz", "rt", "n_samples"};

namespace {

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool readWhole(const std::string& field, double& out) {
  if (field.empty() || field.front() == ' ') return false;
  char* end = nullptr;
  out = std::strtod(field.c_str(), &end);
  return end == field.c_str() + field.size() && std::isfinite(out);
}

}  // namespace

std::string formatCohortFeatures(const CohortFeatureTable& table) {
  std::string text;
  for (std::size_t k = 0; k < kCohortLeadingColumns.size(); ++k)
    text += (k ? "\t" : "") + kCohortLeadingColumns[k];
  for (const std::string& column : table.extraColumns) text += "\t" + column;
  for (const std::string& sample : table.samples) text += "\t" + sample;
  text += "\n";
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
  std::size_t begin = 0;
  long number = 0;
  std::vector<std::string> head;
  std::set<std::string> ids;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = splitTabs(line);
    if (number == 1) {
      head = fields;
      const std::size_t fixedColumns = kCohortLeadingColumns.size();
      bool ok = head.size() >= fixedColumns + samples.size();
      for (std::size_t k = 0; ok && k < fixedColumns; ++k) ok = head[k] == kCohortLeadingColumns[k];
      for (std::size_t k = 0; ok && k < samples.size(); ++k)
        ok = head[head.size() - samples.size() + k] == samples[k];
      if (!ok)
        fail(number,
             "the head must read feature_id, mz, rt, n_samples, any per-feature columns, then the samples "
             "of samples.tsv in order");
      table.extraColumns.assign(head.begin() + static_cast<long>(fixedColumns),
                                head.end() - static_cast<long>(samples.size()));
      continue;
    }
    if (line.empty()) fail(number, "empty line");
    if (fields.size() != head.size())
      fail(number,
           std::to_string(fields.size()) + " fields where the head has " + std::to_string(head.size()));
    CohortFeature row;
    row.featureId = fields[0];
    double detected = 0;
    if (row.featureId.empty() || !ids.insert(row.featureId).second)
      fail(number, "empty or repeated feature_id");
    if (!readWhole(fields[1], row.mz) || !readWhole(fields[2], row.rt) || !readWhole(fields[3], detected) ||
        detected < 0 || detected != std::floor(detected))
      fail(number, "mz, rt and n_samples must be numbers (n_samples a whole one)");
    row.samplesDetected = static_cast<long long>(detected);
    const std::size_t firstSample = head.size() - samples.size();
    row.extra.assign(fields.begin() + 4, fields.begin() + static_cast<long>(firstSample));
    row.areas.assign(fields.begin() + static_cast<long>(firstSample), fields.end());
    for (const std::string& area : row.areas) {
      double value = 0;
      if (!area.empty() && !readWhole(area, value)) fail(number, "area '" + area + "' is not a number");
    }
    table.rows.push_back(std::move(row));
  }
  if (number == 0) fail(1, "empty file: a head line is expected");
  return table;
}

bool writeTableAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp." + std::to_string(static_cast<long>(::getpid()));
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!(written && flushed && closed) || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
