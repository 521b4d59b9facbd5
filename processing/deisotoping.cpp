#include <algorithm>
#include <cstddef>
#include <vector>

#include "processing/filterer.h"
#include "processing/peak_mz_index.h"
#include "processing/spectral_filter.h"
#include "records/run_data.h"
#include "util/compaction.h"

namespace {

// Isotope steps for charge 1, 2 and 3, tried in this order.
constexpr double kIsotopeSteps[] = {1.002513, 0.5012565, 0.334171};
// With windows in ppm the step must be the exact 13C-12C difference
// (1.0033548 / z): the rounded step above is off by more than 10 ppm below m/z 80.
constexpr double kExactIsotopeSteps[] = {1.0033548, 1.0033548 / 2, 1.0033548 / 3};

const double* isotopeSteps(double ppm) { return ppm > 0 ? kExactIsotopeSteps : kIsotopeSteps; }

}  // namespace

bool filterer::isIsotope(datapeak& candidate, datapeak& lighter) {
  const double* steps = isotopeSteps(massPpm);
  for (std::size_t kind = 0; kind < 3; ++kind) {
    const double expected = lighter.mz + steps[kind];
    const double window = massWindowAt(candidate.mz);
    if (candidate.mz - window < expected && expected < candidate.mz + window &&
        lighter.intensity > candidate.intensity) {
      return true;
    }
  }
  return false;
}

// Folds each spectrum's isotope peaks into their root peak. Every peak is
// compared with every earlier peak of the list, folded ones included, so a
// chain of isotopes reaches back to one root; a peak matching several earlier
// peaks adds its intensity to the root of each. Folded peaks leave the spectrum.
//
// The working list of kept peaks is the spectrum's own list: peak k of the list
// is the k-th kept entry, since every peak is kept, folded or not. A fold only
// raises the intensity of a root before the current peak, and the current peak's
// own intensity never changes during its pass, so working in place gives the
// same values. Only peaks above both intensity floors are compared at all, and
// of the earlier peaks only those one isotope step below within the tolerance
// can match: an m/z index finds exactly those (for each step, the peaks k with
// p.mz - tol < k.mz + step < p.mz + tol), and they are tested with isIsotope
// in list order, as a pass over all earlier peaks would test them.
void filterer::deIsotope(RunData& run) {
  const double intensityCutoff = cutoff;
  PeakMzIndex index;
  std::vector<std::size_t> candidates;
  std::vector<datapeak> peaks;
  for (scan& spectrum : run.scans) {
    peaks.assign(spectrum.peaks.begin(), spectrum.peaks.end());
    const std::size_t oldCount = peaks.size();
    const FilterFloors floors(intensityCutoff, spectrum);
    bool indexed = false;

    for (std::size_t current = 0; current < oldCount; ++current) {
      datapeak& peak = peaks.at(current);
      if (!floors.passes(peak)) continue;
      if (!indexed) {
        index.build(peaks);
        indexed = true;
      }
      candidates.clear();
      const double window = massWindowAt(peak.mz);
      const double low = peak.mz - window;
      const double high = peak.mz + window;
      for (std::size_t kind = 0; kind < 3; ++kind) {
        const double step = isotopeSteps(massPpm)[kind];
        index.collect(
            kind, peaks, [step](double mz) { return mz + step; }, low, high, candidates);
      }
      std::sort(candidates.begin(), candidates.end());
      candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

      for (std::size_t k : candidates) {
        if (k >= current) break;  // only peaks earlier in the list are kept entries yet
        datapeak& kept = peaks.at(k);
        if (!isIsotope(peak, kept)) continue;
        const std::ptrdiff_t root = kept.isotope ? kept.parent : static_cast<std::ptrdiff_t>(k);
        peak.parent = root;
        peaks.at(static_cast<std::size_t>(root)).intensity += peak.intensity;
        peak.isotope = true;
      }
    }

    // Survivors: the unfolded peaks, in list order, with their summed intensities.
    // A fold raises a kept peak only by dropping the folded one, so an unchanged
    // count means an unchanged spectrum.
    if (keepUnlessDropped(peaks, [&peaks](std::size_t k) { return peaks[k].isotope; }) != oldCount) {
      spectrum.peaks.assign(peaks.begin(), peaks.end());
    }
    reportThinnedSpectrum(spectrum, "deisotoping", oldCount);
  }
}
