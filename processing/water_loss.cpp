#include <cstddef>
#include <string>
#include <vector>

#include "input/console.h"
#include "processing/filterer.h"
#include "run/file_handle.h"

namespace {

constexpr double kLossWindow = 0.5;  // half-width of the loss window, daltons

// True when `candidate` lies `loss` below `parent` within the window and the
// parent is the more intense.
bool isLoss(const datapeak& candidate, const datapeak& parent, double loss) {
  const double expected = parent.mz - loss;
  return candidate.mz - kLossWindow < expected && expected < candidate.mz + kLossWindow &&
         parent.intensity > candidate.intensity;
}

}  // namespace

bool filterer::isOLoss(datapeak& candidate, datapeak& parent) { return isLoss(candidate, parent, 16.0); }

bool filterer::isH2OLoss(datapeak& candidate, datapeak& parent) { return isLoss(candidate, parent, 18.0); }

// Folds each spectrum's oxygen (16) and water (18) losses into the stronger
// peaks they came from. Peaks are visited from the end of the list, so only
// peaks later in the list can absorb one; a peak may feed several of them and
// is then removed once.
void filterer::removeH2O(fileHandle& run) {
  const double intensityCutoff = cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const double ticFloor = 0.005 * spectrum.totIonCurrent;
    std::vector<datapeak> keptPeaks;  // in reverse list order
    keptPeaks.reserve(oldCount);

    for (std::size_t index = oldCount; index-- > 0;) {
      datapeak peak = spectrum.peaks[index];
      const bool intenseEnough = peak.intensity > intensityCutoff && peak.intensity > ticFloor;
      bool absorbed = false;
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (isOLoss(peak, keptPeaks[k]) || isH2OLoss(peak, keptPeaks[k])) {
          keptPeaks[k].intensity += peak.intensity;
          absorbed = true;
        }
      }
      if (!absorbed) keptPeaks.push_back(peak);
    }

    spectrum.peaks.assign(keptPeaks.rbegin(), keptPeaks.rend());

    const std::size_t newCount = spectrum.peaks.size();
    if (newCount != oldCount) {
      console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after Loss: " +
                        std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
    }
  }
}
