#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "input/console.h"
#include "processing/filterer.h"
#include "run/file_handle.h"

namespace {

// Isotope steps for charge 1, 2 and 3, tried in this order.
constexpr double kIsotopeSteps[] = {1.002513, 0.5012565, 0.334171};

}  // namespace

bool filterer::isIsotope(datapeak& candidate, datapeak& lighter) {
  for (double step : kIsotopeSteps) {
    const double expected = lighter.mz + step;
    if (candidate.mz - massTolerance < expected && expected < candidate.mz + massTolerance &&
        lighter.intensity > candidate.intensity) {
      return true;
    }
  }
  return false;
}

// Folds each spectrum's isotope peaks into their root peak. Every peak is
// compared with every earlier kept entry, folded ones included, so a chain of
// isotopes reaches back to one root; a peak matching several entries adds its
// intensity to the root of each. Folded peaks leave the spectrum.
void filterer::deIsotope(fileHandle& run) {
  const double intensityCutoff = cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const double ticFloor = 0.005 * spectrum.totIonCurrent;
    std::vector<datapeak> keptPeaks;
    keptPeaks.reserve(oldCount);

    for (const datapeak& original : spectrum.peaks) {
      datapeak peak = original;
      const bool intenseEnough = peak.intensity > intensityCutoff && peak.intensity > ticFloor;
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (!isIsotope(peak, keptPeaks[k])) continue;
        const std::ptrdiff_t root = keptPeaks[k].isotope ? keptPeaks[k].parent : static_cast<std::ptrdiff_t>(k);
        peak.parent = root;
        keptPeaks[static_cast<std::size_t>(root)].intensity += peak.intensity;
        peak.isotope = true;
      }
      keptPeaks.push_back(peak);
    }

    std::vector<datapeak> survivors;
    survivors.reserve(keptPeaks.size());
    for (const datapeak& peak : keptPeaks) {
      if (!peak.isotope) survivors.push_back(peak);
    }
    spectrum.peaks = std::move(survivors);

    const std::size_t newCount = spectrum.peaks.size();
    if (newCount != oldCount) {
      console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after deisotoping: " +
                        std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
    }
  }
}
