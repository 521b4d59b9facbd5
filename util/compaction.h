#ifndef TORVA_UTIL_COMPACTION_H
#define TORVA_UTIL_COMPACTION_H

#include <cstddef>
#include <utility>
#include <vector>

// Removes from `list` the entries k for which dropped(k) holds (k being the
// entry's position before the call), keeping the order of the rest. Returns the
// number of entries that remain. dropped(k) may look at list[k]: nothing has
// been moved there yet when it is asked.
template <class T, class Dropped>
std::size_t keepUnlessDropped(std::vector<T>& list, Dropped dropped) {
  std::size_t kept = 0;
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (dropped(k)) continue;
    if (kept != k) list[kept] = std::move(list[k]);
    ++kept;
  }
  list.resize(kept);
  return kept;
}

#endif
