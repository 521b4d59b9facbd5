#ifndef TORVA_COMPOUNDS_FRAGMENT_HOSTS_H
#define TORVA_COMPOUNDS_FRAGMENT_HOSTS_H

#include <cstddef>
#include <utility>
#include <vector>

#include "compounds/grouping_input.h"
#include "compounds/isotope_chains.h"

constexpr std::size_t kNoCompound = static_cast<std::size_t>(-1);

// The compounds found before the in-source fragment search, as it needs them.
struct FragmentCompounds {
  std::vector<std::size_t> compoundOf;  // each feature's compound; kNoCompound for 13C isotopes
  std::vector<std::size_t> leadOf;      // each compound's most intense ion
  std::vector<double> heaviestOf;       // each compound's heaviest m/z
  std::vector<char> absorbed;           // joined another compound as its fragment
};

// In-source fragments: each of `fragments` (unexplained ions alone in their compound, most intense first)
// joins the compound that is more intense (by its lead) and heavier, whose lead co-elutes with it and
// correlates with it at least `minCorrelation`, best correlated first, of equal ones the lowest compound.
// Returns the (fragment, host) joins in order; `compounds` is updated as they are made (the fragment's own
// compound absorbed, the fragment the host's). The correlations are weighed on up to `workers` threads
// (`screen` and the neighbours' correlations must bear that); the joins are the same on any number.
std::vector<std::pair<std::size_t, std::size_t>> joinFragments(
    const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
    const std::vector<std::size_t>& fragments, FragmentCompounds& compounds, double minCorrelation,
    const SimilarityScreen& screen, std::size_t workers);

#endif
