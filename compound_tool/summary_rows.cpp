#include "compound_tool/summary_rows.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

long columnOf(const std::vector<std::string>& head, const std::string& name) {
  for (std::size_t k = 0; k < head.size(); ++k) {
    if (head[k] == name) return static_cast<long>(k);
  }
  return -1;
}

}  // namespace

std::vector<FeatureRow> summaryAsFeatureRows(const std::string& path, const std::vector<scan>& scans) {
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line)) throw std::runtime_error(path + ": cannot be read");
  const std::vector<std::string> head = splitTabs(line);
  const long mass = columnOf(head, "mass"), rt = columnOf(head, "rt"), area = columnOf(head, "area");
  const long apex = columnOf(head, "peak max(scan)"), start = columnOf(head, "peak start(scan)");
  const long end = columnOf(head, "peak end(scan)"), transition = columnOf(head, "transition");
  if (mass < 0 || rt < 0 || area < 0 || apex < 0 || start < 0 || end < 0 || transition < 0) {
    throw std::runtime_error(path + ": not a summary report (torva -s)");
  }
  std::unordered_map<long long, double> timeOf;
  int positive = 0, negative = 0;
  for (const scan& spectrum : scans) {
    timeOf.emplace(spectrum.num, spectrum.rt);
    if (spectrum.msLevel <= 1) {
      positive += spectrum.polarity == "+" ? 1 : 0;
      negative += spectrum.polarity == "-" ? 1 : 0;
    }
  }
  const char polarity = positive + negative == 0 ? '?' : negative > positive ? '-' : '+';
  std::vector<FeatureRow> rows;
  long number = 1;
  while (std::getline(file, line)) {
    ++number;
    if (line.empty()) continue;
    const std::vector<std::string> fields = splitTabs(line);
    if (fields.size() != head.size()) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": wrong number of fields");
    }
    if (fields[static_cast<std::size_t>(transition)].rfind("0.0[", 0) != 0) continue;  // full scan only
    FeatureRow row;
    row.featureId = "S" + std::to_string(number - 1);
    row.mz = std::strtod(fields[static_cast<std::size_t>(mass)].c_str(), nullptr);
    row.rt = std::strtod(fields[static_cast<std::size_t>(rt)].c_str(), nullptr);
    row.area = std::strtod(fields[static_cast<std::size_t>(area)].c_str(), nullptr);
    row.areaCorrected = row.area;
    const auto time = [&](long column) {
      const auto found =
          timeOf.find(std::strtoll(fields[static_cast<std::size_t>(column)].c_str(), nullptr, 10));
      return found == timeOf.end() ? row.rt : found->second / 60.0;
    };
    row.rtStart = time(start);
    row.rtEnd = time(end);
    row.mzMin = row.mzMax = row.mz;
    row.polarity = polarity;
    row.msLevel = 1;
    row.ms2Scans = "0";
    rows.push_back(row);
  }
  return rows;
}
