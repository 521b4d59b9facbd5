#include <string>
#include <vector>

#include "input/console.h"
#include "run/file_handle.h"
#include "run/report_file.h"

namespace {

constexpr int kBins = 500;  // bins of 1 m/z from 400 to 900

// The 501 bin edges 400 ... 900. The lower 500 come from a single-precision
// accumulator stepping by 1.0, each widened to double; the last is 900.0.
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

// One row: the spectrum's rt, then per bin (lower, upper] the summed intensity
// of its peaks, or "0.0" when none fell in. Every bin looks at every peak.
std::string mapRow(const scan& spectrum, const std::vector<double>& edges) {
  std::string line = console::fixed(spectrum.rt, 2) + "\t";
  for (int b = 1; b <= kBins; ++b) {
    double sum = 0;
    bool occupied = false;
    for (const datapeak& peak : spectrum.peaks) {
      if (edges[b - 1] < peak.mz && peak.mz <= edges[b]) {
        sum += peak.intensity;
        occupied = true;
      }
    }
    line += occupied ? console::fixed(sum, 2) + "\t" : std::string("0.0\t");
  }
  return line + "\n";
}

}  // namespace

bool fileHandle::exportMap(const char* path) {
  const std::vector<double> edges = binEdges();
  ReportFile report(path);
  if (!report.isOpen()) return report.close();  // nothing to write into

  std::string head = "\t";
  for (int b = 0; b < kBins; ++b) head += console::general(edges[b]) + "\t";
  report.endLine(head + "\n");

  for (const scan& spectrum : scans) report.endLine(mapRow(spectrum, edges));
  return report.close();
}
