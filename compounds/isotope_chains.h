#ifndef TORVA_COMPOUNDS_ISOTOPE_CHAINS_H
#define TORVA_COMPOUNDS_ISOTOPE_CHAINS_H

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "compounds/grouping_input.h"

// Co-eluting features of each feature (sorted by index), and whether two of them go together by shape. The
// correlation of a pair is computed when a pair is first asked about (only pairs whose m/z relate are),
// and kept.
class Neighbours {
 public:
  Neighbours(std::size_t count, const FeatureSimilarity& similarity, double minCorrelation);

  std::vector<std::vector<std::size_t>> coeluting;

  // Whether b is among a's co-eluting features.
  bool coelute(std::size_t a, std::size_t b) const;
  // 13C partners: shapes correlate, cannot be measured, or are too flat to compare (background ions).
  bool isotopePartners(std::size_t a, std::size_t b) const;
  // Ions of one compound: shapes correlate or cannot be measured (a cohort's areas in too few samples).
  bool ionPartners(std::size_t a, std::size_t b) const;
  // The pair's correlation (NaN unknown, kFlatTraces flat).
  double correlation(std::size_t a, std::size_t b) const;

 private:
  const FeatureSimilarity& similarity_;
  double minCorrelation_;
  mutable std::unordered_map<std::uint64_t, double> known_;
};

Neighbours coelutingNeighbours(const std::vector<GroupingFeature>& features, const GroupingOptions& options,
                               const FeatureSimilarity& similarity);

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

// Tolerance of an m/z, daltons.
double mzTolerance(double mz, const GroupingOptions& options);

#endif
