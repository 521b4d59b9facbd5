#include "processing/mass_traces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Peaks of one m/z over consecutive spectra; an intensity of 0 means the
// spectrum has no peak there.
struct Series {
  double mz;
  std::vector<double> intensities;
};

std::vector<scan> spectraOf(const std::vector<Series>& series) {
  std::size_t length = 0;
  for (const Series& s : series) length = std::max(length, s.intensities.size());
  std::vector<scan> spectra(length);
  for (const Series& s : series) {
    for (std::size_t k = 0; k < s.intensities.size(); ++k) {
      if (s.intensities[k] > 0) spectra[k].peaks.push_back({s.mz, s.intensities[k]});
    }
  }
  return spectra;
}

std::vector<MassTrace> trace(const std::vector<scan>& spectra, const MassTraceSettings& settings) {
  std::vector<const scan*> pointers;
  for (const scan& spectrum : spectra) pointers.push_back(&spectrum);
  return buildMassTraces(pointers, settings);
}

struct Expected {
  double mz;
  std::size_t first, last, apex, points;
};

}  // namespace

TEST(MassTraces, FollowsGapsTolerancesAndThresholds) {
  const std::vector<double> peak = {1e3, 4e3, 9e3, 4e3, 1e3};
  struct Case {
    std::string name;
    std::vector<Series> series;
    double noiseLevel;
    std::vector<Expected> expected;
  };
  const std::vector<Case> cases = {
      {"a peak", {{300.0, peak}}, 500, {{300.0, 0, 4, 2, 5}}},
      {"two missing spectra bridged", {{300.0, {1e3, 2e3, 3e3, 0, 0, 5e3, 2e3}}}, 500, {{300.0, 0, 6, 5, 5}}},
      {"three missing spectra split, halves too short",
       {{300.0, {1e3, 2e3, 3e3, 0, 0, 0, 5e3, 2e3, 1e3}}},
       500,
       {}},
      {"too few points", {{300.0, {1e3, 9e3, 4e3, 1e3}}}, 500, {}},
      {"apex not above the noise level", {{300.0, peak}}, 9e3, {}},
      {"12 ppm apart: two traces",
       {{500.0, peak}, {500.006, peak}},
       500,
       {{500.0, 0, 4, 2, 5}, {500.006, 0, 4, 2, 5}}},
      {"later apex comes later, lower m/z first on a tie",
       {{700.0, {0, 0, 1e3, 4e3, 9e3, 4e3, 1e3}}, {200.0, peak}, {100.0, peak}},
       500,
       {{100.0, 0, 4, 2, 5}, {200.0, 0, 4, 2, 5}, {700.0, 2, 6, 4, 5}}},
  };
  MassTraceSettings settings;  // 10 ppm, 2 missing spectra, 5 points
  for (const Case& c : cases) {
    settings.noiseLevel = c.noiseLevel;
    const std::vector<MassTrace> traces = trace(spectraOf(c.series), settings);
    ASSERT_EQ(traces.size(), c.expected.size()) << c.name;
    for (std::size_t t = 0; t < traces.size(); ++t) {
      EXPECT_DOUBLE_EQ(traces[t].mz, c.expected[t].mz) << c.name;
      EXPECT_EQ(traces[t].first, c.expected[t].first) << c.name;
      EXPECT_EQ(traces[t].last, c.expected[t].last) << c.name;
      EXPECT_EQ(traces[t].apex, c.expected[t].apex) << c.name;
      EXPECT_EQ(traces[t].points, c.expected[t].points) << c.name;
    }
  }
}

TEST(MassTraces, JitteredPeaksJoinTheNearestTraceAtTheirWeightedMean) {
  // Two compounds 8 ppm apart would merge; these are 40 ppm apart, each with
  // +-3 ppm scatter, and a weak peak in between that belongs to neither.
  std::vector<scan> spectra(6);
  const double jitter[] = {3e-6, -2e-6, 1e-6, -3e-6, 2e-6, 0};
  const double heights[] = {1e3, 5e3, 2e4, 5e3, 1e3, 500};
  for (std::size_t k = 0; k < spectra.size(); ++k) {
    spectra[k].peaks.push_back({400.0 * (1 + jitter[k]), heights[k]});
    spectra[k].peaks.push_back({400.016 * (1 - jitter[k]), 2 * heights[k]});
  }
  spectra[2].peaks.push_back({400.008, 50});
  double weighted = 0, weight = 0;
  for (std::size_t k = 0; k < spectra.size(); ++k) {
    weighted += spectra[k].peaks[0].mz * spectra[k].peaks[0].intensity;
    weight += spectra[k].peaks[0].intensity;
  }
  MassTraceSettings settings;
  settings.noiseLevel = -1;  // estimated: 3 x the median centroid intensity
  const std::vector<MassTrace> traces = trace(spectra, settings);
  ASSERT_EQ(traces.size(), 2u);
  EXPECT_DOUBLE_EQ(traces[0].mz, weighted / weight);
  EXPECT_EQ(traces[0].points, 6u);
  EXPECT_NEAR(traces[1].mz, 400.016, 400.016 * 1e-6);
  EXPECT_EQ(traces[1].apex, 2u);
  // The median of the 13 centroids is 2000, so the estimated level is 6000.
  std::vector<const scan*> pointers;
  for (const scan& spectrum : spectra) pointers.push_back(&spectrum);
  EXPECT_DOUBLE_EQ(estimateNoiseLevel(pointers, 3), 6000);
  settings.noiseLevel = 3e4;  // above the first compound's apex, below the second's
  const std::vector<MassTrace> strong = trace(spectra, settings);
  ASSERT_EQ(strong.size(), 1u);
  EXPECT_NEAR(strong[0].mz, 400.016, 400.016 * 1e-6);
}
