#include "input/id_claims.h"

#include <iterator>

std::int64_t IdClaims::claim(std::int64_t wanted) {
  // Raise the wanted id past the run of used ids that holds it, if any. Runs
  // are maximal, so the id right after a run is free.
  std::int64_t claimed = wanted;
  auto after = runs_.upper_bound(wanted);
  if (after != runs_.begin()) {
    const auto holder = std::prev(after);
    if (holder->second >= wanted) claimed = holder->second + 1;
  }

  // Record it, joining the runs that end right before and start right after it.
  after = runs_.upper_bound(claimed);
  std::int64_t last = claimed;
  if (after != runs_.end() && after->first == claimed + 1) {
    last = after->second;
    after = runs_.erase(after);
  }
  if (after != runs_.begin() && std::prev(after)->second == claimed - 1) {
    std::prev(after)->second = last;
  } else {
    runs_.emplace(claimed, last);
  }
  return claimed;
}
