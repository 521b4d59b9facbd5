#include "view/binned_map_grid.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "view/page_text.h"

using pagetext::parseNumber;
using pagetext::splitTabs;

namespace {

// Bins a map may have (torva writes 500); more means the file is something else.
constexpr std::size_t kMaxBins = 100000;

}  // namespace

bool readBinnedMap(const std::string& path, int maxRows, BinnedMapGrid& grid, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open the binned map '" + path + "'";
    return false;
  }
  std::string line;
  if (!pagetext::readLine(in, line) || line.empty() || line[0] != '\t') {
    error = "'" + path + "' does not start with the binned map's head line";
    return false;
  }
  for (const auto field : splitTabs(line)) {
    double edge;
    if (parseNumber(field, edge)) grid.binLow.push_back(edge);
  }
  const std::size_t bins = grid.binLow.size();
  if (bins == 0 || bins > kMaxBins) {
    error = "'" + path + "' does not look like a binned map: its head line has " + std::to_string(bins) +
            " bin edges";
    return false;
  }
  const std::streampos body = in.tellg();
  while (pagetext::readLine(in, line))
    if (!line.empty()) ++grid.spectra;
  in.clear();
  in.seekg(body);

  const long long rows = std::min<long long>(grid.spectra, std::max(1, maxRows));
  grid.rowTime.assign(rows, 0.0);
  grid.cells.assign(rows * bins, 0.0f);
  long long spectrum = 0;
  while (spectrum < grid.spectra && pagetext::readLine(in, line)) {
    if (line.empty()) continue;
    const long long row = spectrum * rows / grid.spectra;
    const bool firstOfRow = spectrum == 0 || (spectrum - 1) * rows / grid.spectra != row;
    ++spectrum;
    const auto fields = splitTabs(line);
    double time;
    if (fields.empty() || !parseNumber(fields[0], time)) {
      ++grid.skippedLines;
      continue;
    }
    if (firstOfRow) grid.rowTime[row] = time;
    float* cells = &grid.cells[row * bins];
    for (std::size_t b = 0; b < bins && b + 1 < fields.size(); ++b) {
      double value;
      if (parseNumber(fields[b + 1], value) && value > cells[b])
        cells[b] = static_cast<float>(std::min(value, double(std::numeric_limits<float>::max())));
    }
  }
  return true;
}
