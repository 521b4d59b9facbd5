#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "processing/filterer.h"

namespace {

chrom traceOf(const std::vector<double>& values) {
  chrom X;
  X.intensities = values;
  for (std::size_t k = 0; k < values.size(); ++k) X.times.push_back(2.0 * k);
  return X;
}

// A trace of `length` zeros with `height` at `position`.
chrom impulse(std::size_t length, std::size_t position, double height) {
  std::vector<double> values(length, 0.0);
  values[position] = height;
  return traceOf(values);
}

}  // namespace

TEST(Smoothing, ElevenPointsAreLeftAsTheyAreNegativesIncluded) {
  const std::vector<double> values = {5, -3, 0, 8, 21, -7, 4, 4, 9, -1, 2};
  filterer f;
  for (int selector : {5, 8, 11}) {
    chrom X = traceOf(values);
    f.SGsmooth(selector, X);
    EXPECT_EQ(X.intensities, values) << "selector " << selector;
  }
}

TEST(Smoothing, TwelvePointsSmoothOnlyPointsThreeToEightAndClampEverything) {
  chrom X = traceOf({5, 0, 0, 0, 0, 0, 21, 0, 0, 0, 0, -4});
  filterer().SGsmooth(5, X);
  // Point 3 sees -2*5 - 2*21 and is clamped; point 8 sees 3*21 - 2*(-4); the last
  // point keeps its input (-4) and is then clamped as well.
  const std::vector<double> expected = {5, 0, 0, 0, 3, 6, 7, 6, 71.0 / 21.0, 0, 0, 0};
  EXPECT_EQ(X.intensities, expected);
}

TEST(Smoothing, ValuesNextToASpikeThatDipBelowZeroAreClamped) {
  chrom X = impulse(20, 10, 1000);
  filterer().SGsmooth(5, X);
  EXPECT_EQ(X.intensities[7], 0);  // -2 * 1000 / 21 before the clamp
  EXPECT_EQ(X.intensities[13], 0);
  EXPECT_EQ(X.intensities[8], 3 * 1000.0 / 21.0);
  EXPECT_EQ(X.intensities[10], 7 * 1000.0 / 21.0);
}

TEST(Smoothing, SelectorChoosesTheWindow) {
  filterer f;
  const struct {
    int selector;
    double centre;
  } cases[] = {
      {-1, 7.0 / 21.0}, {5, 7.0 / 21.0}, {6, 43.0 / 323.0}, {10, 43.0 / 323.0}, {11, 467.0 / 5175.0}};
  for (const auto& c : cases) {
    chrom X = impulse(60, 30, 1.0);
    f.SGsmooth(c.selector, X);
    EXPECT_EQ(X.intensities[30], c.centre) << "selector " << c.selector;
  }
}

TEST(Smoothing, ConstantTraceIsUnchangedByEveryWindow) {
  filterer f;
  for (int selector : {5, 8, 11}) {
    chrom X = traceOf(std::vector<double>(40, 1234.5));
    f.SGsmooth(selector, X);
    EXPECT_EQ(X.intensities, std::vector<double>(40, 1234.5)) << "selector " << selector;
  }
}

TEST(Smoothing, WideWindowsOnTracesWithoutAFullWindowOnlyClamp) {
  filterer f;
  std::vector<double> values(16, 3.0);
  values[2] = -6;
  values[8] = 50;
  chrom X = traceOf(values);
  f.SGsmooth(8, X);  // 17 points need more than 16 samples
  values[2] = 0;
  EXPECT_EQ(X.intensities, values);

  chrom Y = impulse(24, 12, -5.0);
  f.SGsmooth(11, Y);  // 25 points need more than 24 samples
  EXPECT_EQ(Y.intensities, std::vector<double>(24, 0.0));

  chrom Z = impulse(17, 8, 323.0);  // exactly one point has a full 17-point window
  f.SGsmooth(8, Z);
  EXPECT_EQ(Z.intensities[8], 43.0);
  EXPECT_EQ(Z.intensities[7], 0.0);
}

TEST(TrapezoidArea, SumsTrapezoidsOverTheRange) {
  filterer f;
  chrom X;
  X.times = {0, 2};
  X.intensities = {10, 30};
  f.trapizoid(X, 0, 2);
  EXPECT_EQ(X.area, 40);

  X.times = {0, 1, 3, 6, 10};
  X.intensities = {100, 10, 30, 50, 1000};
  f.trapizoid(X, 1, 4);  // (10+30)*2 + (30+50)*3, halved; the points outside are ignored
  EXPECT_EQ(X.area, 160);
}

TEST(TrapezoidArea, OnePointRangeIsZeroAndEmptyRangeIsThePointHeight) {
  filterer f;
  chrom X;
  X.times = {0, 2, 4};
  X.intensities = {10, 30, 50};
  X.area = 99;
  f.trapizoid(X, 1, 2);
  EXPECT_EQ(X.area, 0);
  f.trapizoid(X, 2, 2);
  EXPECT_EQ(X.area, 50);
  f.trapizoid(X, 2, 1);
  EXPECT_EQ(X.area, 0);
}

TEST(TrapezoidArea, IndicesOutsideTheTraceAreNotRead) {
  filterer f;
  chrom X;
  X.times = {0, 2};
  X.intensities = {10, 30};
  EXPECT_THROW(f.trapizoid(X, 0, 3), std::out_of_range);
  EXPECT_THROW(f.trapizoid(X, 2, 2), std::out_of_range);
}
