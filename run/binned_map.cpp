#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "run/binned_map.h"

#include "util/console.h"
#include "util/decimal_text.h"
#include "run/file_handle.h"
#include "run/report_file.h"

namespace {

constexpr int kBins = kMapBins;

// The 501 bin edges 400 ... 900. The lower 500 come from a single-precision
// accumulator stepping by 1.0, each widened to double; the last is 900.0.
// They rise strictly, so a peak lies in at most one bin.
std::vector<double> binEdges() {
  std::vector<double> edges;
  edges.reserve(kBins + 1);
  float edge = 400.0f;
  for (int b = 0; b < kBins; ++b) {
    edges.push_back(static_cast<double>(edge));
    edge += 1.0f;
  }
  edges.push_back(900.0);
  return edges;
}

// The bin b (1 ... 500) with edges[b - 1] < mz <= edges[b], or 0 when there is
// none (at or below 400, above 900, NaN). The edges are the whole numbers 400 +
// b, so the only candidate is ceil(mz) - 400; the bin's own test decides, and
// should the edges ever not be whole numbers, a binary search finds the lowest
// edge not below mz, which is then the only candidate.
int binOf(double mz, const std::vector<double>& edges) {
  if (!(edges[0] < mz && mz <= edges[kBins])) return 0;
  int b = static_cast<int>(std::ceil(mz)) - 400;
  if (b >= 1 && b <= kBins && edges[b - 1] < mz && mz <= edges[b]) return b;
  b = static_cast<int>(std::lower_bound(edges.begin(), edges.end(), mz) - edges.begin());
  return b >= 1 && b <= kBins && edges[b - 1] < mz && mz <= edges[b] ? b : 0;
}

// Each peak is added to its own bin in list order, which is the order in which
// a pass per bin would add them.
void binBySearch(const scan& spectrum, const std::vector<double>& edges, std::vector<double>& sums,
                 std::vector<char>& occupied) {
  for (const datapeak& peak : spectrum.peaks) {
    const int b = binOf(peak.mz, edges);
    if (b == 0) continue;
    sums[b] += peak.intensity;
    occupied[b] = 1;
  }
}

// One row: the spectrum's rt, then per bin the summed intensity of its peaks
// (two decimals), or "0.0" when none fell in.
std::string mapRow(const scan& spectrum, const std::vector<double>& sums, const std::vector<char>& occupied) {
  std::string line;
  line.reserve(4 * kBins + 32);
  appendFixed(line, spectrum.rt, 2);
  line += '\t';
  for (int b = 1; b <= kBins; ++b) {
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

bool writeBinnedMap(const fileHandle& run, const char* path, MapBinning binning) {
  const std::vector<double> edges = binEdges();
  ReportFile report(path);
  if (!report.isOpen()) return report.close();  // nothing to write into

  std::string head = "\t";
  for (int b = 0; b < kBins; ++b) head += console::general(edges[b]) + "\t";
  report.endLine(head + "\n");

  std::vector<double> sums;
  std::vector<char> occupied;
  for (const scan& spectrum : run.scans) {
    sums.assign(kBins + 1, 0.0);
    occupied.assign(kBins + 1, 0);
    binning(spectrum, edges, sums, occupied);
    report.endLine(mapRow(spectrum, sums, occupied));
  }
  return report.close();
}

bool fileHandle::exportMap(const char* path) { return writeBinnedMap(*this, path, binBySearch); }
