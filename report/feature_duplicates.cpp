#include "report/feature_duplicates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "util/mass_window.h"
#include "util/parallel_for.h"
#include "util/tolerance_grid.h"

// The rule is the pass described in feature_duplicates.h. In that pass, a j
// that has neither i's area nor is a duplicate of i leaves the walk unchanged,
// so the walk only needs the entries that can be one of the two: those of i's
// area (lists of equal areas), and those of i's precursor in the neighbouring
// cells of a mass/time grid (tolerance_grid.h). The walk visits these, merged
// in list order, and applies the very same comparisons.

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr std::int64_t kNoCell = std::numeric_limits<std::int64_t>::min();

enum class Verdict { Keep, RemoveLater, RemoveEarlier };

// The comparison of the pairwise pass, with `first` the earlier entry.
Verdict compare(const FeatureKey& first, const FeatureKey& second, double daltons, double massPpm,
                double timeTolerance) {
  if (first.area == second.area) return Verdict::RemoveLater;
  const double massTolerance = massWindow(second.mass, daltons, massPpm);
  if (first.precursorMz == second.precursorMz && second.mass - massTolerance < first.mass &&
      first.mass < second.mass + massTolerance && second.rt - timeTolerance < first.rt &&
      first.rt < second.rt + timeTolerance) {
    return second.area > first.area ? Verdict::RemoveEarlier : Verdict::RemoveLater;
  }
  return Verdict::Keep;
}

// Lists of list positions, each ascending, stored back to back. Removed slots
// are skipped through a forest of "next present slot" links with path
// compression, so walking a list costs amortised constant time per step.
class PositionLists {
 public:
  void assign(std::vector<std::size_t> positions) {
    positions_ = std::move(positions);
    next_.resize(positions_.size() + 1);
    std::iota(next_.begin(), next_.end(), std::size_t{0});
  }
  std::size_t position(std::size_t slot) const { return positions_[slot]; }
  void remove(std::size_t slot) { next_[slot] = slot + 1; }

  // First present slot of [begin, end) at or after `slot`, or end.
  std::size_t present(std::size_t slot, std::size_t end) {
    std::size_t root = slot;
    while (next_[root] != root) root = next_[root];
    while (next_[slot] != root) {
      const std::size_t following = next_[slot];
      next_[slot] = root;
      slot = following;
    }
    return std::min(root, end);
  }
  // First present slot of [begin, end) whose position lies after `after`, or end.
  std::size_t firstAfter(std::size_t begin, std::size_t end, std::size_t after) {
    const auto first = positions_.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = positions_.begin() + static_cast<std::ptrdiff_t>(end);
    const std::size_t slot =
        static_cast<std::size_t>(std::upper_bound(first, last, after) - positions_.begin());
    return present(slot, end);
  }

 private:
  std::vector<std::size_t> positions_;
  std::vector<std::size_t> next_;  // next_[s] == s while slot s is present; one sentinel at the end
};

struct Range {
  std::size_t begin = 0;
  std::size_t end = 0;
};

using tolerancegrid::Cell;

class DuplicateRemoval {
 public:
  DuplicateRemoval(const std::vector<FeatureKey>& features, double massTolerance, double timeTolerance,
                   double massPpm)
      : features_(features),
        daltons_(massTolerance),
        massPpm_(massPpm),
        massTolerance_(gridTolerance(features, massTolerance, massPpm)),
        timeTolerance_(timeTolerance),
        present_(features.size(), true),
        areaSlot_(features.size(), kNone),
        areaRange_(features.size()),
        cellSlot_(features.size(), kNone),
        cell_(features.size()) {
    // The two indexes are independent of each other: built side by side.
    // With a tolerance that is not positive (or NaN) no two entries are duplicates.
    const bool cells = massTolerance_ > 0 && timeTolerance > 0;
    parallelFor(cells ? 2 : 1, workerCount(), [this](std::size_t index, std::size_t) {
      if (index == 0) {
        indexAreas();
      } else {
        indexCells();
      }
    });
  }

  std::vector<bool> run() {
    for (std::size_t pivot = 0; pivot < features_.size(); ++pivot) {
      if (!present_[pivot]) continue;
      if (cellSlot_[pivot] != kNone && cell_[pivot].mass == kNoCell) {
        walkAll(pivot);
      } else {
        walkCandidates(pivot);
      }
    }
    return present_;
  }

 private:
  struct Stream {
    PositionLists* lists;
    std::size_t slot;
    std::size_t end;
  };

  // Entries of equal area (==, so 0 and -0 together; NaN equals nothing).
  void indexAreas() {
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < features_.size(); ++k) {
      if (!std::isnan(features_[k].area)) order.push_back(k);
    }
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
      if (features_[a].area < features_[b].area) return true;
      if (features_[b].area < features_[a].area) return false;
      return a < b;
    });
    for (std::size_t begin = 0; begin < order.size();) {
      std::size_t end = begin + 1;
      while (end < order.size() && features_[order[end]].area == features_[order[begin]].area) ++end;
      for (std::size_t slot = begin; slot < end; ++slot) {
        areaSlot_[order[slot]] = slot;
        areaRange_[order[slot]] = Range{begin, end};
      }
      begin = end;
    }
    areas_.assign(std::move(order));
  }

  // Entries by precursor and grid cell. Entries with a NaN precursor, or a
  // non-finite mass or time, are never duplicates of anything and get no cell.
  // Entries too far out for the grid share one list per precursor (kNoCell).
  void indexCells() {
    std::unordered_map<double, std::int64_t> groups;
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < features_.size(); ++k) {
      const FeatureKey& feature = features_[k];
      if (std::isnan(feature.precursorMz) || !std::isfinite(feature.mass) || !std::isfinite(feature.rt))
        continue;
      const double precursor = feature.precursorMz == 0 ? 0.0 : feature.precursorMz;
      const auto group = groups.emplace(precursor, static_cast<std::int64_t>(groups.size())).first->second;
      Cell key;
      if (!tolerancegrid::cellOf(feature.mass, massTolerance_, feature.rt, timeTolerance_, group, key)) {
        key = Cell{group, kNoCell, kNoCell};
      }
      cell_[k] = key;
      order.push_back(k);
    }
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
      if (cell_[a] == cell_[b]) return a < b;
      return cell_[a] < cell_[b];
    });
    for (std::size_t begin = 0; begin < order.size();) {
      std::size_t end = begin + 1;
      while (end < order.size() && cell_[order[end]] == cell_[order[begin]]) ++end;
      cellRanges_.emplace(cell_[order[begin]], Range{begin, end});
      for (std::size_t slot = begin; slot < end; ++slot) cellSlot_[order[slot]] = slot;
      begin = end;
    }
    cells_.assign(std::move(order));
  }

  // The grid's cells are as wide as the widest mass window: with windows in
  // ppm, the one at the largest finite mass.
  static double gridTolerance(const std::vector<FeatureKey>& features, double daltons, double massPpm) {
    if (!(massPpm > 0)) return daltons;
    double widest = 0;
    for (const FeatureKey& feature : features) {
      if (std::isfinite(feature.mass)) widest = std::max(widest, massWindow(feature.mass, daltons, massPpm));
    }
    return widest;
  }

  void remove(std::size_t entry) {
    present_[entry] = false;
    if (areaSlot_[entry] != kNone) areas_.remove(areaSlot_[entry]);
    if (cellSlot_[entry] != kNone) cells_.remove(cellSlot_[entry]);
  }

  // Applies one comparison; false when the pivot went and its walk ends.
  bool step(std::size_t pivot, std::size_t later) {
    switch (compare(features_[pivot], features_[later], daltons_, massPpm_, timeTolerance_)) {
      case Verdict::RemoveLater:
        remove(later);
        return true;
      case Verdict::RemoveEarlier:
        remove(pivot);
        return false;
      case Verdict::Keep:
        return true;
    }
    return true;
  }

  // The pivot lies outside the grid: compare it with every later entry.
  void walkAll(std::size_t pivot) {
    for (std::size_t later = pivot + 1; later < features_.size(); ++later) {
      if (present_[later] && !step(pivot, later)) return;
    }
  }

  void addStream(PositionLists& lists, Range range, std::size_t pivot) {
    const std::size_t slot = lists.firstAfter(range.begin, range.end, pivot);
    if (slot < range.end) streams_[streamCount_++] = Stream{&lists, slot, range.end};
  }

  // Walks the later entries that share the pivot's area or lie in the
  // neighbouring cells of its precursor, merged in list order.
  void walkCandidates(std::size_t pivot) {
    streamCount_ = 0;
    if (areaSlot_[pivot] != kNone) addStream(areas_, areaRange_[pivot], pivot);
    if (cellSlot_[pivot] != kNone) {
      const Cell& home = cell_[pivot];
      for (std::int64_t dm = -1; dm <= 1; ++dm) {
        for (std::int64_t dt = -1; dt <= 1; ++dt) {
          const auto found = cellRanges_.find(home.offset(dm, dt));
          if (found != cellRanges_.end()) addStream(cells_, found->second, pivot);
        }
      }
      const auto outside = cellRanges_.find(Cell{home.group, kNoCell, kNoCell});
      if (outside != cellRanges_.end()) addStream(cells_, outside->second, pivot);
    }

    while (streamCount_ > 0) {
      std::size_t later = kNone;
      for (std::size_t s = 0; s < streamCount_; ++s) {
        later = std::min(later, streams_[s].lists->position(streams_[s].slot));
      }
      if (!step(pivot, later)) return;
      for (std::size_t s = 0; s < streamCount_;) {
        Stream& stream = streams_[s];
        if (stream.lists->position(stream.slot) == later) {
          stream.slot = stream.lists->present(stream.slot + 1, stream.end);
          if (stream.slot == stream.end) {
            stream = streams_[--streamCount_];
            continue;
          }
        }
        ++s;
      }
    }
  }

  const std::vector<FeatureKey>& features_;
  const double daltons_;
  const double massPpm_;
  const double massTolerance_;  // half-width of the grid's cells
  const double timeTolerance_;
  std::vector<bool> present_;

  PositionLists areas_;
  std::vector<std::size_t> areaSlot_;
  std::vector<Range> areaRange_;

  PositionLists cells_;
  std::vector<std::size_t> cellSlot_;
  std::vector<Cell> cell_;
  std::unordered_map<Cell, Range, tolerancegrid::CellHash> cellRanges_;

  Stream streams_[11] = {};  // equal area, nine cells, the precursor's list outside the grid
  std::size_t streamCount_ = 0;
};

}  // namespace

std::vector<bool> survivingFeatures(const std::vector<FeatureKey>& features, double massTolerance,
                                    double timeTolerance, double massPpm) {
  return DuplicateRemoval(features, massTolerance, timeTolerance, massPpm).run();
}
