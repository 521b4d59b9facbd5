#include "compounds/isotope_chains.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

#include "compounds/adduct_table.h"
#include "compounds/correlation.h"
#include "util/parallel_for.h"

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// A pair's key among the kept correlations, the same either way round.
std::uint64_t pairKey(std::size_t a, std::size_t b) {
  return (static_cast<std::uint64_t>(std::min(a, b)) << 32) | std::max(a, b);
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

double maxFirstIsotopeRatio(double mz, int charge) {
  const double carbons = std::floor(mz * charge / 12.0);
  return carbons * 0.0108 * 1.3 + 0.03;
}

namespace {

constexpr std::size_t kNoPosition = Neighbours::kNoPosition;

// How far from its apex a feature looks for co-eluting ones: the window with its own width, which is never
// narrower than the window of a pair (the narrower peak's width).
double reachOf(const GroupingFeature& feature, const GroupingOptions& options) {
  return std::max(options.apexFraction * std::max(feature.rtEnd - feature.rtStart, 0.0),
                  options.minApexSeconds);
}

// The features with a time (not negative, not NaN) sorted by it, ties in index order, and each feature's
// position there (kNoPosition without a time).
std::vector<std::size_t> sortedByTime(const std::vector<double>& times, std::vector<std::size_t>& position) {
  std::vector<std::size_t> order;
  for (std::size_t f = 0; f < times.size(); ++f) {
    if (times[f] >= 0) order.push_back(f);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
  position.assign(times.size(), kNoPosition);
  for (std::size_t p = 0; p < order.size(); ++p) position[order[p]] = p;
  return order;
}

}  // namespace

Neighbours::Neighbours(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
                       const FeatureSimilarity& similarity, const SimilarityScreen* screen)
    : options_(options),
      similarity_(similarity),
      screen_(screen != nullptr && *screen ? screen : nullptr),
      apexTimes_(features.size()),
      traceTimes_(features.size()),
      byMz_(features.size()) {
  width_.reserve(features.size());
  reach_.reserve(features.size());
  double widest = 0;
  for (std::size_t f = 0; f < features.size(); ++f) {
    apexTimes_[f] = features[f].rt;
    traceTimes_[f] = features[f].traceApex > 0 ? features[f].traceApex : -1.0;
    width_.push_back(features[f].rtEnd - features[f].rtStart);
    reach_.push_back(reachOf(features[f], options));
    const double reach = reach_.back();
    if (reach > widest) widest = reach;
  }
  widestReach_ = widest;
  // The searches ask about a few pairs a feature.
  if (similarity) known_.reserve(2 * features.size());
  // The three orders side by side.
  parallelFor(3, workerCount(), [&](std::size_t order, std::size_t) {
    if (order == 0) {
      byApex_ = sortedByTime(apexTimes_, apexPosition_);
    } else if (order == 1) {
      byTrace_ = sortedByTime(traceTimes_, tracePosition_);
    } else {
      std::iota(byMz_.begin(), byMz_.end(), 0);
      std::stable_sort(byMz_.begin(), byMz_.end(),
                       [&features](std::size_t a, std::size_t b) { return features[a].mz < features[b].mz; });
      sortedMz_.reserve(byMz_.size());
      for (std::size_t f : byMz_) sortedMz_.push_back(features[f].mz);
    }
  });
  // About four buckets a feature over the run's m/z range.
  if (!sortedMz_.empty() && sortedMz_.size() < std::numeric_limits<std::uint32_t>::max()) {
    const double span = sortedMz_.back() - sortedMz_.front();
    const double buckets = 4.0 * static_cast<double>(sortedMz_.size());
    if (span > 0 && std::isfinite(span)) {
      bucketScale_ = buckets / span;
      bucketStart_.assign(static_cast<std::size_t>(buckets) + 2,
                          static_cast<std::uint32_t>(sortedMz_.size()));
      std::size_t next = 0;
      for (std::size_t k = 0; k < sortedMz_.size(); ++k) {
        const std::size_t bucket = bucketOf(sortedMz_[k]);
        while (next <= bucket) bucketStart_[next++] = static_cast<std::uint32_t>(k);
      }
    }
  }
}

void Neighbours::collectWithin(const std::vector<double>& times, const std::vector<std::size_t>& order,
                               const std::vector<std::size_t>& position, std::size_t a,
                               std::vector<std::size_t>& found) const {
  const std::size_t at = position[a];
  if (at == kNoPosition) return;
  // Later features lie within a's reach; an earlier one within its own reach, which is at most a's unless
  // a's width is not a number.
  const double reach = reach_[a];
  const double back = reach == reach ? reach : widestReach_;
  const double time = times[a];
  for (std::size_t q = at + 1; q < order.size(); ++q) {
    const std::size_t b = order[q];
    const double gap = times[b] - time;
    if (!(gap <= reach)) break;
    if (!(gap > windowOf(a, b))) found.push_back(b);
  }
  for (std::size_t q = at; q-- > 0;) {
    const std::size_t b = order[q];
    const double gap = time - times[b];
    if (!(gap <= back)) break;
    if (gap <= reach_[b] && !(gap > windowOf(b, a))) found.push_back(b);
  }
}

std::vector<std::size_t> Neighbours::coelutingWith(std::size_t a) const {
  std::vector<std::size_t> found;
  coelutingUnordered(a, found);
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

void Neighbours::coelutingUnordered(std::size_t a, std::vector<std::size_t>& found) const {
  found.clear();
  collectWithin(apexTimes_, byApex_, apexPosition_, a, found);
  collectWithin(traceTimes_, byTrace_, tracePosition_, a, found);
}

void Neighbours::coelutingWithin(std::size_t a, double low, double high,
                                 std::vector<std::size_t>& found) const {
  found.clear();
  addCoelutingWithin(a, low, high, found);
  std::sort(found.begin(), found.end());
}

bool Neighbours::keptCorrelation(std::uint64_t key, const Correlations& into, double& value) const {
  const auto kept = known_.find(key);
  if (kept != known_.end()) {
    value = kept->second;
    return true;
  }
  if (&into == &known_) return false;
  const auto found = into.find(key);
  if (found == into.end()) return false;
  value = found->second;
  return true;
}

double Neighbours::correlationKeptIn(std::size_t a, std::size_t b, Correlations& into) const {
  if (!similarity_) return kUnknown;
  const std::uint64_t key = pairKey(a, b);
  double value = 0;
  if (keptCorrelation(key, into, value)) return value;
  value = similarity_(std::min(a, b), std::max(a, b));
  into.emplace(key, value);
  return value;
}

double Neighbours::correlation(std::size_t a, std::size_t b) const { return correlationKeptIn(a, b, known_); }

double Neighbours::correlationOnce(std::size_t a, std::size_t b) const {
  if (!similarity_) return kUnknown;
  const std::uint64_t key = pairKey(a, b);
  const auto found = known_.find(key);
  return found != known_.end() ? found->second : similarity_(std::min(a, b), std::max(a, b));
}

bool Neighbours::isotopePartners(std::size_t a, std::size_t b, bool close) const {
  const double value = correlation(a, b);
  return value == kFlatTraces || std::isnan(value) || value >= minCorrelation() ||
         (close && value >= options_.closeIsotopeCorrelation);
}

bool Neighbours::ionPartners(std::size_t a, std::size_t b, Correlations* computed) const {
  Correlations& into = computed != nullptr ? *computed : known_;
  if (screen_ != nullptr) {
    // Most pairs the adduct search asks about correlate too little: those the screen turns away are
    // neither computed nor kept (the screen turns them away again if asked again).
    double kept = 0;
    if (!keptCorrelation(pairKey(a, b), into, kept)) {
      const std::size_t other = std::max(a, b);
      Screened verdict = Screened::kUnsure;
      (*screen_)(std::min(a, b), &other, 1, minCorrelation(), &verdict);
      if (verdict == Screened::kBelow) return false;
    }
  }
  const double value = correlationKeptIn(a, b, into);
  return value != kFlatTraces && (std::isnan(value) || value >= minCorrelation());
}

void Neighbours::keep(const Correlations& computed) const {
  for (const auto& entry : computed) known_.insert(entry);
}

namespace {

struct Chain {
  std::vector<std::size_t> members;  // the monoisotopic feature first
  std::vector<int> steps;            // k of each member
};

// The pattern of `mono` at one charge. It may pass over one missing peak (a weak isotope the detection
// missed), not two; for charges above 1 M+1 must be there, or the M+2 of a lower charge would pass for it.
// Into `chain`; `near` is working space (both kept from call to call: a crowded run asks for tens of
// thousands of patterns).
void chainAt(const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
             const std::vector<IsotopeMark>& marks, const GroupingOptions& options, std::size_t mono,
             int charge, Chain& chain, std::vector<std::size_t>& near) {
  chain.members.assign(1, mono);
  chain.steps.assign(1, 0);
  for (int step = 1; step - chain.steps.back() <= 2; ++step) {
    const double target = features[mono].mz + step * kCarbon13Step / charge;
    const double tolerance = mzTolerance(target, options);
    std::size_t best = features.size();
    double bestError = tolerance;
    // The co-eluting features near the target (a wider range than the tolerance; the error decides).
    neighbours.coelutingWithin(mono, target - 2 * tolerance, target + 2 * tolerance, near);
    for (std::size_t other : near) {
      const double error = std::fabs(features[other].mz - target);
      if (marks[other].parent >= 0 || marks[other].charge > 0 || error > bestError) continue;
      if (!plausibleIsotope(features, mono, chain.members.back(), other, step, charge)) continue;
      const bool close =
          options.closeIsotopeFraction > 0 && error <= options.closeIsotopeFraction * tolerance;
      if (!neighbours.isotopePartners(mono, other, close)) continue;
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
}

// An isotope peak the peak detection split in two (a dip in a weak trace) leaves a piece outside the pattern,
// which would pass for an ion of its own: a feature in no pattern joins the pattern of a member at its m/z
// (within the tolerance) whose peak it touches or overlaps, as the same isotope, when it co-elutes with the
// monoisotopic feature and meets the pattern's intensity and shape tests. Only members found by the
// pattern search itself are taken as the other piece.
void markSplitIsotopes(const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
                       const GroupingOptions& options, const std::vector<std::size_t>& byMz,
                       std::vector<IsotopeMark>& marks) {
  const std::vector<IsotopeMark> found = marks;
  for (std::size_t p = 0; p < byMz.size(); ++p) {
    const std::size_t piece = byMz[p];
    if (found[piece].parent >= 0 || found[piece].charge > 0) continue;
    const GroupingFeature& feature = features[piece];
    const double tolerance = mzTolerance(feature.mz, options);
    std::size_t twin = features.size();
    double twinError = tolerance;
    for (const int direction : {-1, 1}) {
      for (std::size_t q = p; direction < 0 ? q-- > 0 : ++q < byMz.size();) {
        const GroupingFeature& other = features[byMz[q]];
        const double error = std::fabs(other.mz - feature.mz);
        if (!(error <= tolerance)) break;
        const IsotopeMark& mark = found[byMz[q]];
        if (mark.parent < 0 || !(other.rtStart <= feature.rtEnd && feature.rtStart <= other.rtEnd)) continue;
        if (error < twinError || (error == twinError && byMz[q] < twin) || twin == features.size()) {
          twin = byMz[q];
          twinError = error;
        }
      }
    }
    if (twin == features.size()) continue;
    const IsotopeMark mark = found[twin];
    const auto mono = static_cast<std::size_t>(mark.parent);
    // The pattern's peak before this step: the monoisotopic feature, or the member one step below.
    std::size_t before = mono;
    for (std::size_t f = 0; f < features.size() && mark.step > 1; ++f) {
      if (found[f].parent == mark.parent && found[f].step == mark.step - 1) before = f;
    }
    const double target = features[mono].mz + mark.step * kCarbon13Step / mark.charge;
    const double error = std::fabs(feature.mz - target);
    const double stepTolerance = mzTolerance(target, options);
    if (!(error <= stepTolerance) || !neighbours.coelute(mono, piece) ||
        !plausibleIsotope(features, mono, before, piece, mark.step, mark.charge))
      continue;
    const bool close =
        options.closeIsotopeFraction > 0 && error <= options.closeIsotopeFraction * stepTolerance;
    if (!neighbours.isotopePartners(mono, piece, close)) continue;
    marks[piece] = mark;
  }
}

}  // namespace

std::vector<IsotopeMark> findIsotopeChains(const std::vector<GroupingFeature>& features,
                                           const Neighbours& neighbours, const GroupingOptions& options) {
  std::vector<IsotopeMark> marks(features.size());
  std::vector<std::size_t> byMz(features.size());
  std::iota(byMz.begin(), byMz.end(), 0);
  std::stable_sort(byMz.begin(), byMz.end(),
                   [&](std::size_t a, std::size_t b) { return features[a].mz < features[b].mz; });
  Chain chosen, chain;
  std::vector<std::size_t> near;
  for (std::size_t mono : byMz) {
    if (marks[mono].parent >= 0) continue;
    // The charge whose pattern finds the most peaks; of equal ones the lowest charge (a stray peak a third
    // of a dalton away must not make an ion of charge 1 one of charge 3).
    chosen.members.clear();
    chosen.steps.clear();
    int chosenCharge = 0;
    for (int charge = 1; charge <= options.maxCharge; ++charge) {
      chainAt(features, neighbours, marks, options, mono, charge, chain, near);
      if (chain.members.size() >= 2 && chain.members.size() > chosen.members.size()) {
        std::swap(chosen, chain);
        chosenCharge = charge;
      }
    }
    if (chosenCharge == 0) continue;
    marks[mono].charge = chosenCharge;
    for (std::size_t k = 1; k < chosen.members.size(); ++k) {
      marks[chosen.members[k]] = IsotopeMark{static_cast<long>(mono), chosen.steps[k], chosenCharge};
    }
  }
  markSplitIsotopes(features, neighbours, options, byMz, marks);
  return marks;
}
