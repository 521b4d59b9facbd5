#include "view/quant_tables.h"

#include <fstream>

#include "report/quant_cohort_tables.h"
#include "report/quant_text.h"

bool readQuantFolder(const std::string& folder, QuantTables& tables, std::string& error) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  try {
    readCalibration(base + "calibration.tsv");
    readQuantLong(base + "quant_long.tsv");
  } catch (const TableError& e) {
    error = e.what();
    return false;
  }
  if (!readTextTable(base + "calibration.tsv", tables.calibration, error) ||
      !readTextTable(base + "quant_long.tsv", tables.quantLong, error) ||
      !readTextTable(base + "traces.tsv", tables.traces, error)) {
    return false;
  }
  if (tables.traces.present) {
    const std::vector<std::string> columns = {"sample", "compound", "transition", "times", "intensities"};
    if (tables.traces.header != columns) {
      error = "'" + base +
              "traces.tsv' is not a table of traces (sample, compound, transition, times, intensities)";
      return false;
    }
  }
  return true;
}
