#include "report/binned_map.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "report/map_table.h"
#include "report/report_file.h"
#include "util/decimal_text.h"

namespace {

// Number of bins of a range: (high - low) / width, rounded to the nearest
// whole number, at least 1.
int binCount(const MapRange& range) {
  const double bins = std::round((range.high - range.low) / range.width);
  return bins < 1 ? 1 : static_cast<int>(bins);
}

// The bin edges low, low + width, ... and last high. With the default range
// (400 to 900 by 1) they are the whole numbers 400 ... 900. They rise strictly,
// so a peak lies in at most one bin.
std::vector<double> binEdges(const MapRange& range) {
  const int bins = binCount(range);
  std::vector<double> edges;
  edges.reserve(static_cast<std::size_t>(bins) + 1);
  for (int b = 0; b < bins; ++b) edges.push_back(range.low + b * range.width);
  edges.push_back(range.high);
  return edges;
}

// The bin b (1 ... bins) with edges[b - 1] < mz <= edges[b], or 0 when there
// is none (at or below the first edge, above the last, NaN). The only
// candidate is ceil((mz - low) / width), with the width of the first bin; the
// bin's own test decides, and should rounding put the candidate off by one, a
// binary search finds the lowest edge not below mz, which is then the only
// candidate.
int binOf(double mz, const std::vector<double>& edges) {
  const int bins = static_cast<int>(edges.size()) - 1;
  if (!(edges[0] < mz && mz <= edges[bins])) return 0;
  int b = static_cast<int>(std::ceil((mz - edges[0]) / (edges[1] - edges[0])));
  if (b >= 1 && b <= bins && edges[b - 1] < mz && mz <= edges[b]) return b;
  b = static_cast<int>(std::lower_bound(edges.begin(), edges.end(), mz) - edges.begin());
  return b >= 1 && b <= bins && edges[b - 1] < mz && mz <= edges[b] ? b : 0;
}

// Each peak is added to its own bin in list order, which is the order in which
// a pass per bin would add them.
void binBySearch(const scan& spectrum, const std::vector<double>& edges, std::vector<double>& sums,
                 std::vector<char>& occupied) {
  for (const StoredPeak& peak : spectrum.peaks) {
    const int b = binOf(peak.mz, edges);
    if (b == 0) continue;
    sums[b] += peak.intensity;
    occupied[b] = 1;
  }
}

// One row: the spectrum's rt, then per bin the summed intensity of its peaks
// (two decimals), or "0.0" when none fell in.
std::string mapRow(const scan& spectrum, const std::vector<double>& sums, const std::vector<char>& occupied) {
  const std::size_t bins = sums.size() - 1;
  std::string line;
  line.reserve(4 * bins + 32);
  appendFixed(line, spectrum.rt, 2);
  line += '\t';
  for (std::size_t b = 1; b <= bins; ++b) {
    if (occupied[b]) {
      appendFixed(line, sums[b], 2);
      line += '\t';
    } else {
      line += "0.0\t";
    }
  }
  line += '\n';
  return line;
}

}  // namespace

bool writeBinnedMap(const RunData& run, const char* path, MapBinning binning, const MapRange& range) {
  const std::vector<double> edges = binEdges(range);
  const std::size_t bins = edges.size() - 1;
  ReportFile report(path);
  if (!report.isOpen()) return report.close();  // nothing to write into

  report.endLine(binnedMapHead(std::vector<double>(edges.begin(), edges.end() - 1)));

  std::vector<double> sums;
  std::vector<char> occupied;
  for (const scan& spectrum : run.scans) {
    sums.assign(bins + 1, 0.0);
    occupied.assign(bins + 1, 0);
    binning(spectrum, edges, sums, occupied);
    report.endLine(mapRow(spectrum, sums, occupied));
  }
  return report.close();
}

bool writeMap(const RunData& run, const char* path, const MapRange& range) {
  return writeBinnedMap(run, path, binBySearch, range);
}
