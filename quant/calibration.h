#ifndef TORVA_QUANT_CALIBRATION_H
#define TORVA_QUANT_CALIBRATION_H

#include <string>
#include <vector>

enum class CurveModel { Linear, Quadratic };
enum class CurveWeighting { None, InverseX, InverseX2 };

const char* modelName(CurveModel model);
const char* weightingName(CurveWeighting weighting);
// "linear"/"quadratic" and "none"/"1/x"/"1/x^2" (also "1/x2"); false for anything else.
bool readModel(const std::string& text, CurveModel& model);
bool readWeighting(const std::string& text, CurveWeighting& weighting);

// One calibration standard: its known concentration and its response (area
// ratio to the internal standard, or area).
struct CalibrationPoint {
  std::string sample;
  double concentration = 0;
  double response = 0;
  bool used = true;     // false once dropped for missing the accuracy limits
  double accuracy = 0;  // back-calculated over known concentration, percent (of the final curve)
};

// Accuracy limits of the standards: a standard whose back-calculated
// concentration deviates more than `others` (the lowest level: `lowest`) from its
// known concentration is dropped, the worst first, one at a time, refitting after
// each, while at least `minimumShare` of the standards (and never fewer than the
// model's parameters plus two) remain.
struct AccuracyLimits {
  double lowest = 0.20;
  double others = 0.15;
  double minimumShare = 0.75;
};

// A curve response = intercept + slope x + quadratic x^2 fitted by weighted
// least squares (weights 1, 1/x or 1/x^2 of the known concentration x).
struct Calibration {
  CurveModel model = CurveModel::Linear;
  CurveWeighting weighting = CurveWeighting::None;
  bool fitted = false;
  std::string failure;  // why there is no curve
  double intercept = 0;
  double slope = 0;
  double quadratic = 0;
  double r2 = 0;  // weighted coefficient of determination of the final fit
  std::vector<CalibrationPoint> points;
  double lowest = 0;  // lowest and highest concentration among the used standards
  double highest = 0;

  // The concentration of a response: the root inside (or nearest to) the
  // calibrated range; NaN without a curve or a real root.
  double concentrationOf(double response) const;
  std::string equation() const;
};

// Fits the standards (those with a concentration above 0 and a finite
// response), dropping those that miss `limits`.
Calibration calibrate(std::vector<CalibrationPoint> points, CurveModel model, CurveWeighting weighting,
                      const AccuracyLimits& limits);

#endif
