#include "util/decimal_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/sim_random.h"
#include "util/console.h"

namespace {

std::string fixedText(double value, int digits) {
  std::string out = "x";  // appends, keeping what was there
  appendFixed(out, value, digits);
  return out.substr(1);
}

}  // namespace

TEST(DecimalText, EdgeValuesMatchPrintf) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> values = {0.0,
                                      -0.0,
                                      0.005,
                                      0.015,
                                      0.025,
                                      0.125,
                                      0.375,
                                      2.5,
                                      1.005,
                                      -1.005,
                                      -0.001,
                                      -0.004999,
                                      0.0049999999999999999,
                                      999.995,
                                      1e15 + 0.125,
                                      4503599627370495.5,
                                      9007199254740991.0,
                                      9007199254740992.0,
                                      1e300,
                                      -1e300,
                                      5e-324,
                                      -5e-324,
                                      2.2250738585072014e-308,
                                      inf,
                                      -inf,
                                      std::nan("")};
  for (double value : values) {
    for (int digits = 0; digits <= 10; ++digits) {
      EXPECT_EQ(fixedText(value, digits), console::fixed(value, digits)) << value << " digits " << digits;
    }
  }
}

// Random values over many magnitudes, and exact ties: multiples of 2^-k whose
// decimal expansion ends just after the last printed digit.
TEST(DecimalText, RandomValuesAndTiesMatchPrintf) {
  SimRandom random(12345);
  const auto between = [&random](std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(random.below(static_cast<std::uint64_t>(high - low + 1)));
  };
  for (int k = 0; k < 100000; ++k) {
    const double value =
        k % 2 == 0 ? std::ldexp(random.symmetric(), static_cast<int>(between(-30, 55)))
                   : std::ldexp(static_cast<double>(between(-(std::int64_t{1} << 40), std::int64_t{1} << 40)),
                                -static_cast<int>(between(0, 12)));
    for (int digits : {0, 1, 2, 4, 5, 9}) {
      ASSERT_EQ(fixedText(value, digits), console::fixed(value, digits)) << value << " digits " << digits;
    }
    // Two digits, the reports' usual case, right at and beside half a cent,
    // where the product with 100 in doubles may round either way.
    const double half = (static_cast<double>(between(0, std::int64_t{1} << 40)) + 0.5) / 100.0;
    for (double near : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300), -half}) {
      ASSERT_EQ(fixedText(near, 2), console::fixed(near, 2)) << near;
    }
  }
}
