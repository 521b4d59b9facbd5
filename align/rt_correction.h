#ifndef TORVA_ALIGN_RT_CORRECTION_H
#define TORVA_ALIGN_RT_CORRECTION_H

#include <utility>
#include <vector>

// A sample's retention-time correction: corrected times on a grid of measured
// times (minutes), non-decreasing, joined by straight lines; outside the grid
// the end offsets carry on.
class RtCorrection {
 public:
  RtCorrection() = default;
  RtCorrection(std::vector<double> measured, std::vector<double> corrected);

  double apply(double measured) const;
  // The earliest measured time whose correction reaches `corrected`.
  double invert(double corrected) const;

  const std::vector<double>& measured() const { return measured_; }
  const std::vector<double>& corrected() const { return corrected_; }

 private:
  std::vector<double> measured_;
  std::vector<double> corrected_;
};

// Fits a sample's correction from anchor pairs (measured time, cohort time),
// on a grid of `step` minutes from `start` to `end`. At each grid point the
// offset is the median offset of the nearest anchors (a tenth of them, 5 to 50),
// then a 5-point moving average, then made monotone; without anchors the
// correction is the identity.
RtCorrection fitRtCorrection(std::vector<std::pair<double, double>> anchors, double start, double end,
                             double step);

#endif
