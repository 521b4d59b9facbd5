#include "report/quant_cohort_tables.h"

#include <cmath>
#include <set>

#include "report/quant_text.h"

namespace {

const std::vector<std::string> kLongColumns = {
    "sample", "type", "compound", "transition",    "role",     "status",   "rt",   "rt_start",
    "rt_end", "area", "ratio",    "concentration", "expected", "accuracy", "flags"};
const std::vector<std::string> kCalibrationColumns = {"compound",
                                                      "internal_standard",
                                                      "model",
                                                      "weighting",
                                                      "r2",
                                                      "intercept",
                                                      "slope",
                                                      "quadratic",
                                                      "equation",
                                                      "standards_used",
                                                      "standards_dropped",
                                                      "lowest",
                                                      "highest",
                                                      "qc_count",
                                                      "qc_within_15",
                                                      "qc_mean_accuracy",
                                                      "status"};

double optionalNumber(const std::string& path, long line, const std::string& column,
                      const std::string& text) {
  return text.empty() ? std::nan("") : readNumber(path, line, column, text);
}

double concentrationValue(const std::string& path, long line, const std::string& column,
                          const std::string& text) {
  const double value = readNumber(path, line, column, text);
  if (value < 0) throw tableError(path, line, column + " '" + text + "' is below 0");
  return value;
}

}  // namespace

std::vector<QuantSample> readQuantSheet(const std::string& path, const std::vector<std::string>& compounds) {
  const std::vector<TableLine> lines = readTableLines(path);
  if (lines.empty()) throw TableError(path + ": no header line");
  const TableHead head(path, lines[0]);
  const int sample = head.required("sample");
  const int file = head.required("file");
  const int type = head.column("type");
  std::vector<QuantSample> samples;
  std::set<std::string> names;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const TableLine& line = lines[i];
    QuantSample s;
    s.name = TableHead::field(line, sample);
    s.file = TableHead::field(line, file);
    s.type = type < 0 ? "sample" : TableHead::field(line, type);
    if (s.type.empty()) s.type = "sample";
    if (s.name.empty()) throw tableError(path, line.number, "no sample name");
    if (!names.insert(s.name).second) throw tableError(path, line.number, "sample '" + s.name + "' twice");
    for (const std::string& compound : compounds) {
      const std::string text = TableHead::field(line, head.column(compound));
      if (!text.empty()) s.concentrations[compound] = concentrationValue(path, line.number, compound, text);
    }
    samples.push_back(s);
  }
  return samples;
}

void readConcentrations(const std::string& path, const std::vector<std::string>& compounds,
                        std::vector<QuantSample>& samples) {
  const std::vector<TableLine> lines = readTableLines(path);
  if (lines.empty()) throw TableError(path + ": no header line");
  const TableHead head(path, lines[0]);
  const int sample = head.required("sample");
  const int compound = head.required("compound");
  const int concentration = head.required("concentration");
  std::set<std::pair<std::string, std::string>> seen;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const TableLine& line = lines[i];
    const std::string name = TableHead::field(line, sample);
    const std::string what = TableHead::field(line, compound);
    QuantSample* target = nullptr;
    for (QuantSample& s : samples)
      if (s.name == name) target = &s;
    if (target == nullptr) throw tableError(path, line.number, "sample '" + name + "' is not in the sheet");
    bool known = false;
    for (const std::string& c : compounds) known = known || c == what;
    if (!known) throw tableError(path, line.number, "compound '" + what + "' is not in the target list");
    if (!seen.insert({name, what}).second)
      throw tableError(path, line.number, "a second concentration of '" + what + "' in '" + name + "'");
    target->concentrations[what] =
        concentrationValue(path, line.number, "concentration", TableHead::field(line, concentration));
  }
}

bool writeQuantLong(const std::string& path, const std::vector<QuantLongRow>& rows, std::string& error) {
  std::string text = joinColumns(kLongColumns) + "\n";
  for (const QuantLongRow& r : rows) {
    text += r.sample + "\t" + r.type + "\t" + r.compound + "\t" + r.transition + "\t" + r.role + "\t" +
            r.status + "\t" + fixedText(r.rt, 5) + "\t" + fixedText(r.rtStart, 5) + "\t" +
            fixedText(r.rtEnd, 5) + "\t" + fixedText(r.area, 5) + "\t" + significantText(r.ratio, 6) + "\t" +
            significantText(r.concentration, 6) + "\t" + numberText(r.expected) + "\t" +
            fixedText(r.accuracy, 2) + "\t" + r.flags + "\n";
  }
  return writeWholeFile(path, text, error);
}

bool writeConcentrations(const std::string& path, const std::vector<std::string>& compounds,
                         const std::vector<std::string>& samples,
                         const std::vector<std::vector<double>>& concentrations, std::string& error) {
  std::string text = "sample";
  for (const std::string& c : compounds) text += "\t" + c;
  text += "\n";
  for (std::size_t s = 0; s < samples.size(); ++s) {
    text += samples[s];
    for (std::size_t c = 0; c < compounds.size(); ++c)
      text += "\t" + significantText(concentrations[s][c], 6);
    text += "\n";
  }
  return writeWholeFile(path, text, error);
}

bool writeCalibration(const std::string& path, const std::vector<CalibrationRow>& rows, std::string& error) {
  std::string text = joinColumns(kCalibrationColumns) + "\n";
  for (const CalibrationRow& r : rows) {
    text += r.compound + "\t" + r.internalStandard + "\t" + r.model + "\t" + r.weighting + "\t" +
            fixedText(r.r2, 6) + "\t" + numberText(r.intercept) + "\t" + numberText(r.slope) + "\t" +
            numberText(r.quadratic) + "\t" + r.equation + "\t" + r.used + "\t" + r.dropped + "\t" +
            numberText(r.lowest) + "\t" + numberText(r.highest) + "\t" + std::to_string(r.qcCount) + "\t" +
            std::to_string(r.qcWithin) + "\t" + fixedText(r.qcMeanAccuracy, 2) + "\t" + r.status + "\n";
  }
  return writeWholeFile(path, text, error);
}

bool writeCohortTraces(const std::string& path, const std::vector<std::string>& samples,
                       const std::vector<std::vector<TargetTrace>>& traces, std::string& error) {
  std::string text = "sample\t" + quantTracesText({});
  for (std::size_t s = 0; s < samples.size(); ++s) {
    const std::string body = quantTracesText(traces[s]);
    std::string::size_type start = body.find('\n') + 1;  // past the run table's header
    while (start < body.size()) {
      const std::string::size_type end = body.find('\n', start);
      text += samples[s] + "\t" + body.substr(start, end + 1 - start);
      start = end + 1;
    }
  }
  return writeWholeFile(path, text, error);
}

std::vector<QuantLongRow> readQuantLong(const std::string& path) {
  const std::vector<TableLine> lines = readTableLines(path);
  checkHeadLine(path, lines, kLongColumns);
  std::vector<QuantLongRow> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string>& f = lines[i].fields;
    const long n = lines[i].number;
    QuantLongRow r;
    r.sample = f[0];
    r.type = f[1];
    r.compound = f[2];
    r.transition = f[3];
    r.role = f[4];
    r.status = f[5];
    r.rt = readNumber(path, n, "rt", f[6]);
    r.rtStart = readNumber(path, n, "rt_start", f[7]);
    r.rtEnd = readNumber(path, n, "rt_end", f[8]);
    r.area = readNumber(path, n, "area", f[9]);
    r.ratio = optionalNumber(path, n, "ratio", f[10]);
    r.concentration = optionalNumber(path, n, "concentration", f[11]);
    r.expected = optionalNumber(path, n, "expected", f[12]);
    r.accuracy = optionalNumber(path, n, "accuracy", f[13]);
    r.flags = f[14];
    rows.push_back(r);
  }
  return rows;
}

std::vector<CalibrationRow> readCalibration(const std::string& path) {
  const std::vector<TableLine> lines = readTableLines(path);
  checkHeadLine(path, lines, kCalibrationColumns);
  std::vector<CalibrationRow> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string>& f = lines[i].fields;
    const long n = lines[i].number;
    CalibrationRow r;
    r.compound = f[0];
    r.internalStandard = f[1];
    r.model = f[2];
    r.weighting = f[3];
    r.r2 = optionalNumber(path, n, "r2", f[4]);
    r.intercept = optionalNumber(path, n, "intercept", f[5]);
    r.slope = optionalNumber(path, n, "slope", f[6]);
    r.quadratic = optionalNumber(path, n, "quadratic", f[7]);
    r.equation = f[8];
    r.used = f[9];
    r.dropped = f[10];
    r.lowest = optionalNumber(path, n, "lowest", f[11]);
    r.highest = optionalNumber(path, n, "highest", f[12]);
    r.qcCount = static_cast<long>(readNumber(path, n, "qc_count", f[13]));
    r.qcWithin = static_cast<long>(readNumber(path, n, "qc_within_15", f[14]));
    r.qcMeanAccuracy = optionalNumber(path, n, "qc_mean_accuracy", f[15]);
    r.status = f[16];
    rows.push_back(r);
  }
  return rows;
}
