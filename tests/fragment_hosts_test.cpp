#include "compounds/fragment_hosts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "compounds/compound_grouping.h"
#include "compounds/correlation.h"

namespace {

// The fragment search as first written: every co-eluting feature of the fragment, by its compound's lead.
std::vector<std::pair<std::size_t, std::size_t>> joinFragmentsPlainly(
    const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
    const std::vector<std::size_t>& fragments, FragmentCompounds& compounds, double minCorrelation) {
  std::vector<std::pair<std::size_t, std::size_t>> joins;
  for (std::size_t fragment : fragments) {
    std::size_t host = kNoCompound;
    double hostCorrelation = minCorrelation;
    for (std::size_t other : neighbours.coelutingWith(fragment)) {
      const std::size_t c = compounds.compoundOf[other];
      if (c == kNoCompound || c == compounds.compoundOf[fragment] || compounds.absorbed[c]) continue;
      const std::size_t lead = compounds.leadOf[c];
      if (!(features[fragment].mz < compounds.heaviestOf[c]) ||
          !(features[fragment].intensity < features[lead].intensity) || !neighbours.coelute(fragment, lead))
        continue;
      const double correlation = neighbours.correlationOnce(fragment, lead);
      if (std::isnan(correlation) || correlation < hostCorrelation) continue;
      if (host == kNoCompound || correlation > hostCorrelation || c < host) {
        host = c;
        hostCorrelation = correlation;
      }
    }
    if (host == kNoCompound) continue;
    compounds.absorbed[compounds.compoundOf[fragment]] = 1;
    compounds.compoundOf[fragment] = host;
    joins.emplace_back(fragment, host);
  }
  return joins;
}

// A crowded run of features with traces: a few elution profiles shared by several features (so that many
// pairs correlate above any threshold), scatter, flat background ions, equal apexes and intensities,
// features without a raw apex, of no width, of a width that is not a number.
struct TracedRun {
  std::vector<GroupingFeature> features;
  std::vector<SmoothedTrace> traces;
};

TracedRun tracedRun(unsigned seed, std::size_t count) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  TracedRun run;
  std::vector<double> centres;
  for (int k = 0; k < 12; ++k) centres.push_back(40 + 120 * unit(random));
  for (std::size_t f = 0; f < count; ++f) {
    const double centre = centres[f % centres.size()] + (f % 4 == 0 ? 6 * unit(random) : 0);
    const double sigma = 2 + 3 * unit(random);
    const double scatter = f % 3 == 0 ? 0.3 : 0.02;
    const bool flat = f % 17 == 5;
    FeatureTrace trace;
    trace.first = static_cast<std::size_t>(std::max(0.0, centre - 4 * sigma - 4 * unit(random)));
    const std::size_t length = 4 + static_cast<std::size_t>(8 * sigma * unit(random) + 2 * sigma);
    for (std::size_t k = 0; k < length; ++k) {
      const double x = (static_cast<double>(trace.first + k) - centre) / sigma;
      const double height = flat ? 3e4 : 1e6 * std::exp(-x * x / 2) + 1e3;
      trace.values.push_back(height * (1 + scatter * (unit(random) - 0.5)));
    }
    if (f % 2 == 0 && length > 6) {
      trace.peakFirst = trace.first + 1 + static_cast<std::size_t>(2 * unit(random));
      trace.peakEnd = trace.end() - 1 - static_cast<std::size_t>(2 * unit(random));
    }
    GroupingFeature feature;
    feature.mz = 100 + 300 * unit(random);
    feature.rt = f % 23 == 7 && f > 0 ? run.features[f - 1].rt : centre;
    const double width = f % 29 == 0 ? 0 : 4 * sigma;
    feature.rtStart = feature.rt - width / 2;
    feature.rtEnd = feature.rt + width / 2;
    feature.intensity = f % 13 == 4 && f > 0 ? run.features[f - 1].intensity : 1e4 + 1e6 * unit(random);
    feature.traceApex = f % 5 == 0 ? 0 : centre + 2 * (unit(random) - 0.5);
    run.features.push_back(feature);
    run.traces.push_back(smoothedTrace(trace));
  }
  run.features[count / 3].rtEnd = std::numeric_limits<double>::quiet_NaN();
  return run;
}

// The screen may only put below the threshold pairs whose correlation is a number below it (or flat), and
// call too short only pairs whose correlation is not a number (or flat); and it should turn away most of
// those well below (it is what makes the searches fast).
TEST(Correlation, ScreenTurnsAwayOnlyPairsBelowTheThreshold) {
  // Seed 8 with 40 features: many short traces, so pairs share 5 to 8 spectra (the bound's blocks of one).
  struct Case {
    unsigned seed;
    std::size_t features;
  };
  for (const Case c : {Case{3, 150}, Case{8, 40}, Case{11, 200}, Case{21, 60}}) {
    SCOPED_TRACE(c.seed);
    const TracedRun run = tracedRun(c.seed, c.features);
    std::size_t below = 0, turnedAway = 0;
    for (const double threshold : {0.3, 0.5, 0.8, 0.95, 0.99}) {
      for (std::size_t a = 0; a < run.traces.size(); ++a) {
        // Screened together, each as on its own.
        std::vector<std::size_t> others(run.traces.size());
        for (std::size_t b = 0; b < others.size(); ++b) others[b] = (b * 7 + a) % others.size();
        std::vector<Screened> verdicts(others.size());
        screenShapeCorrelations(run.traces, a, others.data(), others.size(), threshold, verdicts.data());
        for (std::size_t k = 0; k < others.size(); ++k)
          ASSERT_EQ(verdicts[k], screenShapeCorrelation(run.traces[a], run.traces[others[k]], threshold));
        for (std::size_t b = 0; b < run.traces.size(); ++b) {
          const double exact = shapeCorrelation(run.traces[a], run.traces[b]);
          const Screened screened = screenShapeCorrelation(run.traces[a], run.traces[b], threshold);
          if (screened == Screened::kBelow) {
            ASSERT_LT(exact, threshold) << a << " " << b << " " << threshold;
            ++turnedAway;
          } else if (screened == Screened::kTooShort) {
            ASSERT_TRUE(std::isnan(exact) || exact == kFlatTraces) << a << " " << b << " " << exact;
            ++turnedAway;
          }
          if (exact < threshold - 0.01 || std::isnan(exact)) ++below;
        }
      }
    }
    EXPECT_GT(turnedAway, below * 9 / 10);
  }
}

// Traces smoothed together, in one block (from the system once it is large enough), hold what each smoothed
// on its own holds, bit for bit: a few, and enough for several megabytes; empty and short traces too.
TEST(Correlation, TracesSmoothedTogetherAsEachAlone) {
  std::mt19937 random(4);
  std::uniform_real_distribution<double> unit(0, 1);
  for (const std::size_t count : {std::size_t{0}, std::size_t{7}, std::size_t{30000}}) {
    SCOPED_TRACE(count);
    std::vector<FeatureTrace> traces(count);
    for (std::size_t j = 0; j < count; ++j) {
      traces[j].first = j % 50;
      traces[j].values.resize(j % 13 == 0 ? j % 3 : 5 + j % 40);
      for (double& value : traces[j].values) value = 1e4 * unit(random);
      if (j % 5 == 0) traces[j].peakFirst = traces[j].first + 1;
    }
    for (const std::size_t workers : {std::size_t{1}, std::size_t{3}}) {
      const std::vector<SmoothedTrace> together = smoothedTraces(traces, workers);
      ASSERT_EQ(together.size(), count);
      for (std::size_t j = 0; j < count; ++j) {
        const SmoothedTrace alone = smoothedTrace(traces[j]);
        ASSERT_TRUE(together[j].averaged()) << j;
        ASSERT_EQ(together[j].trace.values, traces[j].values) << j;
        ASSERT_EQ(together[j].trace.first, traces[j].first) << j;
        ASSERT_EQ(together[j].peakBegin, alone.peakBegin) << j;
        ASSERT_EQ(together[j].peakFinish, alone.peakFinish) << j;
        ASSERT_EQ(together[j].roundingBound, alone.roundingBound) << j;
        ASSERT_TRUE(std::equal(alone.averages, alone.averages + alone.averagesLength, together[j].averages))
            << j;
      }
    }
  }
}

TEST(FragmentHosts, SameJoinsAsThePlainSearch) {
  for (const unsigned seed : {1u, 2u, 5u}) {
    SCOPED_TRACE(seed);
    const TracedRun run = tracedRun(seed, 300);
    const FeatureSimilarity similarity = [&run](std::size_t a, std::size_t b) {
      return shapeCorrelation(run.traces[a], run.traces[b]);
    };
    const SimilarityScreen screen = [&run](std::size_t a, const std::size_t* others, std::size_t count,
                                           double threshold, Screened* verdicts) {
      screenShapeCorrelations(run.traces, a, others, count, threshold, verdicts);
    };
    for (const double minCorrelation : {0.6, 0.9, 0.95}) {
      GroupingOptions options;
      options.apexFraction = 0.5;
      const Neighbours neighbours(run.features, options, similarity);
      // Every feature alone, but a few in pairs (their lead the more intense), and a few without a compound.
      FragmentCompounds compounds;
      std::vector<std::size_t> fragments;
      for (std::size_t f = 0; f < run.features.size(); ++f) {
        if (f % 19 == 3) {
          compounds.compoundOf.push_back(kNoCompound);
        } else if (f % 10 == 1 && compounds.compoundOf[f - 1] != kNoCompound) {
          compounds.compoundOf.push_back(compounds.compoundOf[f - 1]);
          std::size_t& lead = compounds.leadOf.back();
          if (run.features[f].intensity > run.features[lead].intensity) lead = f;
          compounds.heaviestOf.back() = std::max(compounds.heaviestOf.back(), run.features[f].mz);
        } else {
          compounds.compoundOf.push_back(compounds.leadOf.size());
          compounds.leadOf.push_back(f);
          compounds.heaviestOf.push_back(run.features[f].mz);
          if (f % 10 != 0) fragments.push_back(f);
        }
      }
      compounds.absorbed.assign(compounds.leadOf.size(), 0);
      std::stable_sort(fragments.begin(), fragments.end(), [&](std::size_t a, std::size_t b) {
        return run.features[a].intensity > run.features[b].intensity;
      });
      FragmentCompounds plainCompounds = compounds;
      const auto expected =
          joinFragmentsPlainly(run.features, neighbours, fragments, plainCompounds, minCorrelation);
      for (const bool screened : {false, true}) {
        for (const std::size_t workers : {1, 2, 3}) {
          FragmentCompounds fastCompounds = compounds;
          const auto joins = joinFragments(run.features, neighbours, fragments, fastCompounds, minCorrelation,
                                           screened ? screen : SimilarityScreen(), workers);
          ASSERT_EQ(joins, expected) << minCorrelation << " on " << workers << " workers";
          ASSERT_EQ(fastCompounds.compoundOf, plainCompounds.compoundOf);
          ASSERT_EQ(fastCompounds.absorbed, plainCompounds.absorbed);
        }
      }
      if (minCorrelation < 0.9) {
        EXPECT_GT(expected.size(), 5u);  // the run joins something to compare
      }
    }
  }
}

}  // namespace
