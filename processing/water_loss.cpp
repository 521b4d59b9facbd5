#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "processing/filterer.h"
#include "processing/peak_mz_index.h"
#include "processing/spectral_filter.h"
#include "records/run_data.h"
#include "util/compaction.h"

namespace {

constexpr double kLossWindow = 0.5;  // half-width of the loss window, daltons
constexpr double kOxygenLoss = 16.0;
constexpr double kWaterLoss = 18.0;
// With windows in ppm the losses are the exact monoisotopic masses: the
// nominal ones are off by 0.005 (O) and 0.011 (H2O), far beyond a ppm window.
constexpr double kExactOxygenLoss = 15.9949146;
constexpr double kExactWaterLoss = 18.0105647;

// Half-width of the loss window around a candidate: a fixed half dalton, or
// the run's ppm of the candidate's m/z.
double lossWindow(const filterer& processor, double candidateMz) {
  return processor.massPpm > 0 ? processor.massWindowAt(candidateMz) : kLossWindow;
}

double oxygenLoss(const filterer& processor) {
  return processor.massPpm > 0 ? kExactOxygenLoss : kOxygenLoss;
}
double waterLoss(const filterer& processor) { return processor.massPpm > 0 ? kExactWaterLoss : kWaterLoss; }

// True when `candidate` lies `loss` below `parent` within `window` and the
// parent is the more intense.
bool isLoss(const datapeak& candidate, const datapeak& parent, double loss, double window) {
  const double expected = parent.mz - loss;
  return candidate.mz - window < expected && expected < candidate.mz + window &&
         parent.intensity > candidate.intensity;
}

}  // namespace

bool filterer::isOLoss(datapeak& candidate, datapeak& parent) {
  return isLoss(candidate, parent, oxygenLoss(*this), lossWindow(*this, candidate.mz));
}

bool filterer::isH2OLoss(datapeak& candidate, datapeak& parent) {
  return isLoss(candidate, parent, waterLoss(*this), lossWindow(*this, candidate.mz));
}

// Folds each spectrum's oxygen (16) and water (18) losses into the stronger
// peaks they came from. Peaks are visited from the end of the list, so only
// peaks later in the list can absorb one; a peak may feed several of them and
// is then removed once.
//
// The kept entries are the spectrum's own later peaks that were not absorbed,
// taken from the last to the first; they gain intensity in place. An absorbed
// peak gives its intensity only to later peaks, so every peak still has its
// own intensity when its turn comes. Only peaks above both intensity floors are
// compared, and of the kept entries only those 16 or 18 above within the window
// can absorb: an m/z index finds exactly those (k with p.mz - 0.5 < k.mz - loss
// < p.mz + 0.5), and they are tested in kept order (from the end of the list).
void filterer::removeH2O(RunData& run) {
  const double intensityCutoff = cutoff;
  PeakMzIndex index;
  std::vector<std::size_t> candidates;
  std::vector<char> absorbed;
  std::vector<datapeak> peaks;
  for (scan& spectrum : run.scans) {
    peaks.assign(spectrum.peaks.begin(), spectrum.peaks.end());
    const std::size_t oldCount = peaks.size();
    const FilterFloors floors(intensityCutoff, spectrum);
    absorbed.assign(oldCount, 0);
    bool indexed = false;

    for (std::size_t current = oldCount; current-- > 0;) {
      datapeak& peak = peaks.at(current);
      if (!floors.passes(peak)) continue;
      if (!indexed) {
        index.build(peaks);
        indexed = true;
      }
      candidates.clear();
      const double window = lossWindow(*this, peak.mz);
      const double low = peak.mz - window;
      const double high = peak.mz + window;
      const double losses[] = {oxygenLoss(*this), waterLoss(*this)};
      for (std::size_t kind = 0; kind < 2; ++kind) {
        const double loss = losses[kind];
        index.collect(
            kind, peaks, [loss](double mz) { return mz - loss; }, low, high, candidates);
      }
      std::sort(candidates.begin(), candidates.end(), std::greater<std::size_t>());
      candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

      bool matched = false;
      for (std::size_t k : candidates) {
        if (k <= current) break;  // only later peaks are kept entries
        if (absorbed[k]) continue;
        datapeak& kept = peaks.at(k);
        if (isOLoss(peak, kept) || isH2OLoss(peak, kept)) {
          kept.intensity += peak.intensity;
          matched = true;
        }
      }
      if (matched) absorbed[current] = 1;
    }

    // Survivors in their list order, with their summed intensities.
    // A fold raises a kept peak only by dropping the folded one, so an unchanged
    // count means an unchanged spectrum.
    if (keepUnlessDropped(peaks, [&absorbed](std::size_t k) { return absorbed[k] != 0; }) != oldCount) {
      spectrum.peaks.assign(peaks.begin(), peaks.end());
    }
    reportThinnedSpectrum(spectrum, "Loss", oldCount);
  }
}
