// The steps of torva-clean on small hand-made cohorts: the robust smoother, the drift
// correction per batch, the filters' figures, normalisation, imputation and the PCA.
#include <gtest/gtest.h>

#include <cmath>

#include "clean/drift_correction.h"
#include "clean/filters.h"
#include "clean/loess.h"
#include "clean/normalisation.h"
#include "clean/pca.h"

namespace {

const double kAbsent = std::nan("");

CohortSample injection(const std::string& name, InjectionType type, long order,
                       const std::string& batch = "1", const std::string& group = "") {
  CohortSample sample;
  sample.name = name;
  sample.type = type;
  sample.order = order;
  sample.batch = batch;
  sample.group = group;
  return sample;
}

}  // namespace

TEST(Loess, FollowsASmoothCurveThroughOneOutlyingPoint) {
  std::vector<double> x, y;
  const auto truth = [](double t) { return 10 + 0.3 * std::sin(t / 12.0); };  // a drift of up to 35 %
  for (int k = 0; k < 8; ++k) {
    x.push_back(3.0 * k);
    y.push_back(truth(x.back()) + (k == 4 ? std::log(2.0) : 0.0));  // one QC at twice its area
  }
  const LoessFit fit(x, y, 0.75, 3);
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(fit.at(x[k]), truth(x[k]), 0.02) << "at " << x[k];
  EXPECT_LT(fit.robustness()[4], 0.1);
  // Without the robustness rounds the outlier pulls the curve by more than 10 %.
  EXPECT_GT(LoessFit(x, y, 0.75, 0).at(x[4]) - truth(x[4]), 0.1);
}

TEST(Loess, ReproducesAStraightLineAndHoldsItsEndsOutside) {
  const LoessFit fit({1, 2, 4, 8, 9}, {3, 5, 9, 17, 19}, 0.75, 3);
  EXPECT_NEAR(fit.at(5), 11, 1e-9);
  EXPECT_NEAR(fit.at(0), 3, 1e-9);
  EXPECT_NEAR(fit.at(20), 19, 1e-9);
  EXPECT_DOUBLE_EQ(LoessFit({4}, {7}, 0.75, 3).at(1), 7);
}

TEST(DriftCorrection, TakesOutTheDriftOfEachBatchAndTheirOffset) {
  // Two batches of QC, sample, QC, ...; the compound's signal falls along each batch by a
  // factor exp(-0.03 per injection), and the second batch reads 1.5 times higher.
  std::vector<CohortSample> samples;
  std::vector<double> areas;
  for (int b = 0; b < 2; ++b) {
    for (int k = 0; k < 11; ++k) {
      const long order = b * 11 + k + 1;
      const bool qc = k % 2 == 0;
      samples.push_back(injection((qc ? "q" : "s") + std::to_string(order),
                                  qc ? InjectionType::Qc : InjectionType::Sample, order, b == 0 ? "A" : "B"));
      const double level = qc ? 1000 : (k % 4 == 1 ? 500 : 2000);
      areas.push_back(level * std::exp(-0.03 * k) * (b == 1 ? 1.5 : 1.0));
    }
  }
  const std::vector<double> raw = areas;
  const FeatureDrift drift = correctDrift(samples, batchesOf(samples), DriftOptions(), areas);
  ASSERT_EQ(drift.batchFit, (std::vector<DriftFitKind>{DriftFitKind::Curve, DriftFitKind::Curve}));
  // Every QC at the cohort's QC median (on the log scale), every sample at its true ratio to the QCs.
  std::vector<double> qcLogs;
  for (std::size_t s = 0; s < samples.size(); ++s)
    if (samples[s].type == InjectionType::Qc) qcLogs.push_back(std::log(raw[s]));
  const double qcMedian = std::exp(medianOf(qcLogs));
  for (std::size_t s = 0; s < samples.size(); ++s) {
    const long k = (samples[s].order - 1) % 11;
    const double expected = samples[s].type == InjectionType::Qc ? 1.0 : (k % 4 == 1 ? 0.5 : 2.0);
    EXPECT_NEAR(areas[s] / qcMedian, expected, 1e-6) << samples[s].name;
    EXPECT_NEAR(drift.fit[s], raw[s] / (samples[s].type == InjectionType::Qc ? 1.0 : expected),
                1e-6 * raw[s]);
  }
}

TEST(DriftCorrection, ScalesABatchOfFewQcsByTheirMedianAndLeavesOneWithoutQcs) {
  std::vector<CohortSample> samples = {
      injection("q1", InjectionType::Qc, 1, "A"),     injection("s1", InjectionType::Sample, 2, "A"),
      injection("q2", InjectionType::Qc, 3, "A"),     injection("q3", InjectionType::Qc, 4, "B"),
      injection("s2", InjectionType::Sample, 5, "B"), injection("q4", InjectionType::Qc, 6, "B"),
      injection("s3", InjectionType::Sample, 7, "C"), injection("q5", InjectionType::Qc, 8, "C"),
  };
  // Batch C's only QC has no area.
  std::vector<double> areas = {100, 50, 120, 200, 100, 220, 70, kAbsent};
  const FeatureDrift drift = correctDrift(samples, batchesOf(samples), DriftOptions(), areas);
  EXPECT_EQ(drift.batchFit,
            (std::vector<DriftFitKind>{DriftFitKind::Median, DriftFitKind::Median, DriftFitKind::None}));
  // The cohort's QC level: the median of 100, 120, 200, 220 on the log scale, sqrt(120 * 200).
  const double level = std::sqrt(120.0 * 200.0);
  EXPECT_NEAR(areas[1], 50 / std::sqrt(100.0 * 120.0) * level, 1e-9);
  EXPECT_NEAR(areas[4], 100 / std::sqrt(200.0 * 220.0) * level, 1e-9);
  EXPECT_EQ(areas[6], 70);
  EXPECT_TRUE(std::isnan(drift.fit[6]));
}

TEST(Filters, JudgeBlanksAndQcsByTheirFigures) {
  const std::vector<CohortSample> samples = {
      injection("b", InjectionType::Blank, 1),   injection("q1", InjectionType::Qc, 2),
      injection("s1", InjectionType::Sample, 3), injection("s2", InjectionType::Sample, 4),
      injection("q2", InjectionType::Qc, 5),     injection("q3", InjectionType::Qc, 6)};
  const std::vector<double> areas = {100, 90, 400, kAbsent, 110, kAbsent};
  EXPECT_DOUBLE_EQ(meanArea(samples, areas, InjectionType::Sample), 200);  // absent counts 0
  EXPECT_DOUBLE_EQ(meanArea(samples, areas, InjectionType::Blank), 100);
  EXPECT_TRUE(std::isnan(meanArea(samples, areas, InjectionType::Standard)));
  EXPECT_FALSE(passesBlankFilter(200, 100, 3));
  EXPECT_TRUE(passesBlankFilter(300, 100, 3));
  EXPECT_TRUE(passesBlankFilter(5, 0, 3));
  EXPECT_TRUE(passesBlankFilter(5, kAbsent, 3));
  EXPECT_DOUBLE_EQ(qcPresence(samples, areas), 2.0 / 3.0);
  EXPECT_NEAR(qcCv(samples, areas), 100 * std::sqrt(200.0) / 100, 1e-12);  // sd of 90, 110 over 100
  EXPECT_TRUE(std::isnan(qcCv(samples, {1, kAbsent, 1, 1, 5, kAbsent})));
}

TEST(Normalisation, EachMethodUndoesADilutionAndLeavesBlanksAlone) {
  const std::vector<CohortSample> samples = {
      injection("q", InjectionType::Qc, 1), injection("s1", InjectionType::Sample, 2),
      injection("s2", InjectionType::Sample, 3), injection("b", InjectionType::Blank, 4)};
  // s2 is s1 at half the concentration, but for its last feature, which rose tenfold.
  const std::vector<std::vector<double>> input = {
      {100, 100, 50, 7}, {200, 200, 100, kAbsent}, {300, 300, 150, 7}, {400, 400, 200, 1}, {10, 10, 50, 2}};
  const struct {
    Normalisation method;
    bool robust;  // unmoved by the one feature that changed
  } cases[] = {
      {Normalisation::Median, true}, {Normalisation::Quotient, true}, {Normalisation::TotalArea, false}};
  for (const auto& c : cases) {
    std::vector<std::vector<double>> areas = input;
    const std::vector<double> factors = normalise(samples, c.method, areas);
    EXPECT_EQ(factors[3], 1.0) << normalisationName(c.method);
    for (std::size_t f = 0; f < areas.size(); ++f)
      EXPECT_TRUE(areas[f][3] == input[f][3] || (std::isnan(areas[f][3]) && std::isnan(input[f][3])));
    if (c.robust) {
      EXPECT_NEAR(factors[1] / factors[2], 2.0, 1e-12) << normalisationName(c.method);
      EXPECT_NEAR(areas[0][2], areas[0][1], 1e-9) << normalisationName(c.method);
    } else {
      EXPECT_NEAR(factors[1] / factors[2], 1010.0 / 550.0, 1e-12);
    }
  }
  std::vector<std::vector<double>> areas = input;
  EXPECT_EQ(normalise(samples, Normalisation::None, areas), std::vector<double>(4, 1.0));
  Normalisation parsed;
  EXPECT_TRUE(parseNormalisation("pqn", parsed));
  EXPECT_EQ(parsed, Normalisation::Quotient);
  EXPECT_FALSE(parseNormalisation("PQN", parsed));
}

TEST(Imputation, FillsAbsentAreasWithAShareOfTheSmallestButNotInBlanks) {
  const std::vector<CohortSample> samples = {injection("s1", InjectionType::Sample, 1),
                                             injection("s2", InjectionType::Sample, 2),
                                             injection("b", InjectionType::Blank, 3)};
  std::vector<std::vector<double>> areas = {{80, kAbsent, kAbsent}, {kAbsent, kAbsent, 5}, {40, 60, 1}};
  EXPECT_EQ(imputeMinimum(samples, 0.5, areas), 1u);
  EXPECT_EQ(areas[0][1], 40);
  EXPECT_TRUE(std::isnan(areas[0][2]));
  EXPECT_TRUE(std::isnan(areas[1][0]));  // no area to take a share of
}

TEST(Pca, SeparatesTwoClustersOnTheFirstComponent) {
  // Six injections; the last three have every feature raised fourfold, with small differences.
  std::vector<std::vector<double>> areas;
  for (int f = 0; f < 20; ++f) {
    std::vector<double> row;
    for (int s = 0; s < 6; ++s) row.push_back((s < 3 ? 1000.0 : 4000.0) * (1 + 0.01 * ((f * 7 + s * 3) % 5)));
    areas.push_back(row);
  }
  areas[3][1] = kAbsent;                                              // counted as half the smallest
  areas.push_back({5, 5, 5, 5, 5, 5});                                // no variance: left out
  areas.push_back({kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, 9});  // outside the injections asked for
  const PcaScores scores = principalComponents(areas, {0, 1, 2, 3, 4});
  ASSERT_EQ(scores.pc1.size(), 5u);
  for (int s = 0; s < 3; ++s) EXPECT_LT(scores.pc1[s] * scores.pc1[3], 0);
  EXPECT_GT(scores.explained1, 80);
  double largest = 0;
  for (const double v : scores.pc1)
    if (std::abs(v) > std::abs(largest)) largest = v;
  EXPECT_GT(largest, 0);
}
