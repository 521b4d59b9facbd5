#include "quant/calibration.h"

#include <cmath>
#include <cstdio>

const char* modelName(CurveModel model) { return model == CurveModel::Linear ? "linear" : "quadratic"; }

const char* weightingName(CurveWeighting weighting) {
  switch (weighting) {
    case CurveWeighting::None:
      return "none";
    case CurveWeighting::InverseX:
      return "1/x";
    case CurveWeighting::InverseX2:
      return "1/x^2";
  }
  return "none";
}

bool readModel(const std::string& text, CurveModel& model) {
  if (text == "linear")
    model = CurveModel::Linear;
  else if (text == "quadratic")
    model = CurveModel::Quadratic;
  else
    return false;
  return true;
}

bool readWeighting(const std::string& text, CurveWeighting& weighting) {
  if (text == "none")
    weighting = CurveWeighting::None;
  else if (text == "1/x")
    weighting = CurveWeighting::InverseX;
  else if (text == "1/x^2" || text == "1/x2")
    weighting = CurveWeighting::InverseX2;
  else
    return false;
  return true;
}

namespace {

double weightOf(CurveWeighting weighting, double x) {
  switch (weighting) {
    case CurveWeighting::None:
      return 1.0;
    case CurveWeighting::InverseX:
      return 1.0 / x;
    case CurveWeighting::InverseX2:
      return 1.0 / (x * x);
  }
  return 1.0;
}

// Solves the n x n system a z = b (n <= 3) by Gaussian elimination with
// partial pivoting, in a fixed order; false when it is singular.
bool solve(double a[3][3], double b[3], int n, double z[3]) {
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int row = col + 1; row < n; ++row)
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    if (!(std::fabs(a[pivot][col]) > 0)) return false;
    if (pivot != col) {
      for (int k = 0; k < n; ++k) std::swap(a[col][k], a[pivot][k]);
      std::swap(b[col], b[pivot]);
    }
    for (int row = col + 1; row < n; ++row) {
      const double factor = a[row][col] / a[col][col];
      for (int k = col; k < n; ++k) a[row][k] -= factor * a[col][k];
      b[row] -= factor * b[col];
    }
  }
  for (int row = n - 1; row >= 0; --row) {
    double sum = b[row];
    for (int k = row + 1; k < n; ++k) sum -= a[row][k] * z[k];
    z[row] = sum / a[row][row];
  }
  return true;
}

// The weighted least-squares fit of the used points; false when singular.
bool fit(Calibration& c) {
  const int n = c.model == CurveModel::Linear ? 2 : 3;
  // Centred and scaled concentrations keep the normal equations well conditioned.
  double scale = 0;
  for (const CalibrationPoint& p : c.points)
    if (p.used) scale = std::max(scale, p.concentration);
  if (!(scale > 0)) return false;
  double a[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  double b[3] = {0, 0, 0};
  for (const CalibrationPoint& p : c.points) {
    if (!p.used) continue;
    const double w = weightOf(c.weighting, p.concentration);
    const double u = p.concentration / scale;
    const double powers[3] = {1.0, u, u * u};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) a[i][j] += w * powers[i] * powers[j];
      b[i] += w * powers[i] * p.response;
    }
  }
  double z[3] = {0, 0, 0};
  if (!solve(a, b, n, z)) return false;
  c.intercept = z[0];
  c.slope = z[1] / scale;
  c.quadratic = n == 3 ? z[2] / (scale * scale) : 0.0;
  return std::isfinite(c.intercept) && std::isfinite(c.slope) && std::isfinite(c.quadratic) &&
         (c.slope != 0 || c.quadratic != 0);
}

double predicted(const Calibration& c, double x) { return c.intercept + c.slope * x + c.quadratic * x * x; }

void updateFigures(Calibration& c) {
  double sw = 0;
  double swy = 0;
  bool first = true;
  for (const CalibrationPoint& p : c.points) {
    if (!p.used) continue;
    const double w = weightOf(c.weighting, p.concentration);
    sw += w;
    swy += w * p.response;
    if (first || p.concentration < c.lowest) c.lowest = p.concentration;
    if (first || p.concentration > c.highest) c.highest = p.concentration;
    first = false;
  }
  const double mean = swy / sw;
  double residual = 0;
  double total = 0;
  for (const CalibrationPoint& p : c.points) {
    if (!p.used) continue;
    const double w = weightOf(c.weighting, p.concentration);
    residual += w * std::pow(p.response - predicted(c, p.concentration), 2);
    total += w * std::pow(p.response - mean, 2);
  }
  c.r2 = total > 0 ? 1.0 - residual / total : 0.0;
  for (CalibrationPoint& p : c.points) p.accuracy = 100.0 * c.concentrationOf(p.response) / p.concentration;
}

}  // namespace

double Calibration::concentrationOf(double response) const {
  if (!fitted || !std::isfinite(response)) return std::nan("");
  if (quadratic == 0) return (response - intercept) / slope;
  const double disc = slope * slope - 4.0 * quadratic * (intercept - response);
  if (disc < 0) return std::nan("");
  const double root = std::sqrt(disc);
  const double x1 = (-slope + root) / (2.0 * quadratic);
  const double x2 = (-slope - root) / (2.0 * quadratic);
  // The root inside the calibrated range, else the one nearer to it.
  const auto distance = [this](double x) {
    return x < lowest ? lowest - x : (x > highest ? x - highest : 0.0);
  };
  return distance(x1) <= distance(x2) ? x1 : x2;
}

std::string Calibration::equation() const {
  if (!fitted) return std::string();
  char text[160];
  if (model == CurveModel::Linear)
    std::snprintf(text, sizeof text, "y = %.6g + %.6g x", intercept, slope);
  else
    std::snprintf(text, sizeof text, "y = %.6g + %.6g x + %.6g x^2", intercept, slope, quadratic);
  return text;
}

Calibration calibrate(std::vector<CalibrationPoint> points, CurveModel model, CurveWeighting weighting,
                      const AccuracyLimits& limits) {
  Calibration c;
  c.model = model;
  c.weighting = weighting;
  for (CalibrationPoint& p : points) {
    p.used = p.concentration > 0 && std::isfinite(p.response);
    if (p.used) c.points.push_back(p);
  }
  const std::size_t parameters = model == CurveModel::Linear ? 2 : 3;
  const std::size_t all = c.points.size();
  const std::size_t keep =
      std::max(parameters + 2, static_cast<std::size_t>(std::ceil(limits.minimumShare * all)));
  if (all < parameters + 2) {
    c.failure = "fewer than " + std::to_string(parameters + 2) + " standards with a response";
    return c;
  }
  std::size_t used = all;
  for (;;) {
    if (!fit(c)) {
      c.failure = "the standards do not determine a curve";
      c.fitted = false;
      return c;
    }
    c.fitted = true;
    updateFigures(c);
    // The worst standard outside its limit, by its deviation over its limit.
    std::size_t worst = c.points.size();
    double worstExcess = 1.0;
    for (std::size_t i = 0; i < c.points.size(); ++i) {
      const CalibrationPoint& p = c.points[i];
      if (!p.used) continue;
      const double limit = p.concentration <= c.lowest ? limits.lowest : limits.others;
      const double deviation = std::fabs(p.accuracy / 100.0 - 1.0);
      const double excess = std::isfinite(deviation) ? deviation / limit : 1e300;
      if (excess > worstExcess) {
        worstExcess = excess;
        worst = i;
      }
    }
    if (worst == c.points.size() || used <= keep) break;
    c.points[worst].used = false;
    --used;
  }
  return c;
}
