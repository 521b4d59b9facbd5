// The feature spectra table: its columns, writer and reader (layout in feature_spectra.h).
#include "report/feature_spectra.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "report/table_text.h"
#include "util/atomic_file.h"

const std::vector<std::string> kFeatureSpectraColumns = {"feature_id", "sample",       "kind",  "scan",
                                                         "rt",         "precursor_mz", "points"};

namespace {

enum Column : std::size_t { kId, kSample, kKind, kScan, kRt, kPrecursor, kPoints, kColumnCount };

void appendNumber(std::string& out, double value, int decimals) {
  char text[64];
  if (value == 0) value = 0;  // no "-0.0": a value read back writes the same
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  out += text;
}

// Text fields hold no tab or line break: they are replaced by spaces.
void appendText(std::string& out, const std::string& text) {
  for (char c : text) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

[[noreturn]] void fail(const std::string& name, long line, const std::string& why) {
  throw FeatureSpectraError(name + ":" + std::to_string(line) + ": " + why);
}

double decimalField(std::string_view text, const char* column, const std::string& name, long line) {
  double value = 0;
  if (!readDecimal(text, value))
    fail(name, line, std::string(column) + " '" + std::string(text) + "' is not a number");
  return value;
}

void readPoints(std::string_view text, FeatureSpectrum& record, const std::string& name, long line) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view point = text.substr(start, end - start);
    const std::size_t colon = point.find(':');
    double x = 0, y = 0;
    if (colon == std::string_view::npos || !readDecimal(point.substr(0, colon), x) ||
        !readDecimal(point.substr(colon + 1), y))
      fail(name, line, "point '" + std::string(point) + "' is not x:y");
    if (!record.points.empty() && x < record.points.back().first)
      fail(name, line, "point '" + std::string(point) + "' falls below the one before it");
    record.points.emplace_back(x, y);
    start = end + 1;
    if (end + 1 == text.size()) fail(name, line, "the points end in a space");
  }
}

// One record from the fields of a line that is not the head.
FeatureSpectrum readRecord(const std::vector<std::string_view>& fields, const std::string& name, long line) {
  if (fields.size() != kColumnCount)
    fail(name, line,
         "has " + std::to_string(fields.size()) + " fields, the head has " + std::to_string(kColumnCount));
  FeatureSpectrum record;
  record.featureId = std::string(fields[kId]);
  if (record.featureId.empty()) fail(name, line, "feature_id is empty");
  if (!readInteger(fields[kScan], record.scan) || record.scan < 0)
    fail(name, line, "scan '" + std::string(fields[kScan]) + "' is not a whole number >= 0");
  record.sample = std::string(fields[kSample]);
  const std::string_view kind = fields[kKind];
  if (kind == "ms1")
    record.kind = SpectrumKind::Ms1;
  else if (kind == "ms2")
    record.kind = SpectrumKind::Ms2;
  else if (kind == "trace")
    record.kind = SpectrumKind::Trace;
  else
    fail(name, line, "kind '" + std::string(kind) + "' is none of ms1, ms2, trace");
  record.rt = decimalField(fields[kRt], "rt", name, line);
  record.precursorMz = decimalField(fields[kPrecursor], "precursor_mz", name, line);
  readPoints(fields[kPoints], record, name, line);
  return record;
}

// Hands every record of the lines `next` gives to `take`; `next(line)` is false at the end.
template <typename NextLine>
void readLines(NextLine next, const std::string& name, const std::function<void(FeatureSpectrum&&)>& take) {
  std::string line;
  std::vector<std::string_view> fields;
  long number = 0;
  bool headRead = false;
  while (next(line, number)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!headRead) {
      if (line != joinColumns(kFeatureSpectraColumns))
        fail(name, number, "the head line is not that of a feature spectra table");
      headRead = true;
      continue;
    }
    splitFields(line, fields);
    take(readRecord(fields, name, number));
  }
  if (!headRead) fail(name, 1, "empty file, not a feature spectra table");
}

}  // namespace

const char* spectrumKindName(SpectrumKind kind) {
  switch (kind) {
    case SpectrumKind::Ms1:
      return "ms1";
    case SpectrumKind::Ms2:
      return "ms2";
    case SpectrumKind::Trace:
      return "trace";
  }
  return "ms1";
}

std::string formatFeatureSpectrum(const FeatureSpectrum& record) {
  std::string out;
  appendText(out, record.featureId);
  out += '\t';
  appendText(out, record.sample);
  out += '\t';
  out += spectrumKindName(record.kind);
  out += '\t';
  out += std::to_string(record.scan);
  out += '\t';
  appendNumber(out, std::isfinite(record.rt) ? record.rt : 0, 4);
  out += '\t';
  appendNumber(out, std::isfinite(record.precursorMz) ? record.precursorMz : 0, 6);
  out += '\t';
  // A point that is not finite has no place on a chart: it is left out.
  const int xDecimals = record.kind == SpectrumKind::Trace ? 4 : 6;
  bool first = true;
  for (const auto& [x, y] : record.points) {
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    if (!first) out += ' ';
    first = false;
    appendNumber(out, x, xDecimals);
    out += ':';
    appendNumber(out, y, 1);
  }
  out += '\n';
  return out;
}

std::string formatFeatureSpectra(const std::vector<FeatureSpectrum>& records) {
  std::string out = joinColumns(kFeatureSpectraColumns) + '\n';
  for (const FeatureSpectrum& record : records) out += formatFeatureSpectrum(record);
  return out;
}

std::vector<FeatureSpectrum> parseFeatureSpectra(const std::string& text, const std::string& name) {
  std::vector<FeatureSpectrum> records;
  std::size_t start = 0;
  const auto next = [&](std::string& line, long& number) {
    if (start >= text.size()) return false;
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    line.assign(text, start, end - start);
    start = end + 1;
    ++number;
    return true;
  };
  readLines(next, name, [&records](FeatureSpectrum&& record) { records.push_back(std::move(record)); });
  return records;
}

void readFeatureSpectra(const std::string& path, const std::function<void(FeatureSpectrum&&)>& take) {
  TableLines lines(path);
  if (!lines.isOpen()) throw FeatureSpectraError(path + ": cannot be opened");
  const auto next = [&](std::string& line, long& number) {
    if (!lines.next(line)) return false;
    number = lines.number();
    if (lines.lineCut()) fail(path, number, "line longer than the longest a table may have");
    return true;
  };
  readLines(next, path, take);
}

bool writeFeatureSpectra(const std::string& path, const std::vector<FeatureSpectrum>& records,
                         std::string& error) {
  return writeWholeFile(path, formatFeatureSpectra(records), error);
}
