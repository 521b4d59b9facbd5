// Calibration curves: exact recovery of known curves under every model and
// weighting, the accuracy limits that drop standards, and the inverse.
#include "quant/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kLevels[] = {1, 2, 5, 10, 25, 50, 100, 200};

std::vector<CalibrationPoint> standards(double a, double b, double c) {
  std::vector<CalibrationPoint> points;
  for (double x : kLevels)
    points.push_back({"std_" + std::to_string(static_cast<int>(x)), x, a + b * x + c * x * x});
  return points;
}

}  // namespace

TEST(Calibration, RecoversExactCurvesUnderEveryModelAndWeighting) {
  struct Case {
    CurveModel model;
    CurveWeighting weighting;
    double a, b, c;
  };
  const Case cases[] = {
      {CurveModel::Linear, CurveWeighting::None, 0.01, 0.03, 0},
      {CurveModel::Linear, CurveWeighting::InverseX, -0.5, 2.0, 0},
      {CurveModel::Linear, CurveWeighting::InverseX2, 100, 5000, 0},
      {CurveModel::Quadratic, CurveWeighting::None, 0.02, 0.05, -1e-4},
      {CurveModel::Quadratic, CurveWeighting::InverseX, 0, 1.0, 2e-3},
      {CurveModel::Quadratic, CurveWeighting::InverseX2, 3, 0.7, -5e-4},
  };
  for (const Case& k : cases) {
    const Calibration curve = calibrate(standards(k.a, k.b, k.c), k.model, k.weighting, AccuracyLimits());
    ASSERT_TRUE(curve.fitted) << curve.failure;
    EXPECT_NEAR(curve.intercept, k.a, 1e-9 * (1 + std::fabs(k.a)));
    EXPECT_NEAR(curve.slope, k.b, 1e-9 * std::fabs(k.b));
    EXPECT_NEAR(curve.quadratic, k.c, 1e-12 + 1e-9 * std::fabs(k.c));
    EXPECT_NEAR(curve.r2, 1.0, 1e-12);
    EXPECT_EQ(curve.lowest, 1);
    EXPECT_EQ(curve.highest, 200);
    for (double x : {1.0, 3.3, 150.0})
      EXPECT_NEAR(curve.concentrationOf(k.a + k.b * x + k.c * x * x), x, 1e-7 * x);
  }
}

TEST(Calibration, DropsTheStandardsThatMissTheirAccuracyLimits) {
  // One standard 40 % off: dropped, the rest kept, the curve the true one.
  std::vector<CalibrationPoint> points = standards(0, 2, 0);
  points[4].response *= 1.4;
  Calibration curve = calibrate(points, CurveModel::Linear, CurveWeighting::InverseX, AccuracyLimits());
  ASSERT_TRUE(curve.fitted);
  for (const CalibrationPoint& p : curve.points) EXPECT_EQ(p.used, p.sample != "std_25") << p.sample;
  EXPECT_NEAR(curve.slope, 2, 1e-9);

  // 18 % off is within the 20 % of the lowest level; 20 % off elsewhere is beyond 15 %
  // (weighted so that the standard off barely moves the curve).
  points = standards(0, 2, 0);
  points[0].response *= 1.18;
  curve = calibrate(points, CurveModel::Linear, CurveWeighting::None, AccuracyLimits());
  EXPECT_TRUE(curve.points[0].used);
  points = standards(0, 2, 0);
  points[4].response *= 1.20;
  curve = calibrate(points, CurveModel::Linear, CurveWeighting::InverseX2, AccuracyLimits());
  EXPECT_FALSE(curve.points[4].used);
  EXPECT_EQ(curve.lowest, 1);

  // Dropping stops once only 75 % of the standards remain.
  points = standards(0, 2, 0);
  for (std::size_t i = 0; i < points.size(); i += 2) points[i].response *= i % 4 == 0 ? 1.5 : 0.6;
  curve = calibrate(points, CurveModel::Linear, CurveWeighting::None, AccuracyLimits());
  std::size_t used = 0;
  for (const CalibrationPoint& p : curve.points) used += p.used ? 1 : 0;
  EXPECT_EQ(used, 6u);
}

TEST(Calibration, NeedsEnoughStandardsWithAResponse) {
  std::vector<CalibrationPoint> points = standards(0, 2, 0);
  points.resize(3);
  EXPECT_FALSE(calibrate(points, CurveModel::Linear, CurveWeighting::None, AccuracyLimits()).fitted);
  points = standards(0, 2, 0);
  for (std::size_t i = 0; i < 5; ++i) points[i].response = std::nan("");
  const Calibration curve = calibrate(points, CurveModel::Quadratic, CurveWeighting::None, AccuracyLimits());
  EXPECT_FALSE(curve.fitted);
  EXPECT_TRUE(std::isnan(curve.concentrationOf(1.0)));
  // A blank's concentration of 0 is no standard of the curve.
  points = standards(0, 2, 0);
  points.push_back({"blank", 0, 0.1});
  EXPECT_EQ(calibrate(points, CurveModel::Linear, CurveWeighting::InverseX, AccuracyLimits()).points.size(),
            8u);
}

TEST(Calibration, QuadraticInverseTakesTheRootInTheRange) {
  // y = 1 + x - 0.002 x^2 rises up to x = 250; its other root lies far beyond.
  const Calibration curve =
      calibrate(standards(1, 1, -0.002), CurveModel::Quadratic, CurveWeighting::None, AccuracyLimits());
  ASSERT_TRUE(curve.fitted);
  EXPECT_NEAR(curve.concentrationOf(1 + 100 - 0.002 * 100 * 100), 100, 1e-6);
  EXPECT_TRUE(std::isnan(curve.concentrationOf(1e6)));  // above the curve's top: no real root
  EXPECT_EQ(curve.equation().substr(0, 4), "y = ");
}

TEST(Calibration, ReadsModelAndWeightingNames) {
  CurveModel model;
  CurveWeighting weighting;
  EXPECT_TRUE(readModel("quadratic", model));
  EXPECT_EQ(model, CurveModel::Quadratic);
  EXPECT_FALSE(readModel("cubic", model));
  EXPECT_TRUE(readWeighting("1/x2", weighting));
  EXPECT_EQ(weighting, CurveWeighting::InverseX2);
  EXPECT_STREQ(weightingName(weighting), "1/x^2");
  EXPECT_FALSE(readWeighting("x", weighting));
}
