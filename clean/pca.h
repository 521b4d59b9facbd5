#ifndef TORVA_CLEAN_PCA_H
#define TORVA_CLEAN_PCA_H

#include <vector>

// The first two principal components of a set of injections.
struct PcaScores {
  std::vector<double> pc1, pc2;           // per injection given, in the order given
  double explained1 = 0, explained2 = 0;  // share of the variance, percent
};

// PCA of `columns` (injection indices into `areas`, features x injections, NaN when absent) on
// log2 areas, each feature centred and scaled to unit variance. An absent area counts as half the
// feature's smallest area among those injections; features without an area in them, or with the
// same value in all of them, are left out. Each component's sign puts its largest score positive.
PcaScores principalComponents(const std::vector<std::vector<double>>& areas,
                              const std::vector<std::size_t>& columns);

#endif
