#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "records/run_data.h"
#include "util/tolerance_grid.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The survivors of one channel, indexed by a grid of cells twice the mass
// tolerance wide and twice the time window long: a candidate can only match a
// survivor of its own cell or of a neighbouring one (see tolerance_grid.h).
// Survivors without a cell are kept in a list that every lookup scans.
class SurvivorGrid {
 public:
  SurvivorGrid(double massTolerance, double timeWindow)
      : massTolerance_(massTolerance), timeWindow_(timeWindow) {}

  void add(std::size_t position, const chrom& xic) {
    Cell cell;
    if (cellOf(xic, cell)) {
      cells_[cell].push_back(position);
    } else {
      outside_.push_back(position);
    }
  }

  void remove(std::size_t position, const chrom& xic) {
    Cell cell;
    std::vector<std::size_t>& list = cellOf(xic, cell) ? cells_[cell] : outside_;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k] == position) {
        list[k] = list.back();
        list.pop_back();
        return;
      }
    }
  }

  // Calls visit(position) for every survivor that could match `candidate`;
  // false when the candidate has no cell (the caller then scans all).
  template <class Visit>
  bool visitNeighbours(const chrom& candidate, Visit visit) const {
    Cell cell;
    if (!cellOf(candidate, cell)) return false;
    for (std::int64_t dm = -1; dm <= 1; ++dm) {
      for (std::int64_t dt = -1; dt <= 1; ++dt) {
        const auto found = cells_.find(cell.offset(dm, dt));
        if (found == cells_.end()) continue;
        for (std::size_t position : found->second) visit(position);
      }
    }
    for (std::size_t position : outside_) visit(position);
    return true;
  }

 private:
  using Cell = tolerancegrid::Cell;
  using CellHash = tolerancegrid::CellHash;

  bool cellOf(const chrom& xic, Cell& cell) const {
    return tolerancegrid::cellOf(xic.peakMz, massTolerance_, xic.apexTime, timeWindow_, 0, cell);
  }

  double massTolerance_;
  double timeWindow_;
  std::unordered_map<Cell, std::vector<std::size_t>, CellHash> cells_;
  std::vector<std::size_t> outside_;
};

}  // namespace

// Thins out each channel's chromatograms: a chromatogram whose feature lies
// strictly within the mass and time tolerances of an earlier survivor replaces
// that survivor only when its area is larger (only the first such survivor is
// looked at); one that matches none survives only above five times the cutoff.
// Channels are culled independently.
//
// The first matching survivor is the one with the lowest position among all
// matching survivors, so it is found by looking only at the survivors of the
// neighbouring grid cells and keeping the lowest matching position. A survivor
// that is overwritten moves to the cell of its new values.
void filterer::cullXIC(RunData& run) {
  for (channel& transition : run.channels) {
    const std::vector<std::size_t> kept = cullSurvivors(transition.chroms);
    std::vector<chrom> survivors;
    survivors.reserve(kept.size());
    for (std::size_t index : kept) survivors.push_back(std::move(transition.chroms[index]));
    transition.chroms = std::move(survivors);
  }
}

std::vector<std::size_t> filterer::cullSurvivors(const std::vector<chrom>& chroms) const {
  const double timeWindow = 60 * timeTolerance;  // held times are seconds
  // Five times the cutoff, taken in 64-bit integers so no cutoff overflows.
  const double areaFloor = static_cast<double>(std::int64_t{5} * cutoff);
  const auto matches = [this, timeWindow](const chrom& candidate, const chrom& survivor) {
    const double tolerance = massWindowAt(survivor.peakMz);
    return candidate.peakMz > survivor.peakMz - tolerance && candidate.peakMz < survivor.peakMz + tolerance &&
           candidate.apexTime > survivor.apexTime - timeWindow &&
           candidate.apexTime < survivor.apexTime + timeWindow;
  };

  // The grid's cells are as wide as the widest window of the channel: with
  // windows in ppm, the one at the largest finite m/z.
  double tolerance = massTolerance;
  if (massPpm > 0) {
    tolerance = 0;
    for (const chrom& X : chroms) {
      if (std::isfinite(X.peakMz)) tolerance = std::max(tolerance, massWindowAt(X.peakMz));
    }
  }
  // With a tolerance or window that is not positive (or NaN) no pair can
  // match: the window would be empty.
  const bool anyMatch = tolerance > 0 && timeWindow > 0;
  std::vector<std::size_t> survivors;        // positions in `chroms`
  SurvivorGrid grid(tolerance, timeWindow);  // used only when anyMatch
  for (std::size_t index = 0; index < chroms.size(); ++index) {
    const chrom& candidate = chroms[index];
    std::size_t first = kNone;
    // A candidate with a non-finite m/z or apex time matches nothing: an
    // infinite value fails one of the two strict bounds, NaN fails both.
    if (anyMatch && std::isfinite(candidate.peakMz) && std::isfinite(candidate.apexTime)) {
      const auto consider = [&](std::size_t position) {
        if (position < first && matches(candidate, chroms[survivors[position]])) first = position;
      };
      if (!grid.visitNeighbours(candidate, consider)) {
        for (std::size_t position = 0; position < survivors.size() && first == kNone; ++position)
          consider(position);
      }
    }
    if (first != kNone) {
      const chrom& survivor = chroms[survivors.at(first)];
      if (candidate.area > survivor.area) {
        grid.remove(first, survivor);
        survivors[first] = index;
        grid.add(first, candidate);
      }
    } else if (candidate.area > areaFloor) {
      if (anyMatch) grid.add(survivors.size(), candidate);
      survivors.push_back(index);
    }
  }
  return survivors;
}
