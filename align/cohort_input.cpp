#include "align/cohort_input.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>

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

bool readNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out);
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
  std::ifstream in(path);
  std::string line;
  if (!in.is_open() || !nextLine(in, line)) {
    error = "cannot read summary report '" + path + "'";
    return false;
  }
  const std::vector<std::string> header = splitTabs(line);
  const int mass = columnOf(header, "mass");
  const int rt = columnOf(header, "rt");
  const int area = columnOf(header, "area");
  const int transition = columnOf(header, "transition");
  if (mass < 0 || rt < 0 || area < 0 || transition < 0) {
    error = "'" + path + "' is not a summary report (columns mass, rt, area, transition)";
    return false;
  }
  long number = 1;
  while (nextLine(in, line)) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string> fields = splitTabs(line);
    SampleFeature feature;
    if (fields.size() != header.size() || !readNumber(fields[mass], feature.mz) ||
        !readNumber(fields[rt], feature.rt) || !readNumber(fields[area], feature.area)) {
      error = "summary report '" + path + "' line " + std::to_string(number) + " is malformed";
      return false;
    }
    // The full-scan channel's label starts with its precursor, 0.0.
    if (fullScanOnly && fields[transition].compare(0, 4, "0.0[") != 0) continue;
    feature.areaText = fields[area];
    features.push_back(std::move(feature));
  }
  return true;
}
