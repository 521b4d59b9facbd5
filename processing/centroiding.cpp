#include "processing/centroiding.h"

#include <algorithm>
#include <cmath>

#include "util/parallel_for.h"

namespace {

// The spacings examined on each side of one when judging it a gap.
constexpr std::size_t kGapReach = 3;

// The points that can take part, in m/z order: finite m/z and intensity, a
// negative intensity counted as 0.
std::vector<StoredPeak> usablePoints(const std::vector<StoredPeak>& points) {
  std::vector<StoredPeak> usable;
  usable.reserve(points.size());
  for (const StoredPeak& p : points) {
    if (!std::isfinite(p.mz) || !std::isfinite(p.intensity)) continue;
    usable.emplace_back(p.mz, p.intensity > 0 ? p.intensity : 0.0);
  }
  if (!std::is_sorted(usable.begin(), usable.end(),
                      [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; })) {
    std::stable_sort(usable.begin(), usable.end(),
                     [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
  }
  return usable;
}

// gap[i]: the spacing from point i to point i + 1 is a gap.
std::vector<bool> findGaps(const std::vector<StoredPeak>& p, double factor) {
  const std::size_t n = p.size();
  std::vector<bool> gap(n, false);
  if (n < 2) return gap;
  std::vector<double> spacing(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) spacing[i] = p[i + 1].mz - p[i].mz;
  // The reference is the second smallest spacing between two points of
  // signal: the zeros that converters put at a stretch's ends need not lie on
  // the grid (Thermo's can sit a fraction of a spacing from the last point of
  // signal, even before it), and where two stretches were stitched together
  // one spacing can be a tenth of the others; either would make every true
  // spacing nearby look like a gap.
  const auto smallestIn = [&](std::size_t from, std::size_t to, bool signalOnly) {
    double smallest = 0;
    double second = 0;
    for (std::size_t k = from; k < to; ++k) {
      if (!(spacing[k] > 0)) continue;
      if (signalOnly && !(p[k].intensity > 0 && p[k + 1].intensity > 0)) continue;
      if (smallest == 0 || spacing[k] < smallest) {
        second = smallest;
        smallest = spacing[k];
      } else if (second == 0 || spacing[k] < second) {
        second = spacing[k];
      }
    }
    return second > 0 ? second : smallest;
  };
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const std::size_t from = i >= kGapReach ? i - kGapReach : 0;
    const std::size_t to = std::min(spacing.size(), i + kGapReach + 1);
    double smallest = smallestIn(from, to, true);
    if (smallest == 0) smallest = smallestIn(from, to, false);
    gap[i] = smallest > 0 && spacing[i] > factor * smallest;
  }
  return gap;
}

// Vertex of the parabola through (x0, y0), (x1, y1), (x2, y2) with x0 < x1 < x2
// and y1 the highest: its m/z and height. A flat or straight top gives the middle point.
void parabolaVertex(const StoredPeak& a, const StoredPeak& b, const StoredPeak& c, double& mz,
                    double& height) {
  mz = b.mz;
  height = b.intensity;
  const double d0 = a.mz - b.mz;  // < 0
  const double d2 = c.mz - b.mz;  // > 0
  const double s0 = (a.intensity - b.intensity) / d0;
  const double s2 = (c.intensity - b.intensity) / d2;
  // y = b + slope * d + curvature * d^2 about the apex.
  const double curvature = (s2 - s0) / (d2 - d0);
  if (!(curvature < 0)) return;
  const double slope = s0 - curvature * d0;
  double offset = -slope / (2 * curvature);
  // The vertex lies between the neighbours when the apex is the highest;
  // clamped there against rounding.
  offset = std::min(std::max(offset, d0), d2);
  mz = b.mz + offset;
  height = std::max(b.intensity, b.intensity + slope * offset + curvature * offset * offset);
}

}  // namespace

std::vector<StoredPeak> centroidProfile(const std::vector<StoredPeak>& points,
                                        const CentroidSettings& settings) {
  const std::vector<StoredPeak> p = usablePoints(points);
  const std::vector<bool> gap = findGaps(p, settings.gapFactor);
  std::vector<StoredPeak> centroids;
  const std::size_t n = p.size();
  // Linked to its neighbours: no gap between (a zero is a point like any other,
  // and ends a peak by being its minimum).
  const auto linkedLeft = [&](std::size_t i) { return i > 0 && !gap[i - 1]; };
  const auto linkedRight = [&](std::size_t i) { return i + 1 < n && !gap[i]; };
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (!linkedLeft(i) || !linkedRight(i)) continue;
    const double y = p[i].intensity;
    if (!(y > p[i - 1].intensity) || y < p[i + 1].intensity) continue;
    // The extent: down to the minimum on each side.
    std::size_t left = i;
    while (linkedLeft(left) && p[left - 1].intensity < p[left].intensity) --left;
    std::size_t right = i;
    while (linkedRight(right) && p[right + 1].intensity == y) ++right;  // a flat top
    while (linkedRight(right) && p[right + 1].intensity < p[right].intensity) ++right;
    std::size_t positive = 0;
    for (std::size_t k = left; k <= right; ++k) positive += p[k].intensity > 0 ? 1 : 0;
    if (positive < settings.minPoints) continue;

    double mz = 0;
    double height = 0;
    parabolaVertex(p[i - 1], p[i], p[i + 1], mz, height);
    if (settings.mz == CentroidSettings::Mz::HalfHeightMean) {
      const double half = y / 2;
      std::size_t from = i;
      while (from > left && p[from - 1].intensity >= half) --from;
      std::size_t to = i;
      while (to < right && p[to + 1].intensity >= half) ++to;
      double weighted = 0;
      double total = 0;
      for (std::size_t k = from; k <= to; ++k) {
        weighted += p[k].mz * p[k].intensity;
        total += p[k].intensity;
      }
      mz = weighted / total;
    }
    centroids.emplace_back(mz, height);
  }
  return centroids;
}

std::size_t centroidProfileSpectra(std::vector<scan>& spectra, const CentroidSettings& settings) {
  const auto count =
      static_cast<std::size_t>(std::count_if(spectra.begin(), spectra.end(), needsCentroiding));
  // Each spectrum on its own: the result is the same for every number of threads.
  parallelFor(spectra.size(), workerCount(), [&](std::size_t i, std::size_t) {
    scan& spectrum = spectra[i];
    if (!needsCentroiding(spectrum)) return;
    spectrum.peaks = centroidProfile(spectrum.peaks, settings);
    spectrum.representation = SpectrumRepresentation::Centroid;
  });
  return count;
}

const std::vector<scan>& centroidedSpectra(const std::vector<scan>& spectra, std::vector<scan>& own,
                                           std::size_t& centroided) {
  centroided = static_cast<std::size_t>(std::count_if(spectra.begin(), spectra.end(), needsCentroiding));
  if (centroided == 0) return spectra;
  // The copy never holds a whole run's profile points: each profile spectrum
  // is copied only while it is centroided.
  own.assign(spectra.size(), scan());
  const CentroidSettings settings;
  parallelFor(spectra.size(), workerCount(), [&](std::size_t i, std::size_t) {
    const scan& spectrum = spectra[i];
    own[i] = spectrum;
    if (!needsCentroiding(spectrum)) return;
    own[i].peaks = centroidProfile(spectrum.peaks, settings);
    own[i].representation = SpectrumRepresentation::Centroid;
  });
  return own;
}
