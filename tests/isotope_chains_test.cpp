#include "compounds/isotope_chains.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "compounds/adduct_table.h"
#include "compounds/correlation.h"

namespace {

// The co-eluting features of each feature as the grouping first found them: every pair of the features sorted
// by one apex estimate, the later apex within the earlier feature's reach and within the pair's window; by
// the smoothed apex and by the raw trace's highest point, merged and sorted by index.
std::vector<std::vector<std::size_t>> coelutingByAllPairs(const std::vector<GroupingFeature>& features,
                                                          const GroupingOptions& options) {
  std::vector<std::vector<std::size_t>> lists(features.size());
  for (int estimate = 0; estimate < 2; ++estimate) {
    const auto time = [&](std::size_t f) {
      return estimate == 0 ? features[f].rt : (features[f].traceApex > 0 ? features[f].traceApex : -1.0);
    };
    std::vector<std::size_t> order;
    for (std::size_t f = 0; f < features.size(); ++f) {
      if (time(f) >= 0) order.push_back(f);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return time(a) < time(b); });
    for (std::size_t p = 0; p < order.size(); ++p) {
      const GroupingFeature& a = features[order[p]];
      const double reach =
          std::max(options.apexFraction * std::max(a.rtEnd - a.rtStart, 0.0), options.minApexSeconds);
      for (std::size_t q = p + 1; q < order.size() && time(order[q]) - time(order[p]) <= reach; ++q) {
        const GroupingFeature& b = features[order[q]];
        const double width = std::min(a.rtEnd - a.rtStart, b.rtEnd - b.rtStart);
        const double window = std::max(options.apexFraction * std::max(width, 0.0), options.minApexSeconds);
        if (time(order[q]) - time(order[p]) > window) continue;
        lists[order[p]].push_back(order[q]);
        lists[order[q]].push_back(order[p]);
      }
    }
  }
  for (std::vector<std::size_t>& list : lists) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  return lists;
}

// Runs with many features close in time: equal apexes, features without a raw apex, peaks of every width
// (some of none, one of negative width, one whose width is not a number), a few m/z repeated.
std::vector<GroupingFeature> crowdedRun(unsigned seed, std::size_t count) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<GroupingFeature> features;
  for (std::size_t f = 0; f < count; ++f) {
    GroupingFeature feature;
    feature.mz = f % 7 == 3 && f > 0 ? features[f - 1].mz : 100 + 400 * unit(random);
    feature.rt = f % 5 == 1 && f > 0 ? features[f - 1].rt : std::floor(600 * unit(random) * 4) / 4;
    const double width = f % 11 == 0 ? 0 : 2 + 60 * unit(random) * unit(random);
    feature.rtStart = feature.rt - width * unit(random);
    feature.rtEnd = feature.rtStart + width;
    feature.intensity = 1e4 + 1e6 * unit(random);
    feature.traceApex = f % 3 == 0 ? 0 : feature.rt + 4 * (unit(random) - 0.5);
    features.push_back(feature);
  }
  features[count / 2].rtEnd = features[count / 2].rtStart - 5;
  features[count / 3].rtEnd = std::numeric_limits<double>::quiet_NaN();
  return features;
}

TEST(Neighbours, CoelutionMatchesThePlainPairSearch) {
  struct Case {
    unsigned seed;
    double apexFraction, minApexSeconds;
    bool dense;  // most m/z within one dalton, a few far off: many features to an m/z bucket
  };
  for (const Case c : {Case{1, 0.3, 0, false}, Case{2, 0.3, 1.5, false}, Case{3, 0.05, 0, false},
                       Case{4, 1.0, 3, false}, Case{5, 0.3, 0, true}}) {
    SCOPED_TRACE(c.seed);
    std::vector<GroupingFeature> features = crowdedRun(c.seed, 400);
    if (c.dense) {
      for (std::size_t f = 0; f < features.size(); ++f) {
        if (f % 10 != 0) features[f].mz = 200 + (features[f].mz - 100) / 400;
      }
    }
    GroupingOptions options;
    options.apexFraction = c.apexFraction;
    options.minApexSeconds = c.minApexSeconds;
    const FeatureSimilarity none;
    const Neighbours neighbours(features, options, none);
    const std::vector<std::vector<std::size_t>> expected = coelutingByAllPairs(features, options);
    std::size_t pairs = 0;
    for (std::size_t a = 0; a < features.size(); ++a) {
      ASSERT_EQ(neighbours.coelutingWith(a), expected[a]) << a;
      pairs += expected[a].size();
      for (std::size_t b = 0; b < features.size(); ++b) {
        ASSERT_EQ(neighbours.coelute(a, b), std::binary_search(expected[a].begin(), expected[a].end(), b));
      }
      // Within an m/z range: the co-eluting features there, by index; ranges reaching past the run's
      // m/z at either end, and one of a single m/z.
      const double ranges[][2] = {{features[a].mz - 30, features[a].mz + 30},
                                  {-1e9, 120},
                                  {450, 1e9},
                                  {features[a].mz, features[a].mz},
                                  {features[(a + 1) % 400].mz, 1e9},
                                  {features[a].mz - 0.002, features[a].mz + 0.003}};
      for (const auto& range : ranges) {
        std::vector<std::size_t> near, inRange;
        neighbours.coelutingWithin(a, range[0], range[1], near);
        for (std::size_t b : expected[a]) {
          if (features[b].mz >= range[0] && features[b].mz <= range[1]) inRange.push_back(b);
        }
        ASSERT_EQ(near, inRange) << a << " " << range[0] << " " << range[1];
      }
      // Ranges gathered one after the other (overlapping, one empty): the same features, in some order,
      // as often as their ranges hold them.
      std::vector<std::size_t> gathered, each;
      for (const auto& range : ranges) {
        neighbours.addCoelutingWithin(a, range[0], range[1], gathered);
        std::vector<std::size_t> near;
        neighbours.coelutingWithin(a, range[0], range[1], near);
        each.insert(each.end(), near.begin(), near.end());
      }
      neighbours.addCoelutingWithin(a, 1e9, -1e9, gathered);
      std::sort(gathered.begin(), gathered.end());
      std::sort(each.begin(), each.end());
      ASSERT_EQ(gathered, each) << a;
    }
    EXPECT_GT(pairs, features.size());  // the runs are crowded enough to test something
  }
}

// The fast form of the shape correlation against the plain one, to the bit, over traces that overlap by
// every amount, flat ones included.
TEST(Correlation, AveragedTracesGiveTheSameCorrelationToTheBit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<FeatureTrace> traces;
  for (std::size_t t = 0; t < 40; ++t) {
    FeatureTrace trace;
    trace.first = static_cast<std::size_t>(30 * unit(random));
    const std::size_t length = 1 + static_cast<std::size_t>(25 * unit(random));
    const double centre = static_cast<double>(trace.first) + static_cast<double>(length) * unit(random);
    for (std::size_t k = 0; k < length; ++k) {
      const double x = (static_cast<double>(trace.first + k) - centre) / 4;
      trace.values.push_back(t % 9 == 0 ? 5e4 : 1e5 * std::exp(-x * x) * (0.9 + 0.2 * unit(random)));
    }
    if (t % 2 == 1 && length > 4) {  // read beyond the peak's edges
      trace.peakFirst = trace.first + 1 + static_cast<std::size_t>(2 * unit(random));
      trace.peakEnd = trace.end() - 1 - static_cast<std::size_t>(2 * unit(random));
    }
    traces.push_back(trace);
  }
  std::vector<SmoothedTrace> smoothed;
  for (const FeatureTrace& trace : traces) smoothed.push_back(smoothedTrace(trace));
  // Each trace's moving average as the plain loop takes it (sums from 0, in order), to the bit: the traces
  // above and short ones of negative zeros, mixed signs and values of no number.
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  std::vector<FeatureTrace> odd = traces;
  for (const std::vector<double>& values : {std::vector<double>{-0.0},
                                            {-0.0, -0.0, -0.0, -0.0, -0.0, -0.0},
                                            {1e300, 1e300, -1e300, 3, -0.0, 1e-300},
                                            {1, nan, 2, 3, 4, 5, 6},
                                            {inf, 1, 2, 3, -inf, 4},
                                            {0.1, 0.2, 0.3, 0.4, 0.5},
                                            {0.1, 0.7},
                                            {0.3, -0.0, 1e-300},
                                            {1e300, -1e300, 0.1, 0.2}}) {
    odd.push_back(FeatureTrace{0, values});
  }
  for (const FeatureTrace& trace : odd) {
    const std::vector<double>& v = trace.values;
    const SmoothedTrace smoothed = smoothedTrace(trace);
    const std::vector<double> fast(smoothed.smooth(), smoothed.smooth() + smoothed.trace.values.size());
    ASSERT_EQ(fast.size(), v.size());
    for (std::size_t k = 0; k < v.size(); ++k) {
      const std::size_t low = k >= 2 ? k - 2 : 0, high = std::min(v.size(), k + 3);
      double sum = 0;
      for (std::size_t j = low; j < high; ++j) sum += v[j];
      const double plain = sum / static_cast<double>(high - low);
      ASSERT_EQ(std::memcmp(&plain, &fast[k], sizeof plain), 0) << k << ": " << plain << " " << fast[k];
    }
  }
  std::size_t compared = 0;
  for (std::size_t a = 0; a < traces.size(); ++a) {
    for (std::size_t b = 0; b < traces.size(); ++b) {
      const double plain = shapeCorrelation(traces[a], traces[b]);
      const double fast = shapeCorrelation(smoothed[a], smoothed[b]);
      if (std::isnan(plain)) {
        EXPECT_TRUE(std::isnan(fast));
        continue;
      }
      ++compared;
      ASSERT_EQ(std::memcmp(&plain, &fast, sizeof plain), 0) << a << " " << b << ": " << plain << " " << fast;
    }
  }
  EXPECT_GT(compared, 200u);
}

// One ion's edges drawn around the top of its peak only: within those edges both traces are the flat top
// and the scan-to-scan scatter, over both peaks together they share the elution profile.
TEST(Correlation, ComparesShapesOverBothPeaks) {
  FeatureTrace wide, narrowTop;
  wide.first = narrowTop.first = 0;
  const double scatters[] = {1.2, 0.8, 1.1, 0.9, 0.85, 1.15, 1.0, 0.8, 1.2, 0.95, 1.05};
  for (std::size_t k = 0; k < 41; ++k) {
    const double x = (static_cast<double>(k) - 20) / 8;
    const double scatter = scatters[k % 11];
    wide.values.push_back(1e6 * std::exp(-x * x));
    narrowTop.values.push_back(2e5 * std::exp(-x * x) * scatter);
  }
  wide.peakFirst = 4;
  wide.peakEnd = 37;
  narrowTop.peakFirst = 17;
  narrowTop.peakEnd = 24;
  EXPECT_GT(shapeCorrelation(wide, narrowTop), 0.9) << shapeCorrelation(wide, narrowTop);
  // Read only over the peaks, they are compared where both lie: the top, where scatter decides.
  const FeatureTrace wideAlone{8, std::vector<double>(wide.values.begin() + 8, wide.values.begin() + 33)};
  const FeatureTrace topAlone{
      16, std::vector<double>(narrowTop.values.begin() + 16, narrowTop.values.begin() + 25)};
  const double alone = shapeCorrelation(wideAlone, topAlone);
  EXPECT_TRUE(alone == kFlatTraces || alone < 0.8) << alone;
  // Spectra outside both peaks take no part: the same pair with unrelated intensities there.
  FeatureTrace noisyOutside = narrowTop;
  noisyOutside.values[2] = 9e5;
  noisyOutside.values[38] = 7e5;
  EXPECT_EQ(shapeCorrelation(wide, noisyOutside), shapeCorrelation(wide, narrowTop));
}

// A weak isotope's shape correlates by chance anywhere from 0 to 1: a close m/z (a fifth of the tolerance)
// needs only a shape that does not run against the monoisotopic one; a piece of an isotope peak split in
// two joins the pattern of the other piece. Features: the monoisotopic ion (0), its 13C1 (1) at the given
// m/z error and correlation, and (2) a second piece of the 13C1 peak at the 13C1's m/z.
TEST(IsotopeChains, CloseWeakIsotopesAndSplitPieces) {
  struct Case {
    const char* what;
    double errorPpm, correlation, closeFraction;
    double pieceStart, pieceEnd, pieceArea;  // the second piece (apex a second after its start); 0: none
    int expectedStep1, expectedStep2;        // step of features 1 and 2 (0: not in the pattern)
  };
  const Case cases[] = {
      {"strong shape", 8, 0.9, 0.2, 0, 0, 0, 1, 0},
      {"close, weak shape", 1, 0.5, 0.2, 0, 0, 0, 1, 0},
      {"far, weak shape", 5, 0.5, 0.2, 0, 0, 0, 0, 0},
      {"close, shape against", 1, -0.3, 0.2, 0, 0, 0, 0, 0},
      {"close, weak shape, no allowance", 1, 0.5, 0, 0, 0, 0, 0, 0},
      {"split piece touching", 0, 0.9, 0.2, 100, 112, 1e5, 1, 1},
      {"split piece overlapping", 0, 0.9, 0.2, 95, 112, 1e5, 1, 1},
      {"piece apart in time", 0, 0.9, 0.2, 101, 112, 1e5, 1, 0},
      {"piece too intense", 0, 0.9, 0.2, 100, 112, 5e6, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double mono = 500.25, isotope = mono + kCarbon13Step;
    std::vector<GroupingFeature> features = {
        GroupingFeature{mono, 100, 85, 115, 1e6, 0},
        GroupingFeature{isotope * (1 + c.errorPpm * 1e-6), 98, 88, 100, 1.5e5, 0},
    };
    if (c.pieceArea > 0) {
      features.push_back(
          GroupingFeature{isotope * (1 + 2e-6), c.pieceStart + 1, c.pieceStart, c.pieceEnd, c.pieceArea, 0});
    }
    GroupingOptions options;
    options.closeIsotopeFraction = c.closeFraction;
    const FeatureSimilarity similarity = [&c](std::size_t, std::size_t) { return c.correlation; };
    const Neighbours neighbours(features, options, similarity);
    const std::vector<IsotopeMark> marks = findIsotopeChains(features, neighbours, options);
    EXPECT_EQ(marks[1].parent >= 0 ? marks[1].step : 0, c.expectedStep1);
    if (c.pieceArea > 0) {
      EXPECT_EQ(marks[2].parent >= 0 ? marks[2].step : 0, c.expectedStep2);
      if (c.expectedStep2 > 0) {
        EXPECT_EQ(marks[2].parent, 0);
      }
    }
  }
}

// Peptides in quality-control runs carry four charges: their pattern (steps of a quarter of 1.00336) is one
// pattern of charge 4, not two interleaved ones of charge 2; a pattern of charge 2 stays one of charge 2.
TEST(IsotopeChains, PatternsOfChargeFourAndTwo) {
  struct Case {
    const char* what;
    int charge, peaks;
    double share[6];  // of the monoisotopic peak's intensity, within the carbon bound of the mass
  };
  const Case cases[] = {{"charge 4", 4, 6, {1.0, 0.9, 0.55, 0.25, 0.1, 0.04}},
                        {"charge 2", 2, 4, {1.0, 0.45, 0.15, 0.04}},
                        {"charge 1", 1, 3, {1.0, 0.25, 0.04}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double mono = 435.6965;
    std::vector<GroupingFeature> features;
    for (int k = 0; k < c.peaks; ++k) {
      features.push_back(
          GroupingFeature{mono + k * kCarbon13Step / c.charge, 100, 90, 110, 1e6 * c.share[k], 0});
    }
    const FeatureSimilarity similarity = [](std::size_t, std::size_t) { return 0.99; };
    GroupingOptions options;
    const Neighbours neighbours(features, options, similarity);
    const std::vector<IsotopeMark> marks = findIsotopeChains(features, neighbours, options);
    EXPECT_EQ(marks[0].charge, c.charge);
    for (int k = 1; k < c.peaks; ++k) {
      EXPECT_EQ(marks[k].parent, 0) << k;
      EXPECT_EQ(marks[k].step, k) << k;
      EXPECT_EQ(marks[k].charge, c.charge) << k;
    }
  }
}

}  // namespace
