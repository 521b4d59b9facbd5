#ifndef TORVA_UTIL_SAME_BITS_H
#define TORVA_UTIL_SAME_BITS_H

#include <cstring>
#include <vector>

// Equality of bit patterns, unlike ==, which matches 0 with -0 and no NaN with
// itself. Used where a result must be reproduced exactly, not just equal.
inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

#endif
