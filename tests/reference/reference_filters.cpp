#include "tests/reference/reference_filters.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "processing/spectral_filter.h"
#include "report/binned_map.h"
#include "report/summary_report.h"
#include "util/compaction.h"
#include "util/mass_window.h"

namespace reference {

namespace {

// survivingFeatures as a pairwise pass over a list, erasing from the middle and
// starting again at the same position when the later entry wins.
std::vector<bool> pairwiseSurvivors(const std::vector<FeatureKey>& features, double daltons,
                                    double timeTolerance, double massPpm) {
  std::vector<std::size_t> list(features.size());
  for (std::size_t k = 0; k < list.size(); ++k) list[k] = k;
  std::size_t i = 0;
  while (i + 1 < list.size()) {
    bool restart = false;
    std::size_t j = i + 1;
    while (j < list.size()) {
      const FeatureKey& first = features[list[i]];
      const FeatureKey& second = features[list[j]];
      const double massTolerance = massWindow(second.mass, daltons, massPpm);
      if (first.area == second.area) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
      } else if (first.precursorMz == second.precursorMz && second.mass - massTolerance < first.mass &&
                 first.mass < second.mass + massTolerance && second.rt - timeTolerance < first.rt &&
                 first.rt < second.rt + timeTolerance) {
        if (second.area > first.area) {
          list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
          restart = true;
          break;
        }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
      } else {
        ++j;
      }
    }
    if (!restart) ++i;
  }
  std::vector<bool> remaining(features.size(), false);
  for (std::size_t k : list) remaining[k] = true;
  return remaining;
}

// One pass over the peaks per bin.
void binByScan(const scan& spectrum, const std::vector<double>& edges, std::vector<double>& sums,
               std::vector<char>& occupied) {
  for (std::size_t b = 1; b < edges.size(); ++b) {
    for (const StoredPeak& peak : spectrum.peaks) {
      if (edges[b - 1] < peak.mz && peak.mz <= edges[b]) {
        sums[b] += peak.intensity;
        occupied[b] = 1;
      }
    }
  }
}

}  // namespace

void deIsotope(const filterer& params, fileHandle& run) {
  filterer rules = params;  // isIsotope with the run's tolerance
  const double intensityCutoff = params.cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const FilterFloors floors(intensityCutoff, spectrum);
    std::vector<datapeak> keptPeaks;
    keptPeaks.reserve(oldCount);

    for (const StoredPeak& original : spectrum.peaks) {
      datapeak peak = original;
      const bool intenseEnough = floors.passes(peak);
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (!rules.isIsotope(peak, keptPeaks[k])) continue;
        const std::ptrdiff_t root =
            keptPeaks[k].isotope ? keptPeaks[k].parent : static_cast<std::ptrdiff_t>(k);
        peak.parent = root;
        keptPeaks[static_cast<std::size_t>(root)].intensity += peak.intensity;
        peak.isotope = true;
      }
      keptPeaks.push_back(peak);
    }

    keepUnlessDropped(keptPeaks, [&keptPeaks](std::size_t k) { return keptPeaks[k].isotope; });
    spectrum.peaks.assign(keptPeaks.begin(), keptPeaks.end());
    reportThinnedSpectrum(spectrum, "deisotoping", oldCount);
  }
}

void removeH2O(const filterer& params, fileHandle& run) {
  filterer rules = params;
  const double intensityCutoff = params.cutoff;
  for (scan& spectrum : run.scans) {
    const std::size_t oldCount = spectrum.peaks.size();
    const FilterFloors floors(intensityCutoff, spectrum);
    std::vector<datapeak> keptPeaks;  // in reverse list order
    keptPeaks.reserve(oldCount);

    for (std::size_t index = oldCount; index-- > 0;) {
      datapeak peak = spectrum.peaks[index];
      const bool intenseEnough = floors.passes(peak);
      bool absorbed = false;
      for (std::size_t k = 0; intenseEnough && k < keptPeaks.size(); ++k) {
        if (rules.isOLoss(peak, keptPeaks[k]) || rules.isH2OLoss(peak, keptPeaks[k])) {
          keptPeaks[k].intensity += peak.intensity;
          absorbed = true;
        }
      }
      if (!absorbed) keptPeaks.push_back(peak);
    }

    spectrum.peaks.assign(keptPeaks.rbegin(), keptPeaks.rend());
    reportThinnedSpectrum(spectrum, "Loss", oldCount);
  }
}

void cullXIC(const filterer& params, fileHandle& run) {
  const double timeWindow = 60 * params.timeTolerance;
  const double areaFloor = static_cast<double>(std::int64_t{5} * params.cutoff);

  for (channel& transition : run.channels) {
    std::vector<chrom> survivors;
    for (const chrom& candidate : transition.chroms) {
      bool matched = false;
      for (chrom& survivor : survivors) {
        const double massTolerance = params.massWindowAt(survivor.peakMz);
        if (candidate.peakMz > survivor.peakMz - massTolerance &&
            candidate.peakMz < survivor.peakMz + massTolerance &&
            candidate.apexTime > survivor.apexTime - timeWindow &&
            candidate.apexTime < survivor.apexTime + timeWindow) {
          if (candidate.area > survivor.area) survivor = candidate;
          matched = true;
          break;
        }
      }
      if (!matched && candidate.area > areaFloor) survivors.push_back(candidate);
    }
    transition.chroms = std::move(survivors);
  }
}

bool exportSum(const fileHandle& run, const char* path, float timeTolerance, float massTolerance,
               float cutoff, double massPpm) {
  return writeSummary(run, path, timeTolerance, massTolerance, cutoff, pairwiseSurvivors, massPpm);
}

bool exportMap(const fileHandle& run, const char* path) { return writeBinnedMap(run, path, binByScan); }

}  // namespace reference
