#include "align/drift_search.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// One possible match: the sample feature's time, the reference's time minus
// it, and the pair's weight.
struct Pair {
  double rt = 0;
  double offset = 0;
  double weight = 0;
};

std::vector<Pair> candidatePairs(const std::vector<DriftPoint>& sample, std::vector<DriftPoint>& reference,
                                 const MassTolerance& mass, double maxDrift) {
  const auto byMass = [](const DriftPoint& a, const DriftPoint& b) {
    return std::tie(a.mz, a.rt) < std::tie(b.mz, b.rt);
  };
  std::sort(reference.begin(), reference.end(), byMass);
  std::vector<double> sampleMasses;
  for (const DriftPoint& point : sample) sampleMasses.push_back(point.mz);
  std::sort(sampleMasses.begin(), sampleMasses.end());
  std::vector<Pair> pairs;
  std::vector<double> offsets;
  for (const DriftPoint& point : sample) {
    const double tolerance = mass.at(point.mz);
    auto candidate = std::lower_bound(reference.begin(), reference.end(), point.mz - tolerance,
                                      [](const DriftPoint& p, double mz) { return p.mz < mz; });
    offsets.clear();
    for (; candidate != reference.end() && candidate->mz <= point.mz + tolerance; ++candidate) {
      const double offset = candidate->rt - point.rt;
      if (std::abs(offset) <= maxDrift) offsets.push_back(offset);
    }
    // A mass the sample holds many times (a background ion cut into pieces, a
    // series of isomers) weighs as much as one feature, not as many: its
    // pieces' offsets agree with each other and would outweigh the compounds.
    const auto same = std::upper_bound(sampleMasses.begin(), sampleMasses.end(), point.mz + tolerance) -
                      std::lower_bound(sampleMasses.begin(), sampleMasses.end(), point.mz - tolerance);
    const double weight =
        1.0 / (static_cast<double>(offsets.size()) * static_cast<double>(std::max<long>(1, same)));
    for (double offset : offsets) pairs.push_back(Pair{point.rt, offset, weight});
  }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return std::tie(a.rt, a.offset, a.weight) < std::tie(b.rt, b.offset, b.weight);
  });
  return pairs;
}

// The offset at time `at` from the densest window of offsets 2 x `bandwidth`
// wide (the heaviest; on equal weights the one nearer 0): the straight line
// through that window's pairs (weighted least squares over their times), so
// that a drift that changes within the time window, or a window that lies to
// one side of `at` at the ends of the run, is read at `at` itself. The line
// is kept within the window's offsets.
double densestOffset(std::vector<Pair> window, double bandwidth, double at, double* densest = nullptr) {
  std::sort(window.begin(), window.end(), [](const Pair& a, const Pair& b) {
    return std::tie(a.offset, a.rt, a.weight) < std::tie(b.offset, b.rt, b.weight);
  });
  double bestWeight = -1;
  double bestCentre = 0;
  std::size_t bestLeft = 0;
  std::size_t bestRight = 0;
  double weight = 0;
  std::size_t right = 0;
  for (std::size_t left = 0; left < window.size(); ++left) {
    while (right < window.size() && window[right].offset - window[left].offset <= 2 * bandwidth) {
      weight += window[right].weight;
      ++right;
    }
    const std::size_t middle = left + (right - left) / 2;
    const double centre = (right - left) % 2 == 1 ? window[middle].offset
                                                  : 0.5 * (window[middle - 1].offset + window[middle].offset);
    // Weights are sums of the same fractions in different orders: compare them with a margin.
    if (weight > bestWeight + 1e-9 ||
        (std::abs(weight - bestWeight) <= 1e-9 && std::abs(centre) < std::abs(bestCentre))) {
      bestWeight = weight;
      bestCentre = centre;
      bestLeft = left;
      bestRight = right;
    }
    weight -= window[left].weight;
  }
  if (densest != nullptr) *densest = bestWeight;
  double sw = 0, st = 0, so = 0;
  for (std::size_t k = bestLeft; k < bestRight; ++k) {
    sw += window[k].weight;
    st += window[k].weight * window[k].rt;
    so += window[k].weight * window[k].offset;
  }
  const double meanTime = st / sw;
  const double meanOffset = so / sw;
  double stt = 0, sto = 0;
  for (std::size_t k = bestLeft; k < bestRight; ++k) {
    const double dt = window[k].rt - meanTime;
    stt += window[k].weight * dt * dt;
    sto += window[k].weight * dt * (window[k].offset - meanOffset);
  }
  // Pairs all at about one time: no slope to read.
  const double line = stt > 1e-6 * sw ? meanOffset + sto / stt * (at - meanTime) : meanOffset;
  return std::min(window[bestRight - 1].offset, std::max(window[bestLeft].offset, line));
}

double medianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace

RtCorrection searchDrift(const std::vector<DriftPoint>& sample, std::vector<DriftPoint> reference,
                         const MassTolerance& mass, const DriftSearch& search, double start, double end,
                         double step, double* largest) {
  if (largest != nullptr) *largest = 0;
  std::vector<double> grid;
  const double first = std::floor(start / step) * step;
  const long points = std::max(2L, static_cast<long>(std::ceil((end - first) / step)) + 1);
  for (long i = 0; i < points; ++i) grid.push_back(first + step * static_cast<double>(i));
  const std::vector<Pair> pairs = candidatePairs(sample, reference, mass, search.maxDrift);
  if (pairs.empty()) return RtCorrection(grid, grid);

  // The densest offset around each grid point, from a time window widened
  // until it holds enough pairs (or the whole run).
  const double widest = (pairs.back().rt - pairs.front().rt) + (grid.back() - grid.front()) + step;
  std::vector<double> offset(grid.size());
  std::vector<bool> found(grid.size(), false);
  std::vector<Pair> window;
  for (std::size_t g = 0; g < grid.size(); ++g) {
    for (double half = search.span;; half *= 2) {
      const auto from = std::lower_bound(pairs.begin(), pairs.end(), grid[g] - half,
                                         [](const Pair& p, double t) { return p.rt < t; });
      const auto to = std::upper_bound(pairs.begin(), pairs.end(), grid[g] + half,
                                       [](double t, const Pair& p) { return t < p.rt; });
      double weight = 0;
      for (auto p = from; p != to; ++p) weight += p->weight;
      if (half >= widest) {
        window.assign(from, to);
        if (!window.empty()) offset[g] = densestOffset(window, search.bandwidth, grid[g]);
        break;
      }
      if (weight < search.minWeight) continue;
      // The densest offset must stand out from what pairs of different
      // compounds, spread evenly over the offsets searched, would give by
      // chance; else the window widens, up to the whole run.
      window.assign(from, to);
      double densest = 0;
      offset[g] = densestOffset(window, search.bandwidth, grid[g], &densest);
      const double chance = weight * std::min(1.0, search.bandwidth / search.maxDrift);
      if (densest >= search.minContrast * chance) break;
    }
    if (window.empty()) continue;
    found[g] = true;
  }
  // Grid points without pairs take the nearest offset found (the earlier on a tie).
  for (std::size_t g = 0; g < grid.size(); ++g) {
    if (found[g]) continue;
    for (std::size_t distance = 1; distance < grid.size(); ++distance) {
      if (g >= distance && found[g - distance]) {
        offset[g] = offset[g - distance];
        break;
      }
      if (g + distance < grid.size() && found[g + distance]) {
        offset[g] = offset[g + distance];
        break;
      }
    }
  }
  // A running median of 5 removes single jumps to another mode; a running
  // mean of 5 smooths what is left.
  // Neighbourhoods shrink symmetrically at the ends, so that a slope there is kept.
  const auto neighbours = [&](std::size_t g) {
    const std::size_t half = std::min<std::size_t>({2, g, grid.size() - 1 - g});
    return std::make_pair(g - half, g + half + 1);
  };
  std::vector<double> median(grid.size());
  for (std::size_t g = 0; g < grid.size(); ++g) {
    const auto [from, to] = neighbours(g);
    median[g] = medianOf(std::vector<double>(offset.begin() + static_cast<long>(from),
                                             offset.begin() + static_cast<long>(to)));
  }
  std::vector<double> corrected(grid.size());
  for (std::size_t g = 0; g < grid.size(); ++g) {
    const auto [from, to] = neighbours(g);
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += median[i];
    const double smoothed = sum / static_cast<double>(to - from);
    if (largest != nullptr) *largest = std::max(*largest, std::abs(smoothed));
    corrected[g] = grid[g] + smoothed;
    if (g > 0 && corrected[g] < corrected[g - 1]) corrected[g] = corrected[g - 1];
  }
  return RtCorrection(grid, corrected);
}

RtCorrection composeCorrections(const RtCorrection& first, const RtCorrection& second) {
  std::vector<double> corrected;
  for (double time : first.corrected()) {
    corrected.push_back(second.apply(time));
    if (corrected.size() > 1 && corrected.back() < corrected[corrected.size() - 2])
      corrected.back() = corrected[corrected.size() - 2];
  }
  return RtCorrection(first.measured(), corrected);
}
