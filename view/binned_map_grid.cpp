#include "view/binned_map_grid.h"

#include <algorithm>
#include <limits>

#include "report/map_table.h"
#include "view/page_text.h"

using pagetext::parseNumber;

namespace {

// Bins a map may have (torva writes 500); more means the file is something else.
constexpr std::size_t kMaxBins = 100000;

}  // namespace

bool readBinnedMap(const std::string& path, int maxRows, BinnedMapGrid& grid, std::string& error) {
  // The rows are counted first, so that the merged rows spread evenly over them.
  {
    BinnedMapReader counting(path);
    if (!counting.readHead(error)) return false;
    grid.binLow = counting.binLows();
    double time;
    std::vector<std::string_view> fields;
    while (counting.nextRow(time, fields, error)) ++grid.spectra;
    if (!error.empty()) return false;
  }
  const std::size_t bins = grid.binLow.size();
  if (bins > kMaxBins) {
    error = "'" + path + "' does not look like a binned map: its head line has " + std::to_string(bins) +
            " bin edges";
    return false;
  }
  BinnedMapReader reader(path);
  if (!reader.readHead(error)) return false;
  const long long rows = std::min<long long>(grid.spectra, std::max(1, maxRows));
  grid.rowTime.assign(rows, 0.0);
  grid.cells.assign(rows * bins, 0.0f);
  long long spectrum = 0;
  double time;
  std::vector<std::string_view> fields;
  while (spectrum < grid.spectra && reader.nextRow(time, fields, error)) {
    const long long row = spectrum * rows / grid.spectra;
    const bool firstOfRow = spectrum == 0 || (spectrum - 1) * rows / grid.spectra != row;
    ++spectrum;
    if (firstOfRow) grid.rowTime[row] = time;
    float* cells = &grid.cells[row * bins];
    for (std::size_t b = 0; b < bins; ++b) {
      double value;
      if (parseNumber(fields[b], value) && value > cells[b])
        cells[b] = static_cast<float>(std::min(value, double(std::numeric_limits<float>::max())));
    }
  }
  return error.empty();
}
