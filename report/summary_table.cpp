#include "report/summary_table.h"

#include <string_view>

#include "report/table_text.h"
#include "util/console.h"

const std::vector<std::string>& summaryColumns() {
  static const std::vector<std::string> columns = {
      "mass", "rt", "area", "peak max(scan)", "peak start(scan)", "peak end(scan)", "transition"};
  return columns;
}

std::string summaryHead() { return joinColumns(summaryColumns()) + "\n"; }

std::string summaryLine(double mass, double rtMinutes, double area, std::int32_t apexScan,
                        std::int32_t startScan, std::int32_t endScan, const std::string& label) {
  std::string line = console::fixed(mass, kSummaryDecimals) + "\t" +
                     console::fixed(rtMinutes, kSummaryDecimals) + "\t" +
                     console::fixed(area, kSummaryDecimals) + "\t";
  line += std::to_string(apexScan) + "\t" + std::to_string(startScan) + "\t" + std::to_string(endScan) + "\t";
  line += label + "\n";
  return line;
}

bool readSummaryTable(const std::string& path, std::vector<SummaryRow>& rows, std::string& error) {
  const char* what = "summary report";
  TableLines lines(path);
  std::string line;
  if (!lines.isOpen() || !lines.next(line)) {
    error = "cannot read the summary report '" + path + "'";
    return false;
  }
  if (line + "\n" != summaryHead()) {
    error =
        lines.lineError(what, "not the summary report's head line (" + joinColumns(summaryColumns()) + ")");
    return false;
  }
  std::vector<std::string_view> fields;
  while (lines.nextNonEmpty(line)) {
    splitFields(line, fields);
    SummaryRow row;
    row.line = lines.number();
    if (fields.size() != summaryColumns().size()) {
      error = lines.lineError(what, std::to_string(fields.size()) + " fields instead of " +
                                        std::to_string(summaryColumns().size()));
      return false;
    }
    if (!readDecimal(fields[0], row.mass) || !readDecimal(fields[1], row.rt) ||
        !readDecimal(fields[2], row.area)) {
      error = lines.lineError(what, "mass, rt and area must be finite decimal numbers");
      return false;
    }
    if (!readInteger(fields[3], row.apexScan) || !readInteger(fields[4], row.startScan) ||
        !readInteger(fields[5], row.endScan)) {
      error = lines.lineError(what, "the scan numbers must be integers");
      return false;
    }
    if (!parseChannelLabel(fields[6], row.channel)) {
      error = lines.lineError(what, "'" + std::string(fields[6]) + "' is not a channel label");
      return false;
    }
    row.massText = fields[0];
    row.rtText = fields[1];
    row.areaText = fields[2];
    row.labelText = fields[6];
    rows.push_back(std::move(row));
  }
  return true;
}
