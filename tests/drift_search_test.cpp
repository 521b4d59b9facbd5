// The coarse drift search of torva-align: large drifts found among features
// that share their masses, and the composition of two corrections.
#include "align/drift_search.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A reference sample of compounds every 0.1 min from 1 to 29 min, of which
// each fifth shares its mass with another compound 0.4 to 1.2 min later (so a
// mass alone does not tell which peak is which), and the sample seen through
// `drift` (minutes late at reference time t).
template <typename Drift>
void makeSamples(Drift drift, std::vector<DriftPoint>& reference, std::vector<DriftPoint>& sample) {
  for (int i = 0; i < 280; ++i) {
    const double t = 1.0 + 0.1 * i;
    const double mz = i % 5 == 0 ? 150.0 + 0.5 * (i / 10) : 200.0 + 3.1 * i;
    reference.push_back(DriftPoint{mz, t});
    sample.push_back(DriftPoint{mz, t + drift(t)});
  }
}

}  // namespace

TEST(DriftSearch, LearnsLargeShiftsAndWavesAmongSharedMasses) {
  struct Case {
    const char* name;
    double shift;  // minutes
    double wave;   // amplitude over the run, minutes
  };
  for (const Case& c : {Case{"none", 0.0, 0.0}, Case{"late 1.4", 1.4, 0.0}, Case{"early 1.45", -1.45, 0.0},
                        Case{"wave", 0.3, 0.9}, Case{"early with wave", -1.0, 0.45}}) {
    const auto drift = [&](double t) { return c.shift + c.wave * std::sin(2 * M_PI * t / 30.0); };
    std::vector<DriftPoint> reference;
    std::vector<DriftPoint> sample;
    makeSamples(drift, reference, sample);
    double largest = 0;
    const RtCorrection correction =
        searchDrift(sample, reference, MassTolerance{10, 0}, DriftSearch{}, 0.0, 31.0, 0.1, &largest);
    for (const DriftPoint& point : reference) {
      const double t = point.rt;
      EXPECT_NEAR(correction.apply(t + drift(t)), t, 0.05) << c.name << " at " << t;
    }
    EXPECT_LE(largest, std::abs(c.shift) + c.wave + 0.05) << c.name;
    for (std::size_t g = 1; g < correction.corrected().size(); ++g)
      ASSERT_GE(correction.corrected()[g], correction.corrected()[g - 1]) << c.name;
  }
}

TEST(DriftSearch, LeavesSamplesWithoutPairsAsTheyAre) {
  std::vector<DriftPoint> reference = {{300.0, 5.0}, {400.0, 6.0}};
  // Masses that match nothing, and a match 2 min away, beyond the search.
  const RtCorrection correction = searchDrift({{310.0, 5.0}, {400.0, 8.0}}, reference, MassTolerance{10, 0},
                                              DriftSearch{}, 0.0, 10.0, 0.5);
  for (double t : {0.0, 4.2, 9.9}) EXPECT_EQ(correction.apply(t), t);
  EXPECT_EQ(correction.measured().size(), 21u);
}

TEST(DriftSearch, BackgroundCutIntoPiecesDoesNotOutweighTheCompounds) {
  // Two samples of different content share one compound a minute, undrifted,
  // while two background ions are cut into ten pieces each, 0.1 min apart, from
  // 5.0 min in the reference and from 4.1 min in the sample: their pieces pair
  // at offsets of 0 to 1.8 min, densest at 0.9. Each background mass weighs
  // as one feature, so the compounds' offset of 0 stands.
  std::vector<DriftPoint> reference;
  std::vector<DriftPoint> sample;
  for (int i = 1; i < 30; ++i) {
    reference.push_back(DriftPoint{200.0 + 7.3 * i, static_cast<double>(i)});
    sample.push_back(DriftPoint{200.0 + 7.3 * i, static_cast<double>(i)});
  }
  for (double mz : {118.0865, 74.0970}) {
    for (int k = 0; k < 10; ++k) {
      reference.push_back(DriftPoint{mz, 5.0 + 0.1 * k});
      sample.push_back(DriftPoint{mz, 4.1 + 0.1 * k});
    }
  }
  double largest = 0;
  const RtCorrection correction =
      searchDrift(sample, reference, MassTolerance{10, 0}, DriftSearch{}, 0.0, 31.0, 0.1, &largest);
  for (double t : {2.0, 4.5, 5.0, 5.5, 9.0}) EXPECT_NEAR(correction.apply(t), t, 0.05) << "at " << t;
  EXPECT_LT(largest, 0.1);
}

TEST(DriftSearch, ComposedCorrectionAppliesBothInTurn) {
  const RtCorrection late({0.0, 10.0}, {1.0, 11.0});     // one minute later
  const RtCorrection stretch({0.0, 20.0}, {0.0, 30.0});  // times 1.5
  const RtCorrection both = composeCorrections(late, stretch);
  EXPECT_EQ(both.measured(), (std::vector<double>{0.0, 10.0}));
  EXPECT_DOUBLE_EQ(both.apply(4.0), 7.5);
}
