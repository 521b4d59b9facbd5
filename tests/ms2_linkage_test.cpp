#include "compounds/ms2_linkage.h"

#include <gtest/gtest.h>

namespace {

TEST(Ms2Linkage, EachScanGoesToTheNearestFeatureInTime) {
  const std::vector<LinkedFeature> features = {
      {301.1410, 90, 110, 1e6},    // 0
      {301.1440, 95, 105, 5e5},    // 1: 10 ppm away from feature 0
      {302.1443, 90, 110, 1.5e5},  // 2: the 13C1 of feature 0
      {450.2000, 200, 220, 1e5},   // 3
  };
  struct Case {
    const char* what;
    TandemScan scan;
    long owner;  // -1: none
  };
  const Case cases[] = {
      {"exact precursor", {100, 301.1411, 0, 0}, 0},
      {"nearer the second", {100, 301.1438, 0, 0}, 1},
      {"inside only the first's edges", {92, 301.1438, 0, 0}, 0},
      {"before every edge", {80, 301.1410, 0, 0}, -1},
      {"precursor rounded to 2 decimals", {210, 450.20, 0, 0}, 3},
      {"outside the window, isolation window unknown", {210, 450.25, 0, 0}, -1},
      {"outside the window, inside the isolation window", {210, 450.25, 449.8, 450.8}, 3},
      {"no precursor", {210, 0, 449, 451}, -1},
  };
  std::vector<TandemScan> scans;
  for (const Case& c : cases) scans.push_back(c.scan);
  const std::vector<std::vector<std::size_t>> linked = linkTandemScans(features, scans, Ms2LinkOptions());
  ASSERT_EQ(linked.size(), features.size());
  for (std::size_t s = 0; s < scans.size(); ++s) {
    SCOPED_TRACE(cases[s].what);
    long owner = -1;
    for (std::size_t f = 0; f < features.size(); ++f) {
      for (std::size_t scan : linked[f]) {
        if (scan == s) {
          EXPECT_EQ(owner, -1) << "scan linked twice";
          owner = static_cast<long>(f);
        }
      }
    }
    EXPECT_EQ(owner, cases[s].owner);
  }
}

TEST(Ms2Linkage, ScansOfAFeatureComeInTimeOrder) {
  const std::vector<LinkedFeature> features = {{200.0, 10, 30, 1}};
  const std::vector<TandemScan> scans = {{25, 200.0, 0, 0}, {12, 200.0, 0, 0}, {18, 200.0, 0, 0}};
  const auto linked = linkTandemScans(features, scans, Ms2LinkOptions());
  EXPECT_EQ(linked[0], (std::vector<std::size_t>{1, 2, 0}));
}

}  // namespace
