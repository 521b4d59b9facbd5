#include "clean/loess.h"

#include <algorithm>
#include <cmath>

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double tricube(double u) {
  if (u >= 1) return 0;
  const double c = 1 - u * u * u;
  return c * c * c;
}

}  // namespace

LoessFit::LoessFit(std::vector<double> x, std::vector<double> y, double span, int iterations)
    : x_(std::move(x)), y_(std::move(y)), robustness_(x_.size(), 1.0) {
  const std::size_t n = x_.size();
  neighbours_ = static_cast<std::size_t>(std::ceil(span * static_cast<double>(n)));
  neighbours_ = std::min(n, std::max<std::size_t>(neighbours_, std::min<std::size_t>(n, 3)));
  std::vector<double> residuals(n);
  for (int round = 0; round < iterations && n >= 3; ++round) {
    for (std::size_t i = 0; i < n; ++i) residuals[i] = std::abs(y_[i] - localLine(x_[i]));
    const double scale = 6 * median(residuals);
    if (!(scale > 0)) break;  // the curve goes through the points: nothing to weigh down
    for (std::size_t i = 0; i < n; ++i) {
      const double u = residuals[i] / scale;
      robustness_[i] = u < 1 ? (1 - u * u) * (1 - u * u) : 0.0;
    }
  }
}

double LoessFit::at(double x) const { return localLine(std::min(std::max(x, x_.front()), x_.back())); }

double LoessFit::localLine(double x) const {
  const std::size_t n = x_.size();
  // The distance to the farthest of the `neighbours_` nearest points sets the window.
  std::vector<double> distance(n);
  for (std::size_t i = 0; i < n; ++i) distance[i] = std::abs(x_[i] - x);
  std::vector<double> sorted = distance;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(neighbours_ - 1), sorted.end());
  // Slightly wider, so that the farthest neighbour still counts a little.
  const double window = sorted[neighbours_ - 1] * 1.01 + 1e-12;
  double sw = 0, sx = 0, sy = 0;
  std::vector<double> weight(n);
  for (std::size_t i = 0; i < n; ++i) {
    weight[i] = tricube(distance[i] / window) * robustness_[i];
    sw += weight[i];
    sx += weight[i] * x_[i];
    sy += weight[i] * y_[i];
  }
  if (!(sw > 0)) {
    // Every neighbour set aside: the nearest point.
    std::size_t nearest = 0;
    for (std::size_t i = 1; i < n; ++i)
      if (distance[i] < distance[nearest]) nearest = i;
    return y_[nearest];
  }
  const double mx = sx / sw;
  const double my = sy / sw;
  double sxx = 0, sxy = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += weight[i] * (x_[i] - mx) * (x_[i] - mx);
    sxy += weight[i] * (x_[i] - mx) * (y_[i] - my);
  }
  const double range = x_.back() - x_.front();
  const double slope = sxx > 1e-9 * sw * range * range ? sxy / sxx : 0.0;
  return my + slope * (x - mx);
}
