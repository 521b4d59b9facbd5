#include "align/cohort_input.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <string_view>
#include <utility>

#include "report/feature_table.h"
#include "report/summary_table.h"
#include "report/table_text.h"

namespace {

int columnOf(const std::vector<std::string_view>& header, const std::string& name) {
  for (std::size_t k = 0; k < header.size(); ++k) {
    if (header[k] == name) return static_cast<int>(k);
  }
  return -1;
}

// The name with control characters shown as \xNN, for a message.
std::string printableName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string sampleNameProblem(const std::string& name) {
  if (name.find('/') != std::string::npos) return "it contains '/'";
  if (name.find("..") != std::string::npos) return "it contains '..'";
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "it contains a control character";
  }
  return "";
}

bool readSampleSheet(const std::string& path, std::vector<SampleEntry>& samples, std::string& error) {
  TableLines lines(path);
  std::string line;
  if (!lines.isOpen() || !lines.next(line)) {
    error = "cannot read sample sheet '" + path + "'";
    return false;
  }
  const std::string headLine = line;
  const std::vector<std::string_view> header = splitFields(headLine);
  const int name = columnOf(header, "sample");
  const int file = columnOf(header, "file");
  const int group = columnOf(header, "group");
  if (name < 0 || file < 0) {
    error = "sample sheet '" + path + "' needs a header line with columns 'sample' and 'file'";
    return false;
  }
  std::set<std::string> seen;
  std::vector<std::string_view> fields;
  while (lines.nextNonEmpty(line)) {
    splitFields(line, fields);
    SampleEntry entry;
    if (static_cast<int>(fields.size()) > name) entry.name = fields[name];
    if (static_cast<int>(fields.size()) > file) entry.file = fields[file];
    if (group >= 0 && static_cast<int>(fields.size()) > group) entry.group = fields[group];
    if (entry.name.empty() || entry.file.empty()) {
      error = lines.lineError("sample sheet", "empty sample name or file");
      return false;
    }
    const std::string problem = sampleNameProblem(entry.name);
    if (!problem.empty()) {
      error = lines.lineError("sample sheet", "sample name '" + printableName(entry.name) +
                                                  "' cannot be a file name: " + problem +
                                                  " (names become file names in the output folder)");
      return false;
    }
    if (!seen.insert(entry.name).second) {
      error = lines.lineError("sample sheet", "sample '" + entry.name + "' named twice");
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
  std::vector<SummaryRow> rows;
  if (!readSummaryTable(path, rows, error)) return false;
  for (SummaryRow& row : rows) {
    if (fullScanOnly && !row.channel.isFullScan()) continue;
    SampleFeature feature;
    feature.mz = row.mass;
    feature.rt = row.rt;
    feature.area = row.area;
    feature.areaText = std::move(row.areaText);
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
    feature.filled = row.status == "filled";
    features.push_back(std::move(feature));
  }
  return true;
}
