#include "report/quant_table.h"

#include <cmath>
#include <limits>

#include "report/quant_text.h"

const char* statusName(TargetStatus status) {
  switch (status) {
    case TargetStatus::Found:
      return "found";
    case TargetStatus::NotFound:
      return "not_found";
    case TargetStatus::NoChannel:
      return "no_channel";
  }
  return "no_channel";
}

namespace {

const std::vector<std::string> kQuantColumns = {"compound",        "transition", "role",   "status", "rt",
                                                "rt_start",        "rt_end",     "area",   "height", "noise",
                                                "signal_to_noise", "ion_ratio",  "channel"};
const std::vector<std::string> kTraceColumns = {"compound", "transition", "times", "intensities"};

TargetStatus readStatus(const std::string& path, long line, const std::string& text) {
  for (TargetStatus status : {TargetStatus::Found, TargetStatus::NotFound, TargetStatus::NoChannel}) {
    if (text == statusName(status)) return status;
  }
  throw tableError(path, line, "status '" + text + "' is not found, not_found or no_channel");
}

std::vector<double> readList(const std::string& path, long line, const std::string& column,
                             const std::string& text) {
  std::vector<double> values;
  if (text.empty()) return values;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = text.find(',', start);
    values.push_back(
        readNumber(path, line, column,
                   text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values;
}

}  // namespace

std::string quantTableText(const std::vector<TargetResult>& rows) {
  std::string text = joinColumns(kQuantColumns) + "\n";
  for (const TargetResult& r : rows) {
    text += r.compound + "\t" + r.transition + "\t" + r.role + "\t" + statusName(r.status) + "\t";
    text += fixedText(r.rt, 5) + "\t" + fixedText(r.rtStart, 5) + "\t" + fixedText(r.rtEnd, 5) + "\t";
    text += fixedText(r.area, 5) + "\t" + fixedText(r.height, 2) + "\t" + fixedText(r.noise, 2) + "\t";
    text += fixedText(r.signalToNoise, 2) + "\t" + significantText(r.ionRatio, 6) + "\t" + r.channel + "\n";
  }
  return text;
}

bool writeQuantTable(const std::string& path, const std::vector<TargetResult>& rows, std::string& error) {
  return writeWholeFile(path, quantTableText(rows), error);
}

std::vector<TargetResult> readQuantTable(const std::string& path) {
  const std::vector<TableLine> lines = readTableLines(path);
  checkHeadLine(path, lines, kQuantColumns);
  std::vector<TargetResult> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const TableLine& line = lines[i];
    const long n = line.number;
    const std::vector<std::string>& f = line.fields;
    TargetResult r;
    r.compound = f[0];
    r.transition = f[1];
    r.role = f[2];
    r.status = readStatus(path, n, f[3]);
    r.rt = readNumber(path, n, "rt", f[4]);
    r.rtStart = readNumber(path, n, "rt_start", f[5]);
    r.rtEnd = readNumber(path, n, "rt_end", f[6]);
    r.area = readNumber(path, n, "area", f[7]);
    r.height = readNumber(path, n, "height", f[8]);
    r.noise = readNumber(path, n, "noise", f[9]);
    // Empty: a peak on a baseline without noise.
    r.signalToNoise = f[10].empty() ? std::numeric_limits<double>::infinity()
                                    : readNumber(path, n, "signal_to_noise", f[10]);
    r.ionRatio = f[11].empty() ? std::nan("") : readNumber(path, n, "ion_ratio", f[11]);
    r.channel = f[12];
    rows.push_back(r);
  }
  return rows;
}

std::string quantTracesText(const std::vector<TargetTrace>& traces) {
  std::string text = joinColumns(kTraceColumns) + "\n";
  for (const TargetTrace& t : traces) {
    text += t.compound + "\t" + t.transition + "\t";
    for (std::size_t k = 0; k < t.times.size(); ++k) text += (k ? "," : "") + fixedText(t.times[k], 5);
    text += "\t";
    for (std::size_t k = 0; k < t.intensities.size(); ++k)
      text += (k ? "," : "") + fixedText(t.intensities[k], 1);
    text += "\n";
  }
  return text;
}

bool writeQuantTraces(const std::string& path, const std::vector<TargetTrace>& traces, std::string& error) {
  return writeWholeFile(path, quantTracesText(traces), error);
}

std::vector<TargetTrace> readQuantTraces(const std::string& path) {
  const std::vector<TableLine> lines = readTableLines(path);
  checkHeadLine(path, lines, kTraceColumns);
  std::vector<TargetTrace> traces;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const TableLine& line = lines[i];
    TargetTrace t;
    t.compound = line.fields[0];
    t.transition = line.fields[1];
    t.times = readList(path, line.number, "times", line.fields[2]);
    t.intensities = readList(path, line.number, "intensities", line.fields[3]);
    if (t.times.size() != t.intensities.size()) {
      throw tableError(path, line.number, "times and intensities of different lengths");
    }
    traces.push_back(std::move(t));
  }
  return traces;
}
