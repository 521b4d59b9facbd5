#include "import/srm_spectra.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "util/console.h"
#include "util/decimal_text.h"

namespace {

// Shortest text that reads back as the same double, never in exponent form
// for the masses and energies of a filter line.
std::string exact(double value) { return exactDecimal(value, 6); }

std::string filterLineOf(const SrmChromatogram& chromatogram) {
  return (chromatogram.polarity == "-" ? "- " : "+ ") + std::string("c chromatogram SRM ms2 ") +
         exact(chromatogram.precursorMz) + "@cid" + exact(chromatogram.collisionEnergy) + " [" +
         exact(chromatogram.productLow) + "-" + exact(chromatogram.productHigh) + "]";
}

std::string baseName(const std::string& path) {
  std::size_t start = 0;
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash != 0) start = slash + 1;
  const std::size_t backslash = path.rfind('\\');
  if (backslash != std::string::npos && backslash > start) start = backslash + 1;
  return path.substr(start);
}

}  // namespace

void appendSrmSpectra(const std::vector<SrmChromatogram>& chromatograms, const std::string& path,
                      IdClaims& ids, std::int64_t& pushCount, std::vector<scan>& spectra) {
  struct Point {
    double time;
    std::size_t chromatogram;
    std::size_t index;
  };
  std::vector<Point> points;
  for (std::size_t c = 0; c < chromatograms.size(); ++c) {
    for (std::size_t i = 0; i < chromatograms[c].times.size(); ++i) {
      points.push_back({chromatograms[c].times[i], c, i});
    }
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const Point& a, const Point& b) { return a.time < b.time; });

  std::vector<std::string> filterLines;
  for (const SrmChromatogram& chromatogram : chromatograms) filterLines.push_back(filterLineOf(chromatogram));
  const std::string name = baseName(path);
  spectra.reserve(spectra.size() + points.size());
  std::int64_t number = 0;
  for (const Point& point : points) {
    const SrmChromatogram& chromatogram = chromatograms[point.chromatogram];
    scan spectrum;
    spectrum.num = static_cast<std::int32_t>(++number);
    spectrum.id = ids.claim(spectrum.num);
    spectrum.msLevel = 2;
    spectrum.rt = point.time;
    spectrum.scanType = "SRM";
    spectrum.polarity = chromatogram.polarity;
    spectrum.filterLine = filterLines[point.chromatogram];
    spectrum.precursorMz = chromatogram.precursorMz;
    spectrum.lowMz = chromatogram.productLow;
    spectrum.highMz = chromatogram.productHigh;
    spectrum.peaksCount = 1;
    spectrum.peaks.emplace_back(static_cast<float>(chromatogram.productMz),
                                chromatogram.intensities[point.index]);
    spectrum.description = name + " scan " + std::to_string(spectrum.num) + " (charge 0)";
    spectra.push_back(std::move(spectrum));
    if (++pushCount == 2000) {
      console::outFlush(".");
      pushCount = 0;
    }
  }
}
