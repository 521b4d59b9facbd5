#include "report/target_table.h"

#include "report/table_text.h"
#include "util/console.h"

std::string targetWindowLine(double mz, double rtLow, double rtHigh) {
  return console::fixed(mz, 6) + "\t" + console::fixed(rtLow, 4) + "\t" + console::fixed(rtHigh, 4) + "\n";
}

std::string targetWindowLine(double mz, double rtLow, double rtHigh, double fillLow, double fillHigh) {
  return console::fixed(mz, 6) + "\t" + console::fixed(rtLow, 4) + "\t" + console::fixed(rtHigh, 4) + "\t\t" +
         console::fixed(fillLow, 4) + "\t" + console::fixed(fillHigh, 4) + "\n";
}

int readTargetWindowTable(const std::string& path, std::vector<TargetWindowRow>& rows, std::string& error) {
  TableLines lines(path);
  if (!lines.isOpen()) return 0;
  std::vector<TargetWindowRow> read;
  std::vector<std::string_view> fields;
  std::string line;
  while (lines.next(line)) {
    if (line.empty() || line[0] == '#') continue;
    splitFields(line, fields);
    TargetWindowRow row;
    const bool spanned = fields.size() == 6;
    if (fields.size() < 3 || fields.size() == 5 || fields.size() > 6 ||
        (fields.size() == 4 && fields[3].empty()) || !readDecimal(fields[0], row.mz) ||
        !readDecimal(fields[1], row.rtLow) || !readDecimal(fields[2], row.rtHigh) || !(row.mz > 0) ||
        row.rtHigh < row.rtLow ||
        (spanned && (!readDecimal(fields[4], row.fillLow) || !readDecimal(fields[5], row.fillHigh) ||
                     row.fillHigh < row.fillLow))) {
      error = "line " + std::to_string(lines.number()) +
              " is not 'mz<TAB>rt_low<TAB>rt_high' with rt_low <= rt_high (and optionally <TAB>name, or "
              "<TAB>name<TAB>fill_low<TAB>fill_high with fill_low <= fill_high)";
      return -1;
    }
    if (fields.size() >= 4) row.name = std::string(fields[3]);
    row.hasFillSpan = spanned;
    read.push_back(row);
  }
  rows.insert(rows.end(), read.begin(), read.end());
  return 1;
}
