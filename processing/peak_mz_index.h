#ifndef TORVA_PROCESSING_PEAK_MZ_INDEX_H
#define TORVA_PROCESSING_PEAK_MZ_INDEX_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "records/records.h"

// The peaks of one spectrum in ascending m/z order, so that the peaks whose
// shifted m/z lies strictly inside a window are found by searching instead of
// a pass over the whole list. The spectral filters compare a peak only with
// peaks one isotope step or one loss away; this finds exactly those.
//
// A window test "low < shifted(mz) < high" is monotone in mz whenever
// `shifted` is a rounded addition of a constant (rounding never reverses the
// order of two sums), so over ascending m/z the peaks passing it form one
// contiguous run, bounded by two partition points. Peaks with a NaN m/z pass
// no window and are left out.
//
// Each kind of window (one per shift) starts its searches where the last
// window of its kind ended: peaks visited in m/z order (up or down) move the
// window a little at a time, and the search gallops from there.
class PeakMzIndex {
 public:
  static constexpr std::size_t kKinds = 4;  // window kinds that keep their last position

  // Indexes `peaks`; the list must not change its m/z values or length while
  // the index is used (intensities may change).
  void build(const std::vector<datapeak>& peaks) {
    order_.clear();
    order_.reserve(peaks.size());
    bool sorted = true;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
      const double mz = peaks[k].mz;
      if (std::isnan(mz)) {
        sorted = false;
        continue;
      }
      if (!order_.empty() && mz < peaks[order_.back()].mz) sorted = false;
      order_.push_back(k);
    }
    if (!sorted) {
      // Equal m/z keep list order, so the order is deterministic.
      std::stable_sort(order_.begin(), order_.end(),
                       [&peaks](std::size_t a, std::size_t b) { return peaks[a].mz < peaks[b].mz; });
    }
    cursors_.fill(Cursor{});
  }

  // Appends to `out` the list index of every indexed peak p with
  // low < shifted(p.mz) < high, evaluated exactly as written. `shifted` must be
  // non-decreasing in its argument; `kind` (< kKinds) names the window kind
  // whose last position serves as the starting point. Indices come in
  // ascending m/z order.
  template <class Shift>
  void collect(std::size_t kind, const std::vector<datapeak>& peaks, Shift shifted, double low, double high,
               std::vector<std::size_t>& out) {
    Cursor& cursor = cursors_.at(kind);
    const std::size_t first =
        partitionNear(cursor.first, [&](std::size_t k) { return !(low < shifted(peaks[k].mz)); });
    const std::size_t last = std::max(
        first, partitionNear(cursor.last, [&](std::size_t k) { return shifted(peaks[k].mz) < high; }));
    cursor = Cursor{first, last};
    if (first < last) {
      out.insert(out.end(), order_.begin() + static_cast<std::ptrdiff_t>(first),
                 order_.begin() + static_cast<std::ptrdiff_t>(last));
    }
  }

 private:
  struct Cursor {
    std::size_t first = 0;
    std::size_t last = 0;
  };

  // The partition point of `holds` over the order (the first position where it
  // fails; it holds on a prefix), searched outwards from `hint` in doubling
  // steps, then by bisection of the last step.
  template <class Predicate>
  std::size_t partitionNear(std::size_t hint, Predicate holds) const {
    const std::size_t size = order_.size();
    hint = std::min(hint, size);
    std::size_t low = 0;
    std::size_t high = size;
    if (hint < size && holds(order_[hint])) {  // the point lies above the hint
      low = hint + 1;
      for (std::size_t step = 1;; step *= 2) {
        const std::size_t probe = low + step - 1;
        if (probe >= size) break;
        if (!holds(order_[probe])) {
          high = probe;
          break;
        }
        low = probe + 1;
      }
    } else {  // at or below the hint
      high = hint;
      for (std::size_t step = 1; high > 0; step *= 2) {
        const std::size_t probe = high >= step ? high - step : 0;
        if (holds(order_[probe])) {
          low = probe + 1;
          break;
        }
        high = probe;
      }
    }
    const auto begin = order_.begin();
    return static_cast<std::size_t>(std::partition_point(begin + static_cast<std::ptrdiff_t>(low),
                                                         begin + static_cast<std::ptrdiff_t>(high), holds) -
                                    begin);
  }

  std::vector<std::size_t> order_;  // list indices, ascending m/z
  std::array<Cursor, kKinds> cursors_{};
};

#endif
