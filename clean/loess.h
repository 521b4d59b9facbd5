#ifndef TORVA_CLEAN_LOESS_H
#define TORVA_CLEAN_LOESS_H

#include <vector>

// A robust locally weighted linear smoother (LOWESS): at each point, a straight line fitted to the
// `span` share of the points nearest to it, weighted by the tricube of their distance; then
// `iterations` rounds that weight every point down by the bisquare of its residual (six median
// absolute residuals weigh nothing), so that one outlying point barely moves the curve.
class LoessFit {
 public:
  // `x` ascending (ties allowed), `y` of the same length, at least one point.
  LoessFit(std::vector<double> x, std::vector<double> y, double span, int iterations);

  // The curve at `x`; outside the points' range, its value at the nearest end.
  double at(double x) const;

  // The robustness weight each point ended with (1: trusted, 0: set aside).
  const std::vector<double>& robustness() const { return robustness_; }

 private:
  double localLine(double x) const;

  std::vector<double> x_, y_, robustness_;
  std::size_t neighbours_ = 0;
};

#endif
