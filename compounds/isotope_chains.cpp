#include "compounds/isotope_chains.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

#include "compounds/adduct_table.h"
#include "compounds/correlation.h"

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

double apexWindow(const GroupingFeature& a, const GroupingFeature& b, const GroupingOptions& options) {
  const double width = std::min(a.rtEnd - a.rtStart, b.rtEnd - b.rtStart);
  return std::max(options.apexFraction * std::max(width, 0.0), options.minApexSeconds);
}

// Whether feature `next` may be isotope `step` of a pattern whose previous member found is `previous`.
// M+1 is bounded by the carbon count; each later peak by the same ratio to the one before it (sulfur and
// oxygen lift M+2 and M+3 above the carbon-only binomial terms), and M+2 may reach the monoisotopic height
// (chlorine, bromine).
bool plausibleIsotope(const std::vector<GroupingFeature>& features, std::size_t mono, std::size_t previous,
                      std::size_t next, int step, int charge) {
  const double monoIntensity = features[mono].intensity;
  const double prevIntensity = features[previous].intensity;
  const double intensity = features[next].intensity;
  if (!(intensity > 0) || !(prevIntensity > 0)) return false;
  const double ratio = maxFirstIsotopeRatio(features[mono].mz, charge);
  if (intensity <= prevIntensity * ratio) return true;
  return step == 2 && intensity <= 1.05 * monoIntensity;
}

}  // namespace

double mzTolerance(double mz, const GroupingOptions& options) {
  return std::max(mz * options.ppm * 1e-6, options.minDaltons);
}

double maxFirstIsotopeRatio(double mz, int charge) {
  const double carbons = std::floor(mz * charge / 12.0);
  return carbons * 0.0108 * 1.3 + 0.03;
}

namespace {

// Adds to each feature's list the features whose apexes, by one estimate (`time` of a feature; negative:
// none), lie within the window.
void pairsWithin(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
                 const std::function<double(const GroupingFeature&)>& time,
                 std::vector<std::vector<std::size_t>>& lists) {
  std::vector<std::size_t> order;
  for (std::size_t f = 0; f < features.size(); ++f) {
    if (time(features[f]) >= 0) order.push_back(f);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return time(features[a]) < time(features[b]); });
  for (std::size_t p = 0; p < order.size(); ++p) {
    const GroupingFeature& a = features[order[p]];
    const double reach =
        std::max(options.apexFraction * std::max(a.rtEnd - a.rtStart, 0.0), options.minApexSeconds);
    for (std::size_t q = p + 1; q < order.size() && time(features[order[q]]) - time(a) <= reach; ++q) {
      const GroupingFeature& b = features[order[q]];
      if (time(b) - time(a) > apexWindow(a, b, options)) continue;
      lists[order[p]].push_back(order[q]);
      lists[order[q]].push_back(order[p]);
    }
  }
}

}  // namespace

Neighbours::Neighbours(std::size_t count, const FeatureSimilarity& similarity, double minCorrelation)
    : coeluting(count), similarity_(similarity), minCorrelation_(minCorrelation) {}

double Neighbours::correlation(std::size_t a, std::size_t b) const {
  if (!similarity_) return kUnknown;
  const std::uint64_t key = (static_cast<std::uint64_t>(std::min(a, b)) << 32) | std::max(a, b);
  const auto found = known_.find(key);
  if (found != known_.end()) return found->second;
  const double value = similarity_(std::min(a, b), std::max(a, b));
  known_.emplace(key, value);
  return value;
}

bool Neighbours::coelute(std::size_t a, std::size_t b) const {
  return std::binary_search(coeluting[a].begin(), coeluting[a].end(), b);
}

bool Neighbours::isotopePartners(std::size_t a, std::size_t b) const {
  const double value = correlation(a, b);
  return value == kFlatTraces || std::isnan(value) || value >= minCorrelation_;
}

bool Neighbours::ionPartners(std::size_t a, std::size_t b) const {
  const double value = correlation(a, b);
  return value != kFlatTraces && (std::isnan(value) || value >= minCorrelation_);
}

Neighbours coelutingNeighbours(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
                               const FeatureSimilarity& similarity) {
  // Co-eluting by the smoothed apex or by the raw trace's highest point.
  Neighbours neighbours(features.size(), similarity, options.minCorrelation);
  pairsWithin(
      features, options, [](const GroupingFeature& f) { return f.rt; }, neighbours.coeluting);
  pairsWithin(
      features, options, [](const GroupingFeature& f) { return f.traceApex > 0 ? f.traceApex : -1.0; },
      neighbours.coeluting);
  for (std::vector<std::size_t>& list : neighbours.coeluting) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  return neighbours;
}

namespace {

struct Chain {
  std::vector<std::size_t> members;  // the monoisotopic feature first
  std::vector<int> steps;            // k of each member
};

// The pattern of `mono` at one charge. It may pass over one missing peak (a weak isotope the detection
// missed), not two; for charges above 1 M+1 must be there, or the M+2 of a lower charge would pass for it.
Chain chainAt(const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
              const std::vector<IsotopeMark>& marks, const GroupingOptions& options, std::size_t mono,
              int charge) {
  Chain chain{{mono}, {0}};
  for (int step = 1; step - chain.steps.back() <= 2; ++step) {
    const double target = features[mono].mz + step * kCarbon13Step / charge;
    const double tolerance = mzTolerance(target, options);
    std::size_t best = features.size();
    double bestError = tolerance;
    for (std::size_t other : neighbours.coeluting[mono]) {
      const double error = std::fabs(features[other].mz - target);
      if (marks[other].parent >= 0 || marks[other].charge > 0 || error > bestError) continue;
      if (!plausibleIsotope(features, mono, chain.members.back(), other, step, charge)) continue;
      if (!neighbours.isotopePartners(mono, other)) continue;
      if (error < bestError || best == features.size()) {
        best = other;
        bestError = error;
      }
    }
    if (best == features.size()) {
      if (step == 1 && charge > 1) break;
      continue;
    }
    chain.members.push_back(best);
    chain.steps.push_back(step);
  }
  return chain;
}

}  // namespace

std::vector<IsotopeMark> findIsotopeChains(const std::vector<GroupingFeature>& features,
                                           const Neighbours& neighbours, const GroupingOptions& options) {
  std::vector<IsotopeMark> marks(features.size());
  std::vector<std::size_t> byMz(features.size());
  std::iota(byMz.begin(), byMz.end(), 0);
  std::stable_sort(byMz.begin(), byMz.end(),
                   [&](std::size_t a, std::size_t b) { return features[a].mz < features[b].mz; });
  for (std::size_t mono : byMz) {
    if (marks[mono].parent >= 0) continue;
    // The charge whose pattern finds the most peaks; of equal ones the lowest charge (a stray peak a third
    // of a dalton away must not make an ion of charge 1 one of charge 3).
    Chain chosen;
    int chosenCharge = 0;
    for (int charge = 1; charge <= options.maxCharge; ++charge) {
      Chain chain = chainAt(features, neighbours, marks, options, mono, charge);
      if (chain.members.size() >= 2 && chain.members.size() > chosen.members.size()) {
        chosen = std::move(chain);
        chosenCharge = charge;
      }
    }
    if (chosenCharge == 0) continue;
    marks[mono].charge = chosenCharge;
    for (std::size_t k = 1; k < chosen.members.size(); ++k) {
      marks[chosen.members[k]] = IsotopeMark{static_cast<long>(mono), chosen.steps[k], chosenCharge};
    }
  }
  return marks;
}
