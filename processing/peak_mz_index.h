#ifndef TORVA_PROCESSING_PEAK_MZ_INDEX_H
#define TORVA_PROCESSING_PEAK_MZ_INDEX_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "input/records.h"

// The peaks of one spectrum in ascending m/z order, so that the peaks whose
// shifted m/z lies strictly inside a window are found by two binary searches
// instead of a pass over the whole list. The spectral filters compare a peak
// only with peaks one isotope step or one loss away; this finds exactly those.
//
// A window test "low < shifted(mz) < high" is monotone in mz whenever
// `shifted` is a rounded addition of a constant (rounding never reverses the
// order of two sums), so over ascending m/z the peaks passing it form one
// contiguous run. Peaks with a NaN m/z pass no window and are left out.
class PeakMzIndex {
 public:
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
      // Equal m/z keep list order, so a run of the order is deterministic.
      std::stable_sort(order_.begin(), order_.end(),
                       [&peaks](std::size_t a, std::size_t b) { return peaks[a].mz < peaks[b].mz; });
    }
  }

  // Appends to `out` the list index of every indexed peak p with
  // low < shifted(p.mz) < high, evaluated exactly as written. `shifted` must be
  // non-decreasing in its argument. Indices come in ascending m/z order.
  template <class Shift>
  void collect(const std::vector<datapeak>& peaks, Shift shifted, double low, double high,
               std::vector<std::size_t>& out) const {
    const auto first = std::partition_point(order_.begin(), order_.end(), [&](std::size_t k) {
      return !(low < shifted(peaks[k].mz));
    });
    const auto last = std::partition_point(first, order_.end(), [&](std::size_t k) {
      return shifted(peaks[k].mz) < high;
    });
    out.insert(out.end(), first, last);
  }

 private:
  std::vector<std::size_t> order_;  // list indices, ascending m/z
};

#endif
