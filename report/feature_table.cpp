// The feature table: its columns, writer and reader (layout in feature_table.h).
#include "report/feature_table.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "report/table_text.h"
#include "util/atomic_file.h"
#include "util/decimal_text.h"

const std::vector<std::string> kFeatureColumns = {
    "feature_id", "mz",           "mz_min",         "mz_max",    "rt",     "rt_start",    "rt_end",
    "height",     "area",         "area_corrected", "fwhm",      "sn",     "points",      "polarity",
    "ms_level",   "shape",        "target",         "target_mz", "status", "compound_id", "ion",
    "charge",     "neutral_mass", "representative", "ms2_scans"};

namespace {

enum Column : std::size_t {
  kId,
  kMz,
  kMzMin,
  kMzMax,
  kRt,
  kRtStart,
  kRtEnd,
  kHeight,
  kArea,
  kAreaCorrected,
  kFwhm,
  kSn,
  kPoints,
  kPolarity,
  kMsLevel,
  kShape,
  kTarget,
  kTargetMz,
  kStatus,
  kCompoundId,
  kIon,
  kCharge,
  kNeutralMass,
  kRepresentative,
  kMs2Scans,
  kColumnCount
};

void appendNumber(std::string& out, double value, int decimals) {
  // Negative zero is written as 0 so that a value read back writes the same.
  if (value == 0) value = 0;
  appendFixed(out, value, decimals);  // printf's "%.*f", without printf
}

// Text fields hold no tab or line break: they are replaced by spaces.
void appendText(std::string& out, const std::string& text) {
  for (char c : text) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

class RowReader {
 public:
  RowReader(const std::string& name, long line, const std::vector<std::string_view>& fields)
      : name_(name), line_(line), fields_(fields) {}

  [[noreturn]] void fail(const std::string& why) const {
    throw FeatureTableError(name_ + ":" + std::to_string(line_) + ": " + why);
  }

  double number(Column column) const {
    double value = 0;
    if (!readDecimal(fields_[column], value)) {
      fail(kFeatureColumns[column] + " is not a finite number: '" + std::string(fields_[column]) + "'");
    }
    return value;
  }

  long long whole(Column column) const {
    long long value = 0;
    if (!readInteger(fields_[column], value)) {
      fail(kFeatureColumns[column] + " is not a whole number: '" + std::string(fields_[column]) + "'");
    }
    return value;
  }

  std::string text(Column column) const { return std::string(fields_[column]); }

 private:
  const std::string& name_;
  long line_;
  const std::vector<std::string_view>& fields_;
};

FeatureRow readRow(const RowReader& in) {
  FeatureRow row;
  row.featureId = in.text(kId);
  if (row.featureId.empty()) in.fail("feature_id is empty");
  row.mz = in.number(kMz);
  row.mzMin = in.number(kMzMin);
  row.mzMax = in.number(kMzMax);
  row.rt = in.number(kRt);
  row.rtStart = in.number(kRtStart);
  row.rtEnd = in.number(kRtEnd);
  row.height = in.number(kHeight);
  row.area = in.number(kArea);
  row.areaCorrected = in.number(kAreaCorrected);
  row.fwhm = in.number(kFwhm);
  row.sn = in.number(kSn);
  row.points = in.whole(kPoints);
  if (row.points < 0) in.fail("points is negative");
  const std::string polarity = in.text(kPolarity);
  if (polarity != "+" && polarity != "-" && polarity != "?")
    in.fail("polarity is not +, - or ?: '" + polarity + "'");
  row.polarity = polarity[0];
  row.msLevel = in.whole(kMsLevel);
  if (row.msLevel < 0) in.fail("ms_level is negative");
  row.shape = in.number(kShape);
  if (row.shape < 0 || row.shape > 1) in.fail("shape is not within 0..1");
  row.target = in.text(kTarget);
  row.targetMz = in.number(kTargetMz);
  row.status = in.text(kStatus);
  if (row.status != "" && row.status != "found" && row.status != "not_found" && row.status != "filled") {
    in.fail("status is not found, filled, not_found or empty: '" + row.status + "'");
  }
  row.compoundId = in.whole(kCompoundId);
  row.ion = in.text(kIon);
  row.charge = in.whole(kCharge);
  row.neutralMass = in.number(kNeutralMass);
  const std::string representative = in.text(kRepresentative);
  if (representative != "0" && representative != "1") in.fail("representative is not 0 or 1");
  row.representative = representative == "1";
  row.ms2Scans = in.text(kMs2Scans);
  return row;
}

}  // namespace

namespace {

void appendFeatureRow(std::string& out, const FeatureRow& row) {
  appendText(out, row.featureId);
  const auto number = [&out](double value, int decimals) {
    out += '\t';
    appendNumber(out, value, decimals);
  };
  const auto text = [&out](const std::string& value) {
    out += '\t';
    appendText(out, value);
  };
  number(row.mz, 6);
  number(row.mzMin, 6);
  number(row.mzMax, 6);
  number(row.rt, 4);
  number(row.rtStart, 4);
  number(row.rtEnd, 4);
  number(row.height, 1);
  number(row.area, 1);
  number(row.areaCorrected, 1);
  number(row.fwhm, 4);
  number(row.sn, 3);
  text(std::to_string(row.points));
  text(std::string(1, row.polarity == '+' || row.polarity == '-' ? row.polarity : '?'));
  text(std::to_string(row.msLevel));
  number(row.shape, 3);
  text(row.target);
  number(row.targetMz, 6);
  text(row.status);
  text(std::to_string(row.compoundId));
  text(row.ion);
  text(std::to_string(row.charge));
  number(row.neutralMass, 6);
  text(row.representative ? "1" : "0");
  text(row.ms2Scans);
  out += '\n';
}

void appendFeatureHead(std::string& out) {
  for (std::size_t c = 0; c < kFeatureColumns.size(); ++c) {
    if (c > 0) out += '\t';
    out += kFeatureColumns[c];
  }
  out += '\n';
}

}  // namespace

std::string formatFeatureRow(const FeatureRow& row) {
  std::string out;
  out.reserve(256);
  appendFeatureRow(out, row);
  return out;
}

std::string formatFeatureTable(const std::vector<FeatureRow>& rows) {
  std::string out;
  appendFeatureHead(out);
  for (const FeatureRow& row : rows) appendFeatureRow(out, row);
  return out;
}

std::vector<FeatureRow> parseFeatureTable(const std::string& text, const std::string& name) {
  std::vector<FeatureRow> rows;
  std::unordered_set<std::string> ids;
  long number = 0;
  std::string::size_type start = 0;
  bool headRead = false;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;  // as in every TORVA table
    const std::vector<std::string_view> fields = splitFields(line);
    RowReader in(name, number, fields);
    if (!headRead) {
      if (line != joinColumns(kFeatureColumns)) in.fail("the head line is not that of a feature table");
      headRead = true;
      continue;
    }
    if (fields.size() != kColumnCount) {
      in.fail("has " + std::to_string(fields.size()) + " fields, the head has " +
              std::to_string(kColumnCount));
    }
    rows.push_back(readRow(in));
    if (!ids.insert(rows.back().featureId).second)
      in.fail("feature_id '" + rows.back().featureId + "' repeats");
  }
  if (!headRead) throw FeatureTableError(name + ":1: empty file, not a feature table");
  return rows;
}

std::vector<FeatureRow> readFeatureTable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) throw FeatureTableError(path + ": cannot be opened: " + std::strerror(errno));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw FeatureTableError(path + ": cannot be read");
  return parseFeatureTable(content.str(), path);
}

bool writeFeatureTable(const std::string& path, const std::vector<FeatureRow>& rows, std::string& error) {
  // Written a piece at a time through one buffer: a table of ten thousand rows held whole would take a
  // megabyte and more of memory the process has not touched yet, page by page.
  constexpr std::size_t kPiece = 1 << 18;
  AtomicFile file;
  bool written = file.open(path);
  std::string piece;
  piece.reserve(kPiece + 4096);
  appendFeatureHead(piece);
  for (std::size_t r = 0; written && r < rows.size(); ++r) {
    appendFeatureRow(piece, rows[r]);
    if (piece.size() < kPiece) continue;
    written = file.write(piece);
    piece.clear();
  }
  if (!written || !file.write(piece) || !file.commit()) {
    file.discard();
    error = file.failureText();
    return false;
  }
  return true;
}
