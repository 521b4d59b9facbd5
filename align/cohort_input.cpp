#include "align/cohort_input.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "report/feature_table.h"

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool nextLine(std::ifstream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// A whole field as a finite number; the field is followed by a tab, a line
// end or the end of the report, none of which strtod reads.
bool readNumber(const std::pair<const char*, const char*>& field, double& out) {
  if (field.first == field.second || *field.first == ' ' || *field.first == '\t') return false;
  char* end = nullptr;
  out = std::strtod(field.first, &end);
  return end == field.second && std::isfinite(out);
}

int columnOf(const std::vector<std::string>& header, const std::string& name) {
  for (std::size_t k = 0; k < header.size(); ++k) {
    if (header[k] == name) return static_cast<int>(k);
  }
  return -1;
}

}  // namespace

bool readSampleSheet(const std::string& path, std::vector<SampleEntry>& samples, std::string& error) {
  std::ifstream in(path);
  std::string line;
  if (!in.is_open() || !nextLine(in, line)) {
    error = "cannot read sample sheet '" + path + "'";
    return false;
  }
  const std::vector<std::string> header = splitTabs(line);
  const int name = columnOf(header, "sample");
  const int file = columnOf(header, "file");
  const int group = columnOf(header, "group");
  if (name < 0 || file < 0) {
    error = "sample sheet '" + path + "' needs a header line with columns 'sample' and 'file'";
    return false;
  }
  std::set<std::string> seen;
  long number = 1;
  while (nextLine(in, line)) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string> fields = splitTabs(line);
    SampleEntry entry;
    if (static_cast<int>(fields.size()) > name) entry.name = fields[name];
    if (static_cast<int>(fields.size()) > file) entry.file = fields[file];
    if (group >= 0 && static_cast<int>(fields.size()) > group) entry.group = fields[group];
    if (entry.name.empty() || entry.file.empty()) {
      error = "sample sheet '" + path + "' line " + std::to_string(number) + ": empty sample name or file";
      return false;
    }
    if (!seen.insert(entry.name).second) {
      error = "sample sheet '" + path + "' line " + std::to_string(number) + ": sample '" + entry.name +
              "' named twice";
      return false;
    }
    samples.push_back(entry);
  }
  if (samples.empty()) {
    error = "sample sheet '" + path + "' lists no sample";
    return false;
  }
  return true;
}

bool readSummary(const std::string& path, bool fullScanOnly, std::vector<SampleFeature>& features,
                 std::string& error) {
  // The whole report at once; rows are cut up in place.
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in.is_open()) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad() || text.empty()) {
    error = "cannot read summary report '" + path + "'";
    return false;
  }
  std::size_t lineEnd = text.find('\n');
  std::string line = text.substr(0, lineEnd);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::vector<std::string> header = splitTabs(line);
  const int mass = columnOf(header, "mass");
  const int rt = columnOf(header, "rt");
  const int area = columnOf(header, "area");
  const int transition = columnOf(header, "transition");
  if (mass < 0 || rt < 0 || area < 0 || transition < 0) {
    error = "'" + path + "' is not a summary report (columns mass, rt, area, transition)";
    return false;
  }
  std::vector<std::pair<const char*, const char*>> fields;  // [begin, end) of each field
  long number = 1;
  while (lineEnd != std::string::npos && lineEnd + 1 < text.size()) {
    const std::size_t begin = lineEnd + 1;
    lineEnd = text.find('\n', begin);
    const std::size_t end = lineEnd == std::string::npos ? text.size() : lineEnd;
    ++number;
    const char* p = text.data() + begin;
    const char* stop = text.data() + end;
    if (stop > p && stop[-1] == '\r') --stop;
    if (p == stop) continue;
    fields.clear();
    for (const char* field = p;;) {
      const char* tab =
          static_cast<const char*>(std::memchr(field, '\t', static_cast<std::size_t>(stop - field)));
      fields.emplace_back(field, tab == nullptr ? stop : tab);
      if (tab == nullptr) break;
      field = tab + 1;
    }
    SampleFeature feature;
    if (fields.size() != header.size() || !readNumber(fields[mass], feature.mz) ||
        !readNumber(fields[rt], feature.rt) || !readNumber(fields[area], feature.area)) {
      error = "summary report '" + path + "' line " + std::to_string(number) + " is malformed";
      return false;
    }
    // The full-scan channel's label starts with its precursor, 0.0.
    const auto& label = fields[transition];
    if (fullScanOnly && !(label.second - label.first >= 4 && std::memcmp(label.first, "0.0[", 4) == 0))
      continue;
    feature.areaText.assign(fields[area].first, fields[area].second);
    features.push_back(std::move(feature));
  }
  return true;
}

bool readSampleReport(const std::string& path, bool fullScanOnly, std::vector<SampleFeature>& features,
                      std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::string head;
  if (!in.is_open() || !std::getline(in, head)) {
    error = "cannot read report '" + path + "'";
    return false;
  }
  in.close();
  if (head.rfind("feature_id\t", 0) != 0) return readSummary(path, fullScanOnly, features, error);
  std::vector<FeatureRow> rows;
  try {
    rows = readFeatureTable(path);
  } catch (const FeatureTableError& failure) {
    error = failure.what();
    return false;
  }
  for (const FeatureRow& row : rows) {
    if (row.status == "not_found" || !row.representative) continue;
    if (fullScanOnly && row.msLevel != 1) continue;
    SampleFeature feature;
    feature.mz = row.mz;
    feature.rt = row.rt;
    feature.area = row.area;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", row.area);  // as the feature table writes it
    feature.areaText = text;
    feature.detailed = true;
    feature.height = row.height;
    feature.fwhm = row.fwhm;
    feature.sn = row.sn;
    feature.rtStart = row.rtStart;
    feature.rtEnd = row.rtEnd;
    features.push_back(std::move(feature));
  }
  return true;
}
