#ifndef TORVA_COMPOUNDS_ISOTOPE_CHAINS_H
#define TORVA_COMPOUNDS_ISOTOPE_CHAINS_H

#include <cstddef>
#include <vector>

#include "compounds/grouping_input.h"

// Co-eluting, correlated neighbours of each feature (sorted by index).
using Neighbours = std::vector<std::vector<std::size_t>>;

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
