#include "compounds/isotope_chains.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "compounds/adduct_table.h"

namespace {

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

Neighbours coelutingNeighbours(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
                               const FeatureSimilarity& similarity) {
  std::vector<std::size_t> byTime(features.size());
  std::iota(byTime.begin(), byTime.end(), 0);
  std::stable_sort(byTime.begin(), byTime.end(),
                   [&](std::size_t a, std::size_t b) { return features[a].rt < features[b].rt; });
  // How far a trace's highest point lies from its apex at most: pairs are looked for that much farther.
  double maxShift = 0;
  for (const GroupingFeature& feature : features) {
    if (feature.traceApex > 0) maxShift = std::max(maxShift, std::fabs(feature.traceApex - feature.rt));
  }
  Neighbours neighbours(features.size());
  for (std::size_t p = 0; p < byTime.size(); ++p) {
    const GroupingFeature& a = features[byTime[p]];
    const double reach =
        std::max(options.apexFraction * std::max(a.rtEnd - a.rtStart, 0.0), options.minApexSeconds);
    for (std::size_t q = p + 1; q < byTime.size() && features[byTime[q]].rt - a.rt <= reach + 2 * maxShift;
         ++q) {
      const GroupingFeature& b = features[byTime[q]];
      double apart = b.rt - a.rt;
      if (a.traceApex > 0 && b.traceApex > 0) apart = std::min(apart, std::fabs(b.traceApex - a.traceApex));
      if (apart > apexWindow(a, b, options)) continue;
      if (similarity) {
        const double correlation = similarity(byTime[p], byTime[q]);
        if (!std::isnan(correlation) && correlation < options.minCorrelation) continue;
      }
      neighbours[byTime[p]].push_back(byTime[q]);
      neighbours[byTime[q]].push_back(byTime[p]);
    }
  }
  for (std::vector<std::size_t>& list : neighbours) std::sort(list.begin(), list.end());
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
    for (std::size_t other : neighbours[mono]) {
      const double error = std::fabs(features[other].mz - target);
      if (marks[other].parent >= 0 || marks[other].charge > 0 || error > bestError) continue;
      if (!plausibleIsotope(features, mono, chain.members.back(), other, step, charge)) continue;
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
