#include "compounds/ms2_linkage.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

double windowAt(double mz, const Ms2LinkOptions& options) {
  return std::max(mz * options.ppm * 1e-6, options.minDaltons);
}

}  // namespace

std::vector<std::vector<std::size_t>> linkTandemScans(const std::vector<LinkedFeature>& features,
                                                      const std::vector<TandemScan>& scans,
                                                      const Ms2LinkOptions& options) {
  std::vector<std::size_t> byMz(features.size());
  std::iota(byMz.begin(), byMz.end(), 0);
  std::stable_sort(byMz.begin(), byMz.end(),
                   [&](std::size_t a, std::size_t b) { return features[a].mz < features[b].mz; });
  std::vector<double> sortedMz(byMz.size());
  for (std::size_t k = 0; k < byMz.size(); ++k) sortedMz[k] = features[byMz[k]].mz;

  auto inTime = [&](const LinkedFeature& feature, double rt) {
    return rt >= feature.rtStart && rt <= feature.rtEnd;
  };
  std::vector<std::size_t> owner(scans.size(), kNone);
  for (std::size_t s = 0; s < scans.size(); ++s) {
    const TandemScan& scan = scans[s];
    if (!(scan.precursorMz > 0)) continue;
    const double reach = windowAt(scan.precursorMz, options) * 1.01;
    std::size_t best = kNone;
    double bestError = 0;
    auto k = static_cast<std::size_t>(
        std::lower_bound(sortedMz.begin(), sortedMz.end(), scan.precursorMz - reach) - sortedMz.begin());
    for (; k < sortedMz.size() && sortedMz[k] <= scan.precursorMz + reach; ++k) {
      const LinkedFeature& feature = features[byMz[k]];
      const double error = std::fabs(feature.mz - scan.precursorMz);
      if (error > windowAt(feature.mz, options) || !inTime(feature, scan.rt)) continue;
      if (best == kNone || error < bestError ||
          (error == bestError && feature.intensity > features[best].intensity)) {
        best = byMz[k];
        bestError = error;
      }
    }
    if (best == kNone && scan.isolationHigh > scan.isolationLow) {
      k = static_cast<std::size_t>(std::lower_bound(sortedMz.begin(), sortedMz.end(), scan.isolationLow) -
                                   sortedMz.begin());
      for (; k < sortedMz.size() && sortedMz[k] <= scan.isolationHigh; ++k) {
        const LinkedFeature& feature = features[byMz[k]];
        if (!inTime(feature, scan.rt)) continue;
        if (best == kNone || feature.intensity > features[best].intensity) best = byMz[k];
      }
    }
    owner[s] = best;
  }
  std::vector<std::vector<std::size_t>> linked(features.size());
  std::vector<std::size_t> byTime(scans.size());
  std::iota(byTime.begin(), byTime.end(), 0);
  std::stable_sort(byTime.begin(), byTime.end(),
                   [&](std::size_t a, std::size_t b) { return scans[a].rt < scans[b].rt; });
  for (std::size_t s : byTime) {
    if (owner[s] != kNone) linked[owner[s]].push_back(s);
  }
  return linked;
}
