#include "processing/wavelet/symmlet8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "processing/filterer.h"

namespace {

// A deterministic, irregular signal with both signs.
std::vector<double> wiggle(std::size_t n) {
  std::vector<double> values(n);
  for (std::size_t i = 0; i < n; ++i) values[i] = 100 * std::sin(0.7 * i) + 37.0 * (i % 5) - 60;
  return values;
}

double maxAbs(const std::vector<double>& values) {
  double largest = 0;
  for (double v : values) largest = std::max(largest, std::fabs(v));
  return largest;
}

}  // namespace

TEST(Symmlet8, CoefficientsAreSinglePrecisionValuesAndHighPassMirrorsLowPass) {
  double sum = 0;
  for (int k = 0; k < 8; ++k) {
    const double low = FastSymmlet8::L[k];
    EXPECT_EQ(low, static_cast<double>(static_cast<float>(low))) << k;
    EXPECT_EQ(FastSymmlet8::H[k], (k % 2 == 0 ? -1 : 1) * FastSymmlet8::L[7 - k]) << k;
    sum += low;
  }
  EXPECT_NEAR(sum, std::sqrt(2.0), 1e-6);
}

TEST(Symmlet8, OneAnalysisLevelWrapsAroundTheLevel) {
  // An impulse at 0 is picked up by the taps that wrap past the end: a[i] = L[(8 - 2i) % 8].
  std::vector<double> values = {1, 0, 0, 0, 0, 0, 0, 0, 42};
  FastSymmlet8::transform(values, 16, 8);
  const double* L = FastSymmlet8::L;
  const double* H = FastSymmlet8::H;
  const std::vector<double> expected = {L[0], L[6], L[4], L[2], H[0], H[6], H[4], H[2], 42};
  EXPECT_EQ(values, expected);
}

TEST(Symmlet8, InverseRestoresTheInput) {
  for (std::size_t n : {16, 32, 64}) {
    const std::vector<double> input = wiggle(n);
    std::vector<double> values = input;
    FastSymmlet8::transform(values, static_cast<int>(n));
    EXPECT_GT(maxAbs(values), 0);
    FastSymmlet8::invTransform(values, static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
      // The coefficients are rounded to single precision, so the filter bank is
      // orthogonal only to about 1e-7.
      EXPECT_NEAR(values[i], input[i], 1e-4) << "n " << n << " i " << i;
    }
  }
}

TEST(Symmlet8, ConstantListGivesEqualApproximationsAndNearZeroDetails) {
  std::vector<double> values(16, 5.0);
  FastSymmlet8::transform(values, 16);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(values[i], values[0]);
    EXPECT_NEAR(values[i], 5.0 * std::sqrt(2.0), 1e-5);
    EXPECT_NEAR(values[8 + i], 0.0, 1e-5);
  }
}

TEST(Symmlet8, EightPointsOrFewerHaveNoTransformLevel) {
  const std::vector<double> input = wiggle(8);
  std::vector<double> values = input;
  FastSymmlet8::transform(values, 8);
  EXPECT_EQ(values, input);
  FastSymmlet8::invTransform(values, 8);
  EXPECT_EQ(values, input);
}

TEST(Symmlet8, ExpandIsASynthesisLevelWithoutDetails) {
  std::vector<double> withZeroDetails = wiggle(16);
  for (int i = 8; i < 16; ++i) withZeroDetails[i] = 0;
  std::vector<double> expanded = wiggle(16);
  FastSymmlet8::invTransform(withZeroDetails, 16, 8);
  FastSymmlet8::expand(expanded, 16);
  EXPECT_EQ(expanded, withZeroDetails);
}

TEST(SoftThreshold, AllZeroOrTooFewNonZeroMagnitudesChangeNothing) {
  double fraction = 0.15;
  std::vector<double> zeros(16, 0.0);
  FastSymmlet8::threshold(zeros, 0, 4, fraction);
  EXPECT_EQ(zeros, std::vector<double>(16, 0.0));

  // Six non-zero magnitudes: the rank at 0.15 is int(0.9) - 1 = -1.
  const std::vector<double> six = {0, 4, -9, 0, 1, 0, 0, 7, 0, 2, 0, 0, -3, 0, 0, 0};
  std::vector<double> values = six;
  FastSymmlet8::threshold(values, 0, 4, fraction);
  EXPECT_EQ(values, six);
}

TEST(SoftThreshold, SevenNonZeroSamplesAllShrinkToZero) {
  double fraction = 0.15;
  std::vector<double> values = {3, -8, 1, 0.5, 12, -2, 6, 0};
  FastSymmlet8::threshold(values, 1, 3, fraction);
  for (double v : values) EXPECT_EQ(v, 0);
}

TEST(SoftThreshold, EntryOfMagnitudeExactlyTBecomesZero) {
  // With fraction 1 the rank is the smallest non-zero magnitude, 1, so T = sqrt(2 ln 4).
  double fraction = 1.0;
  const double T = std::sqrt(2 * std::log(4.0));
  std::vector<double> values = {1, -T, 10, 0};
  FastSymmlet8::threshold(values, 0, 2, fraction);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(values[1], 0);
  EXPECT_EQ(values[2], 10 - T);
  EXPECT_EQ(values[3], 0);
}

TEST(SoftThreshold, PaddedTailIsLeftOutOfTheStatisticsButShrunk) {
  // pad 4 leaves out the last 2 of 16 entries; of the 14 others the rank
  // int(14 * 0.15) - 1 = 1 from the top is 13.
  double fraction = 0.15;
  std::vector<double> values;
  for (int i = 1; i <= 14; ++i) values.push_back(i);
  values.push_back(1000);
  values.push_back(-1000);
  FastSymmlet8::threshold(values, 4, 4, fraction);
  const double T = std::sqrt(2 * std::log(16.0)) * 13;
  EXPECT_EQ(values[14], 1000 - T);
  EXPECT_EQ(values[15], -(1000 - T));
  EXPECT_EQ(values[13], 0);
}

TEST(WaveletDenoise, OnePointEmptyAndZeroPassesAreUnchanged) {
  filterer f;
  double fraction = 0.15;
  chrom one;
  one.intensities = {12345};
  f.waveletDenoise(fraction, 10, one);
  EXPECT_EQ(one.intensities, std::vector<double>{12345});

  chrom empty;
  f.waveletDenoise(fraction, 10, empty);
  EXPECT_TRUE(empty.intensities.empty());

  chrom untouched;
  untouched.intensities = wiggle(40);
  f.waveletDenoise(fraction, 0, untouched);
  EXPECT_EQ(untouched.intensities, wiggle(40));
}

TEST(WaveletDenoise, ShortTraceWithSevenNonZeroSamplesBecomesZero) {
  filterer f;
  double fraction = 0.15;
  chrom X;
  X.intensities = {500, 900, 4000, 12000, 3000, 800, 100};
  f.waveletDenoise(fraction, 10, X);
  EXPECT_EQ(X.intensities, std::vector<double>(7, 0.0));
}

TEST(WaveletDenoise, KeepsLengthAndPeakPositionAfterShiftedPasses) {
  filterer f;
  double fraction = 0.15;
  for (std::size_t n : {2, 9, 17, 33, 40, 61, 100, 128}) {
    chrom X;
    const double centre = 0.6 * n;
    for (std::size_t i = 0; i < n; ++i) {
      const double z = (i - centre) / 4.0;
      X.intensities.push_back(50000 * std::exp(-0.5 * z * z) + 300 * ((i * 7) % 3));
    }
    f.waveletDenoise(fraction, 10, X);
    ASSERT_EQ(X.intensities.size(), n);
    if (n < 40) continue;  // shorter traces lose a peak this narrow altogether
    std::size_t apex = 0;
    for (std::size_t i = 1; i < n; ++i) {
      if (X.intensities[i] > X.intensities[apex]) apex = i;
    }
    EXPECT_NEAR(static_cast<double>(apex), centre, 2) << "n " << n;
    EXPECT_GT(X.intensities[apex], 10000) << "n " << n;
  }
}
