#include "align/rt_correction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

RtCorrection::RtCorrection(std::vector<double> measured, std::vector<double> corrected)
    : measured_(std::move(measured)), corrected_(std::move(corrected)) {}

namespace {

// Straight-line interpolation of y over increasing x, ends carried on with the
// end offsets (y - x) of the table.
double interpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (x.empty()) return at;
  if (at <= x.front()) return at + (y.front() - x.front());
  if (at >= x.back()) return at + (y.back() - x.back());
  const std::size_t k = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), at) - x.begin());
  const double span = x[k] - x[k - 1];
  const double f = span > 0 ? (at - x[k - 1]) / span : 0.0;
  return y[k - 1] + f * (y[k] - y[k - 1]);
}

}  // namespace

double RtCorrection::apply(double measured) const { return interpolate(measured_, corrected_, measured); }

double RtCorrection::invert(double corrected) const {
  if (measured_.empty()) return corrected;
  if (corrected <= corrected_.front()) return corrected - (corrected_.front() - measured_.front());
  if (corrected >= corrected_.back()) return corrected - (corrected_.back() - measured_.back());
  const std::size_t k = static_cast<std::size_t>(
      std::lower_bound(corrected_.begin(), corrected_.end(), corrected) - corrected_.begin());
  const double span = corrected_[k] - corrected_[k - 1];
  const double f = span > 0 ? (corrected - corrected_[k - 1]) / span : 0.0;
  return measured_[k - 1] + f * (measured_[k] - measured_[k - 1]);
}

RtCorrection fitRtCorrection(std::vector<std::pair<double, double>> anchors, double start, double end,
                             double step) {
  std::vector<double> grid;
  const double first = std::floor(start / step) * step;
  const long points = std::max(2L, static_cast<long>(std::ceil((end - first) / step)) + 1);
  for (long i = 0; i < points; ++i) grid.push_back(first + step * static_cast<double>(i));
  if (anchors.empty()) return RtCorrection(grid, grid);

  std::sort(anchors.begin(), anchors.end());
  const std::size_t count = anchors.size();
  const std::size_t k = std::min(count, std::max<std::size_t>(5, std::min<std::size_t>(50, count / 10)));
  std::vector<double> offset(grid.size());
  std::vector<double> nearest;
  for (std::size_t g = 0; g < grid.size(); ++g) {
    // The k anchors nearest the grid point: a window grown from the insertion point.
    std::size_t right = static_cast<std::size_t>(
        std::lower_bound(anchors.begin(), anchors.end(), std::make_pair(grid[g], -HUGE_VAL)) -
        anchors.begin());
    std::size_t left = right;
    while (right - left < k) {
      if (left == 0) {
        ++right;
      } else if (right == count) {
        --left;
      } else if (grid[g] - anchors[left - 1].first <= anchors[right].first - grid[g]) {
        --left;
      } else {
        ++right;
      }
    }
    nearest.clear();
    for (std::size_t a = left; a < right; ++a) nearest.push_back(anchors[a].second - anchors[a].first);
    std::sort(nearest.begin(), nearest.end());
    const std::size_t n = nearest.size();
    offset[g] = n % 2 == 1 ? nearest[n / 2] : 0.5 * (nearest[n / 2 - 1] + nearest[n / 2]);
  }
  std::vector<double> corrected(grid.size());
  for (std::size_t g = 0; g < grid.size(); ++g) {
    const std::size_t from = g >= 2 ? g - 2 : 0;
    const std::size_t to = std::min(grid.size(), g + 3);
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += offset[i];
    corrected[g] = grid[g] + sum / static_cast<double>(to - from);
    if (g > 0 && corrected[g] < corrected[g - 1]) corrected[g] = corrected[g - 1];
  }
  return RtCorrection(grid, corrected);
}
