// Peak picking and extracted-ion chromatogram generation.
#include <cstddef>
#include <cstdint>

#include "processing/filterer.h"
#include "run/file_handle.h"

void filterer::pickPeaks(scan* spectrum, std::vector<datapeak>& out) {
  if (spectrum == nullptr) return;
  const double intensityFloor = static_cast<double>(cutoff);
  for (datapeak& peak : spectrum->peaks) {
    if (!(peak.intensity > intensityFloor)) continue;
    // A spectrum without a stated total ion current (0) passes any positive peak.
    if (!(peak.intensity > 0.025 * spectrum->totIonCurrent)) continue;
    // The picked peak remembers its spectrum's time, in the spectrum as well as in the copy.
    peak.rt = spectrum->rt;
    out.push_back(peak);
  }
}

namespace {

// Sum of the intensities of the peaks of `spectrum` whose m/z lies strictly
// within `tolerance` of `targetMz`, in stored peak order.
double traceSumInWindow(const scan& spectrum, double targetMz, double tolerance) {
  double sum = 0.0;
  for (const datapeak& peak : spectrum.peaks) {
    if (targetMz > peak.mz - tolerance && targetMz < peak.mz + tolerance) sum += peak.intensity;
  }
  return sum;
}

}  // namespace

void filterer::generateXIC(fileHandle& run) {
  for (channel& ch : run.channels) {
    if (ch.scans.empty()) continue;
    const std::size_t spectrumCount = ch.scans.size();
    bool targetsUsed = false;
    // Without a target list every spectrum of the channel is picked in turn;
    // with one, a single pass builds one chromatogram per target.
    for (std::size_t pass = 0; pass < spectrumCount && !targetsUsed; ++pass) {
      scan& seedSpectrum = run.scans.at(ch.scans.at(pass));
      std::vector<datapeak> seeds = run.targetPeaks;
      if (seeds.empty()) {
        pickPeaks(&seedSpectrum, seeds);
      } else {
        targetsUsed = true;
      }

      for (const datapeak& seed : seeds) {
        chrom X;
        X.mz = seed.mz;
        X.seedIntensity = seed.intensity;
        X.seedTime = seedSpectrum.rt;
        X.seedScan = static_cast<std::int32_t>(seedSpectrum.num);
        X.times.reserve(spectrumCount);
        X.intensities.reserve(spectrumCount);
        X.scanNumbers.reserve(spectrumCount);
        for (std::size_t index : ch.scans) {
          const scan& spectrum = run.scans.at(index);
          X.times.push_back(spectrum.rt);
          X.scanNumbers.push_back(static_cast<std::int32_t>(spectrum.num));
          const double sum = traceSumInWindow(spectrum, seed.mz, massTolerance);
          X.intensities.push_back(sum);
          X.totalIntensity += sum;
        }
        ch.chroms.push_back(std::move(X));
      }
    }
  }
}
