// centroid_dump: the centroids torva's resolver pipeline takes from each spectrum of a run, for comparison
// with another peak picker (bench/compare_centroids.py). Reads one mzXML, mzML or mzData file, centroids
// the spectra it marks as profile (processing/centroiding.h) and writes one line per centroid:
// scan number, MS level, analyzer (the filter line's first word, or ?), retention time (s), representation as
// read (profile, centroid, unknown), m/z, intensity. `--mean` places the centroids by the half-height mean
// instead of the parabola; `--raw` writes every spectrum's points as read.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "processing/centroiding.h"
#include "store/file_handle.h"
#include "util/console.h"

namespace {

// Standard output is the table's: the reader's progress dots are dropped, its messages kept.
class QuietOut final : public console::Sink {
 public:
  void out(const std::string&) override {}
  void flush() override {}
  void err(const std::string& text) override { std::fputs(text.c_str(), stderr); }
};

}  // namespace

int main(int argc, char** argv) {
  CentroidSettings settings;
  bool raw = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--mean") == 0) {
      settings.mz = CentroidSettings::Mz::HalfHeightMean;
    } else if (std::strcmp(argv[i], "--raw") == 0) {
      raw = true;
    } else {
      path = argv[i];
    }
  }
  if (path == nullptr) {
    std::fputs("Usage: centroid_dump [--mean] [--raw] <run.mzXML|run.mzML|run.mzData>\n", stderr);
    return 1;
  }
  QuietOut quiet;
  console::setSink(&quiet);
  fileHandle run;
  if (!run.importFile(path, 1) || run.scans.empty()) {
    std::fprintf(stderr, "centroid_dump: %s: no spectra read\n", path);
    return 2;
  }
  std::printf("num\tms_level\tanalyzer\trt\trepresentation\tmz\tintensity\n");
  for (const scan& spectrum : run.scans) {
    const char* as = spectrum.representation == SpectrumRepresentation::Profile    ? "profile"
                     : spectrum.representation == SpectrumRepresentation::Centroid ? "centroid"
                                                                                   : "unknown";
    const std::string analyzer =
        spectrum.filterLine.empty() ? "?" : spectrum.filterLine.substr(0, spectrum.filterLine.find(' '));
    const std::vector<StoredPeak> peaks =
        !raw && needsCentroiding(spectrum) ? centroidProfile(spectrum.peaks, settings) : spectrum.peaks;
    for (const StoredPeak& p : peaks) {
      std::printf("%lld\t%lld\t%s\t%.6f\t%s\t%.8f\t%.6g\n", static_cast<long long>(spectrum.num),
                  static_cast<long long>(spectrum.msLevel), analyzer.c_str(), spectrum.rt, as, p.mz,
                  p.intensity);
    }
  }
  return 0;
}
