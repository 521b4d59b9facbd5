#ifndef TORVA_COMPOUNDS_ISOTOPE_CHAINS_H
#define TORVA_COMPOUNDS_ISOTOPE_CHAINS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "compounds/grouping_input.h"

// Which features co-elute (apexes within the window, by the smoothed apex or by the raw trace's highest
// point), found through the features sorted by time and by m/z rather than kept as lists of pairs, and
// whether two of them go together by shape. The correlation of a pair is computed when a pair is first
// asked about (only pairs whose m/z relate are), and kept.
class Neighbours {
 public:
  static constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

  // With a screen (kept by reference, as the similarity), ionPartners() does not compute the correlation
  // of a pair the screen puts surely below the threshold.
  Neighbours(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
             const FeatureSimilarity& similarity, const SimilarityScreen* screen = nullptr);

  // Whether a and b co-elute (never a feature with itself).
  bool coelute(std::size_t a, std::size_t b) const;
  // The features that co-elute with a, in increasing index.
  std::vector<std::size_t> coelutingWith(std::size_t a) const;
  // The same into `found`, in no particular order and possibly twice (once by each apex estimate).
  void coelutingUnordered(std::size_t a, std::vector<std::size_t>& found) const;
  // The features that co-elute with a and whose m/z lies within [low, high] (a few ulps either way: callers
  // apply their own exact test), in increasing index, into `found`.
  void coelutingWithin(std::size_t a, double low, double high, std::vector<std::size_t>& found) const;
  // The same added to the end of `found`, in no particular order: for callers that gather several ranges.
  void addCoelutingWithin(std::size_t a, double low, double high, std::vector<std::size_t>& found) const;
  // 13C partners: shapes correlate, cannot be measured, or are too flat to compare (background ions); for
  // a close m/z (`close`) shapes that do not run against each other suffice.
  bool isotopePartners(std::size_t a, std::size_t b, bool close = false) const;
  // Correlations by pair. A search spread over threads gives each worker its own table for what it
  // computes (the ones kept here it only reads meanwhile) and keeps them here afterwards by keep().
  using Correlations = std::unordered_map<std::uint64_t, double>;
  // Ions of one compound: shapes correlate or cannot be measured (a cohort's areas in too few samples). A
  // correlation computed now is kept here, or in `computed` when given.
  bool ionPartners(std::size_t a, std::size_t b, Correlations* computed = nullptr) const;
  void keep(const Correlations& computed) const;
  // How far from a's apex (by either estimate, seconds) every feature co-eluting with a lies: a's reach, or
  // the widest reach when a's is not a number.
  double searchRadius(std::size_t a) const { return reach_[a] == reach_[a] ? reach_[a] : widestReach_; }
  // The pair's correlation (NaN unknown, kFlatTraces flat).
  double correlation(std::size_t a, std::size_t b) const;
  // The same, not kept when computed now: for pairs asked about once.
  double correlationOnce(std::size_t a, std::size_t b) const;

 private:
  double minCorrelation() const { return options_.minCorrelation; }
  // The pair's correlation, kept or computed; one computed now is kept in `into` (known_ or a worker's own).
  double correlationKeptIn(std::size_t a, std::size_t b, Correlations& into) const;
  // The pair's kept correlation into `value`, from known_ or `into`; false when neither has it.
  bool keptCorrelation(std::uint64_t key, const Correlations& into, double& value) const;
  // Whether the apexes of a and b by one estimate (`times`, negative or NaN: none; `position`, each
  // feature's place in the features sorted by that time) lie within the window.
  bool within(const std::vector<double>& times, const std::vector<std::size_t>& position, std::size_t a,
              std::size_t b) const;
  // Adds the features within the window of a by one estimate, found in `order` (sorted by that time).
  void collectWithin(const std::vector<double>& times, const std::vector<std::size_t>& order,
                     const std::vector<std::size_t>& position, std::size_t a,
                     std::vector<std::size_t>& found) const;

  GroupingOptions options_;
  const FeatureSimilarity& similarity_;
  const SimilarityScreen* screen_;
  // The window of a pair whose earlier apex is a's (the same as apexWindow's), seconds.
  double windowOf(std::size_t a, std::size_t b) const;

  std::vector<double> width_, reach_;                 // each feature's width (end - start) and reach, seconds
  std::vector<double> apexTimes_, traceTimes_;        // seconds; -1 where a feature has none
  std::vector<std::size_t> byApex_, byTrace_, byMz_;  // feature indices sorted by each key
  std::vector<std::size_t> apexPosition_, tracePosition_;
  std::vector<double> sortedMz_;  // the m/z of byMz_'s features, in its order
  // A coarse index into sortedMz_: bucketStart_[k] is the first entry of bucket k or above, buckets of
  // 1 / bucketScale_ daltons from sortedMz_'s first value.
  std::size_t firstAtOrAbove(double mz) const;
  std::size_t bucketOf(double mz) const;
  std::vector<std::uint32_t> bucketStart_;
  double bucketScale_ = 0;
  double widestReach_ = 0;  // the largest reach of any feature, seconds
  mutable std::unordered_map<std::uint64_t, double> known_;
};

// A pair co-elutes by one estimate when the later apex (by time, ties by index) lies within the earlier
// feature's reach and within the pair's window (the narrower peak's width). Here, where the searches that
// ask it for many pairs can inline it.
inline bool Neighbours::within(const std::vector<double>& times, const std::vector<std::size_t>& position,
                               std::size_t a, std::size_t b) const {
  if (a == b || position[a] == kNoPosition || position[b] == kNoPosition) return false;
  if (position[b] < position[a]) std::swap(a, b);
  const double gap = times[b] - times[a];
  return gap <= reach_[a] && !(gap > windowOf(a, b));
}

inline double Neighbours::windowOf(std::size_t a, std::size_t b) const {
  return std::max(options_.apexFraction * std::max(std::min(width_[a], width_[b]), 0.0),
                  options_.minApexSeconds);
}

inline bool Neighbours::coelute(std::size_t a, std::size_t b) const {
  return within(apexTimes_, apexPosition_, a, b) || within(traceTimes_, tracePosition_, a, b);
}

// The bucket of an m/z: monotone in the m/z, so every m/z at or above `mz` lies in its bucket or above.
inline std::size_t Neighbours::bucketOf(double mz) const {
  const double position = (mz - sortedMz_.front()) * bucketScale_;
  if (!(position > 0)) return 0;
  const double last = static_cast<double>(bucketStart_.size() - 1);
  return position < last ? static_cast<std::size_t>(position) : bucketStart_.size() - 1;
}

// The first entry of sortedMz_ not below `mz` (what lower_bound finds).
inline std::size_t Neighbours::firstAtOrAbove(double mz) const {
  if (bucketStart_.empty()) {
    return static_cast<std::size_t>(std::lower_bound(sortedMz_.begin(), sortedMz_.end(), mz) -
                                    sortedMz_.begin());
  }
  std::size_t k = std::isnan(mz) ? 0 : bucketStart_[bucketOf(mz)];
  while (k < sortedMz_.size() && sortedMz_[k] < mz) ++k;
  return k;
}

// Here, with the two above, as the adduct search asks it about half a million mostly empty ranges.
inline void Neighbours::addCoelutingWithin(std::size_t a, double low, double high,
                                           std::vector<std::size_t>& found) const {
  for (std::size_t k = firstAtOrAbove(low); k < sortedMz_.size() && sortedMz_[k] <= high; ++k) {
    if (coelute(a, byMz_[k])) found.push_back(byMz_[k]);
  }
}

// The 13C pattern a feature belongs to.
struct IsotopeMark {
  long parent = -1;  // index of the monoisotopic feature, -1 for a monoisotopic one
  int step = 0;      // k of 13Ck; 0 for the monoisotopic feature
  int charge = 0;    // charge of the pattern; 0 when the feature has no isotope
};

// Largest M+1 / M intensity ratio plausible for an ion of this m/z and charge: at most mass / 12 carbons,
// each 13C with 1.08 % abundance, with room for the noise of weak peaks.
double maxFirstIsotopeRatio(double mz, int charge);

// Finds the 13C patterns: each feature, lightest first, takes as M+1, M+2, ... the co-eluting features at
// k * 1.0033548 / z (highest charge first) whose intensities the carbon count allows.
std::vector<IsotopeMark> findIsotopeChains(const std::vector<GroupingFeature>& features,
                                           const Neighbours& neighbours, const GroupingOptions& options);

// Tolerance of an m/z, daltons. Here, where the adduct search can inline it for its half a million ranges.
inline double mzTolerance(double mz, const GroupingOptions& options) {
  return std::max(mz * options.ppm * 1e-6, options.minDaltons);
}

#endif
