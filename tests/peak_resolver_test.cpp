#include "features/peak_resolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Gaussian {
  double apex;    // seconds
  double sigma;   // seconds
  double height;  // counts
};

// A trace sampled every `step` seconds from 0 to `length`: the Gaussians over a
// baseline `base + slope * t`, each point times `jag(i)`.
std::vector<TracePoint> traceOf(const std::vector<Gaussian>& peaks, double length, double step,
                                double base = 0, double slope = 0, double jagged = 0) {
  std::vector<TracePoint> trace;
  for (std::size_t i = 0; i * step <= length; ++i) {
    const double t = static_cast<double>(i) * step;
    double y = base + slope * t;
    for (const Gaussian& g : peaks) y += g.height * std::exp(-0.5 * std::pow((t - g.apex) / g.sigma, 2));
    // A fixed, jumpy pattern of +-jagged, like the sampling of a TOF detector.
    const double pattern[] = {0.9, -0.7, 1.0, -0.9, 0.4, -1.0, 0.8, -0.3};
    y *= 1 + jagged * pattern[i % 8];
    trace.push_back({t, y > 1 ? y : 0, 300.0 + 1e-4 * static_cast<double>(i % 3)});
  }
  return trace;
}

double gaussianArea(const Gaussian& g) { return g.height * g.sigma * std::sqrt(2 * M_PI); }

}  // namespace

TEST(PeakResolver, CleanGaussianMeasures) {
  const Gaussian g{60.3, 3, 1e6};
  const std::vector<ResolvedPeak> peaks = resolvePeaks(traceOf({g}, 120, 0.5), 1000, ResolverSettings());
  ASSERT_EQ(peaks.size(), 1u);
  const ResolvedPeak& p = peaks[0];
  EXPECT_NEAR(p.apexTime, 60.3, 0.05);
  EXPECT_NEAR(p.height, 1e6, 0.01e6);
  EXPECT_NEAR(p.area, gaussianArea(g), 0.01 * gaussianArea(g));
  EXPECT_NEAR(p.areaCorrected, p.area, 0.01 * p.area);
  // The 5-point smoothing widens a peak of 12 points per sigma by well under 1 %.
  EXPECT_NEAR(p.fwhm, 2.3548 * 3, 0.05 * 2.3548 * 3);
  EXPECT_GT(p.shape, 0.99);
  // The smoothed rise over the floor (nothing else is noisy); smoothing lowers the top by 1.6 %.
  EXPECT_NEAR(p.sn, 984, 5);
  EXPECT_NEAR(p.mz, 300.0001, 1e-4);
  EXPECT_GE(p.mzMax, p.mzMin);
  EXPECT_LT(p.startTime, 60.3 - 3 * 3);
  EXPECT_GT(p.endTime, 60.3 + 3 * 3);
}

TEST(PeakResolver, SplitsWhatShouldBeTwoPeaks) {
  const double fwhm = 2.3548 * 3;
  const struct {
    std::string name;
    std::vector<Gaussian> peaks;
  } cases[] = {
      {"isomers 1.5 fwhm apart", {{50, 3, 1e6}, {50 + 1.5 * fwhm, 3, 8e5}}},
      {"isomers of unequal height", {{50, 3, 1e6}, {50 + 1.5 * fwhm, 3, 2e5}}},
      {"peak on the tail of a stronger one", {{40, 8, 1e7}, {62, 2.5, 1.5e6}}},
      {"second peak late in a long trace", {{60, 3, 1e6}, {400, 3, 5e5}}},
  };
  for (const auto& c : cases) {
    const std::vector<ResolvedPeak> peaks =
        resolvePeaks(traceOf(c.peaks, 480, 0.5), 1000, ResolverSettings());
    ASSERT_EQ(peaks.size(), 2u) << c.name;
    for (std::size_t k = 0; k < 2; ++k) {
      EXPECT_NEAR(peaks[k].apexTime, c.peaks[k].apex, 1.0) << c.name;
      EXPECT_GT(peaks[k].area, 0) << c.name;
      EXPECT_GT(peaks[k].areaCorrected, 0) << c.name;
    }
    EXPECT_LE(peaks[0].endTime, peaks[1].startTime) << c.name;
  }
}

TEST(PeakResolver, PeaksCutOffByTheRunsEnds) {
  // Compounds eluting as the run starts or ends: the cut-off side is no valley.
  const struct {
    std::string name;
    Gaussian peak;
    double length;
  } cases[] = {
      {"tops at the first scan", {0, 4, 1e6}, 60},
      {"tops two scans in", {1.0, 4, 1e6}, 60},
      {"tops at the last scan", {60, 4, 1e6}, 60},
  };
  for (const auto& c : cases) {
    const std::vector<ResolvedPeak> peaks =
        resolvePeaks(traceOf({c.peak}, c.length, 0.5), 1000, ResolverSettings(), TraceEnds{true, true});
    ASSERT_EQ(peaks.size(), 1u) << c.name;
    EXPECT_NEAR(peaks[0].apexTime, c.peak.apex, 0.5) << c.name;
    EXPECT_GT(peaks[0].area, 0.4 * gaussianArea(c.peak)) << c.name;
    EXPECT_GT(peaks[0].sn, 100) << c.name;
  }
}

TEST(PeakResolver, DipBeforeTheRunsStartIsNoEdge) {
  // An elution cut off by the run's start with a dip two scans in (m/z
  // 139.0502 of a real Q Exactive run, scans 0.94 s apart, then a background
  // of 1e5): the edge is the first scan, and the line under the peak is level
  // with its far edge, not drawn from the dip.
  const double start[] = {1.80, 1.73, 1.59, 1.90,  1.77,  1.62, 1.55, 1.45,  1.24, 1.15,
                          1.04, 0.88, 0.67, 0.61,  0.54,  0.42, 0.36, 0.30,  0.26, 0.19,
                          0.21, 0.15, 0.16, 0.145, 0.145, 0.11, 0.12, 0.098, 0.144};
  std::vector<TracePoint> trace;
  for (std::size_t i = 0; i < 120; ++i) {
    const double value = i < 29 ? 1e6 * start[i] : 1e5 + 1e4 * static_cast<double>(i % 3);
    trace.push_back({0.94 * static_cast<double>(i), value, 139.0502});
  }
  const std::vector<ResolvedPeak> peaks =
      resolvePeaks(trace, 1.5e4, ResolverSettings(), TraceEnds{true, false});
  ASSERT_GE(peaks.size(), 1u);
  EXPECT_EQ(peaks[0].left, 0u);
  EXPECT_GT(peaks[0].sn, 50);
}

TEST(PeakResolver, IonSuppressedAtTheRunsEndsIsNoPeak) {
  // An ion present all run long dips for a few scans while a strong compound
  // co-elutes (m/z 194.1177 of a real Q Exactive run: 1.9e6 in every scan, down
  // to 5.2e5 while a compound of 1.8e8 elutes 0.1 min before the file ends)
  // and climbs back to its level as the run ends or starts: that is the ion's
  // own level coming back, not a compound cut off by the run. An elution cut
  // off by the run whose far side holds a peak of its own (m/z 460.2696 of the
  // same run: 1.3e6 at the first scan falling to 1.3e5, then a peak of 1.5e6
  // 0.1 min later) is still one.
  const double dip[] = {1.9, 1.8, 1.9, 1.8, 1.6, 1.3, 0.87, 0.52, 0.54, 0.69, 0.80, 1.2,
                        1.4, 1.5, 1.7, 1.8, 1.8, 1.8, 1.8,  1.8,  1.7,  1.7,  1.7};
  const double cutThenPeak[] = {13,  10,   6.7, 4.4, 3.1,  2.2, 1.3,  1.3,  1.3,  1.5,  2.2,
                                4.7, 6.4,  8.7, 15,  15,   14,  11,   7.5,  4.6,  3.6,  3.3,
                                3.3, 2.6,  2.1, 2.1, 1.2,  1.2, 0.78, 0.88, 0.73, 0.88, 0.9,
                                0.8, 0.79, 1.0, 1.2, 0.77, 1.2, 1.5,  2.9,  4.4,  4.0};
  const std::size_t n = 200, dips = sizeof dip / sizeof dip[0],
                    cut = sizeof cutThenPeak / sizeof cutThenPeak[0];
  const double jitter[] = {0.03, -0.02, 0.04, -0.04, 0.01, -0.03, 0.02, 0.0};
  const auto suppressed = [&](bool atEnd) {
    std::vector<TracePoint> trace;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t k = atEnd ? i + dips - n : dips - 1 - i;  // position in the dip, when inside it
      const bool inDip = atEnd ? i + dips >= n : i < dips;
      const double value = inDip ? 1e6 * dip[k] : 1.9e6 * (1 + jitter[i % 8]);
      trace.push_back({0.47 * static_cast<double>(i), value, 194.1177});
    }
    return trace;
  };
  std::vector<TracePoint> elution;
  for (std::size_t i = 0; i < n; ++i) {
    const double value = i < cut ? 1e5 * cutThenPeak[i] : 5e4 * (1 + 4 * jitter[i % 8]);
    elution.push_back({0.47 * static_cast<double>(i), value, 460.2696});
  }
  const struct {
    std::string name;
    std::vector<TracePoint> trace;
    double from, to;  // seconds: where a peak would be the dip's recovery or the cut elution
    bool peak;
  } cases[] = {
      {"dip recovered as the run ends", suppressed(true), 0.47 * (n - 16), 0.47 * n, false},
      {"dip recovered as the run starts", suppressed(false), 0, 0.47 * 16, false},
      {"elution cut off by the start, a peak of its own after it", elution, 0, 2, true},
  };
  for (const auto& c : cases) {
    double best = 0;
    for (const ResolvedPeak& p : resolvePeaks(c.trace, 1.5e4, ResolverSettings(), TraceEnds{true, true})) {
      if (p.apexTime >= c.from && p.apexTime <= c.to) best = std::max(best, p.sn);
    }
    if (c.peak) {
      EXPECT_GT(best, 20) << c.name;
    } else {
      EXPECT_LT(best, 3) << c.name;
    }
  }
}

TEST(PeakResolver, FlatBackgroundIsNoPeak) {
  // A background ion at 3.6e5 all run long, jittering by a few percent.
  const std::vector<TracePoint> trace = traceOf({}, 600, 0.5, 3.6e5, 0, 0.03);
  for (const ResolvedPeak& p : resolvePeaks(trace, 1000, ResolverSettings()))
    EXPECT_LT(p.sn, 3) << p.apexTime;
}

TEST(PeakResolver, BumpsOnAPersistentBackgroundAreNoPeaks) {
  // A background ion of 2e6 with a bump of 40 % (as m/z 118.0865 of a HILIC run, or the simulator's
  // --background-bumps): a rise of less than half a level the trace holds for minutes on both sides is the
  // background's wander. The same bump on a level that rises steeply (at half of it two minutes
  // earlier), a compound rising well above the level, and a bump too near the trace's end to tell are
  // peaks; where that end is the run's, the level held up to it and the bump is dropped again. Without the
  // rule each of them is one.
  struct Case {
    const char* name;
    std::vector<Gaussian> peaks;
    double base, slope;
    double apex;  // the bump's
    bool runEnd;  // the trace's last spectrum is the run's
    bool peak;
  };
  const Case cases[] = {
      {"bump on a persistent level", {{300, 8, 8e5}}, 2e6, 0, 300, false, false},
      {"bump on a steep rise", {{300, 8, 8e5}}, -1e6, 1e4, 300, false, true},
      {"compound rising well above the level", {{300, 6, 2e6}}, 2e6, 0, 300, false, true},
      {"bump near the trace's end", {{560, 8, 8e5}}, 2e6, 0, 560, false, true},
      {"bump near the run's end", {{560, 8, 8e5}}, 2e6, 0, 560, true, false},
  };
  ResolverSettings without;
  without.minRiseOverBackground = 0;
  for (const Case& c : cases) {
    const std::vector<TracePoint> trace = traceOf(c.peaks, 600, 0.5, c.base, c.slope, 0.01);
    const auto found = [&](const ResolverSettings& settings) {
      TraceEnds ends;
      ends.runEnd = c.runEnd;
      for (const ResolvedPeak& p : resolvePeaks(trace, 1000, settings, ends)) {
        if (std::fabs(p.apexTime - c.apex) < 10 && p.sn >= 5) return true;
      }
      return false;
    };
    EXPECT_EQ(found(ResolverSettings()), c.peak) << c.name;
    EXPECT_TRUE(found(without)) << c.name;
  }
}

TEST(PeakResolver, SignalToNoiseAgainstTheTracesOwnJitter) {
  // The S/N of a peak is never over less than the trace's scan-to-scan jitter
  // in counts where the trace is low, but a trace that is all peak (whose own
  // slopes are no noise) keeps the floor's S/N.
  std::vector<TracePoint> jumping = traceOf({{300, 4, 1e5}}, 600, 1.0, 8e4);
  const double jumps[] = {0.9, -0.7, 1.0, -0.9, 0.4, -1.0, 0.8, -0.3};
  for (std::size_t i = 0; i < jumping.size(); ++i) jumping[i].intensity += 6e4 * jumps[i % 8];
  const struct {
    std::string name;
    std::vector<TracePoint> trace;
    double least;  // S/N of the strongest peak: at least, and below `most`
    double most;
  } cases[] = {
      {"bump of 1e5 on a background jumping by 6e4", jumping, 0, 4},
      {"nine scans of a clean peak and nothing else", traceOf({{8, 1.6, 4.6e6}}, 16, 1.6), 200, 1e9},
  };
  for (const auto& c : cases) {
    double best = 0;
    for (const ResolvedPeak& p : resolvePeaks(c.trace, 1e4, ResolverSettings())) best = std::max(best, p.sn);
    EXPECT_GE(best, c.least) << c.name;
    EXPECT_LT(best, c.most) << c.name;
  }
}

TEST(PeakResolver, JaggedTraceIsIntegratedToItsEnds) {
  // About 25 scans of a peak whose sampling jumps by up to 100 %: the edges
  // reach the peak's ends instead of stopping at the first rise.
  const Gaussian g{30, 2.5, 8000};
  const std::vector<ResolvedPeak> peaks =
      resolvePeaks(traceOf({g}, 60, 0.5, 0, 0, 0.6), 100, ResolverSettings());
  ASSERT_GE(peaks.size(), 1u);
  const ResolvedPeak* main = &peaks[0];
  for (const ResolvedPeak& p : peaks) {
    if (p.area > main->area) main = &p;
  }
  EXPECT_NEAR(main->apexTime, 30, 1.5);
  EXPECT_LT(main->startTime, 30 - 2 * 2.5);
  EXPECT_GT(main->endTime, 30 + 2 * 2.5);
  EXPECT_NEAR(main->area, gaussianArea(g), 0.2 * gaussianArea(g));
}

TEST(PeakResolver, DriftIsTakenOutOfTheCorrectedArea) {
  const Gaussian g{100, 3, 2e5};
  const std::vector<ResolvedPeak> peaks =
      resolvePeaks(traceOf({g}, 200, 0.5, 5e4, 500), 1000, ResolverSettings());
  ASSERT_GE(peaks.size(), 1u);
  const ResolvedPeak* main = &peaks[0];
  for (const ResolvedPeak& p : peaks) {
    if (p.height > main->height) main = &p;
  }
  EXPECT_NEAR(main->apexTime, 100, 0.5);
  EXPECT_GT(main->area, 1.5 * gaussianArea(g));  // the raw area holds the background too
  EXPECT_NEAR(main->areaCorrected, gaussianArea(g), 0.1 * gaussianArea(g));
}

TEST(PeakResolver, MissingCentroidsDoNotSplitAPeak) {
  std::vector<TracePoint> trace = traceOf({{30, 3, 1e6}}, 60, 0.5);
  trace[58].intensity = 0;  // two centroids below the threshold near the apex
  trace[63].intensity = 0;
  const std::vector<ResolvedPeak> peaks = resolvePeaks(trace, 1000, ResolverSettings());
  ASSERT_EQ(peaks.size(), 1u);
  EXPECT_EQ(peaks[0].points + 2, peaks[0].right - peaks[0].left + 1);
  EXPECT_NEAR(peaks[0].area, gaussianArea({30, 3, 1e6}), 0.02 * gaussianArea({30, 3, 1e6}));
}

TEST(PeakResolver, SmoothingAndOpening) {
  // Kernel 1 4 6 4 1, renormalised over the values inside the trace at its ends.
  EXPECT_EQ(binomialSmooth({0, 0, 16, 0, 0}, 5),
            (std::vector<double>{16.0 / 11, 64.0 / 15, 6, 64.0 / 15, 16.0 / 11}));
  EXPECT_EQ(binomialSmooth({1, 2, 3}, 1), (std::vector<double>{1, 2, 3}));
  // A narrow spike on a ramp is opened away; the ramp stays under the signal.
  const std::vector<double> times = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<double> values = {1, 2, 3, 40, 5, 6, 7, 8, 9};
  const std::vector<double> opened = movingOpening(values, times, 2);
  EXPECT_EQ(opened, (std::vector<double>{1, 2, 3, 5, 5, 6, 7, 8, 8}));
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_LE(opened[i], values[i]);
}

namespace {

// A trace of Gaussians, the first tailing to the right with `tail` sigma (0:
// none), every point times 1 + jagged * U(-1, 1) from a fixed generator: the
// sampling of a TOF detector or of ions counted in a short scan.
std::vector<TracePoint> jaggedTraceOf(const std::vector<Gaussian>& peaks, double tail, double length,
                                      double step, double jagged, unsigned seed) {
  std::vector<TracePoint> trace;
  unsigned state = seed;
  for (std::size_t i = 0; i * step <= length; ++i) {
    const double t = static_cast<double>(i) * step;
    double y = 0;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
      const Gaussian& g = peaks[k];
      const double sigma = k == 0 && tail > 0 && t > g.apex ? tail : g.sigma;
      y += g.height * std::exp(-0.5 * std::pow((t - g.apex) / sigma, 2));
    }
    state = state * 1664525u + 1013904223u;
    const double u = 2.0 * (state >> 8) / 16777216.0 - 1.0;
    y *= 1 + jagged * u;
    trace.push_back({t, y > 30 ? y : 0, 400.0});
  }
  return trace;
}

std::vector<ResolvedPeak> clearPeaks(const std::vector<TracePoint>& trace) {
  std::vector<ResolvedPeak> kept;
  for (const ResolvedPeak& p : resolvePeaks(trace, 3000, ResolverSettings())) {
    if (p.sn >= 5 && p.points >= 5) kept.push_back(p);
  }
  return kept;
}

}  // namespace

TEST(PeakResolver, SecondOfAPairOnAJaggedTrace) {
  // The weaker of two compounds of one m/z on a trace jagged by +-30 %: on the
  // tail of a stronger one (its apex 2.5 tail sigmas on), or an isomer, sampled
  // every second or every 2 s (a slower instrument, or each polarity of a run
  // that switches every second). Over six draws of the jaggedness, both are
  // reported, apart and each apex within 3 s, in at least `least` of them (an
  // isomer of half the height 1.5 fwhm away has a valley of a fifth, as deep
  // as one point's jitter). With a spectrum each 2 s the smoothing pulls a
  // tailing peak's apex up to 4 s towards its tail. Not jagged, a weaker peak
  // on a tail may leave no dip at all: a shoulder.
  const struct {
    std::string name;
    std::vector<Gaussian> peaks;
    double tail;
    double step;
    int least;
    double apex = 3;  // seconds
    double jagged = 0.3;
  } cases[] = {
      {"on the tail of a 4x stronger one", {{100, 3, 4e6}, {122.5, 3, 1e6}}, 9, 1, 6},
      {"on the tail of a 3x stronger one", {{100, 2.7, 3e6}, {120.3, 3.4, 1e6}}, 8.1, 1, 6},
      {"on the tail of a 2x stronger one, each 2 s", {{100, 3, 2e6}, {122.5, 3, 1e6}}, 9, 2, 6, 4},
      {"isomer 2 fwhm away at a half, each 2 s", {{100, 3, 2e6}, {100 + 2 * 2.3548 * 3, 3, 1e6}}, 0, 2, 6},
      {"isomer 1.5 fwhm away at a half", {{100, 3, 2e6}, {100 + 1.5 * 2.3548 * 3, 3, 1e6}}, 0, 1, 5},
      {"a shoulder on the tail of a 5x stronger one, not jagged",
       {{100, 2.8, 5e6}, {121, 3.2, 1e6}},
       8.4,
       1,
       6,
       3,
       0},
      // A narrower compound on the falling flank of a broad, tailing one, each 2 s (one polarity of a
      // switching run): no dip between them, and a kernel as wide as the broad peak's flank sees only
      // the flank curving upward there.
      {"a narrow shoulder on the flank of a 4.5x stronger broad one, each 2 s",
       {{100, 4.5, 4.5e6}, {120, 2.7, 1e6}},
       6,
       2,
       6,
       3,
       0.1},
  };
  for (const auto& c : cases) {
    int resolved = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
      const std::vector<ResolvedPeak> peaks =
          clearPeaks(jaggedTraceOf(c.peaks, c.tail, 200, c.step, c.jagged, seed));
      if (peaks.size() != 2u) continue;
      ++resolved;
      const std::string label = c.name + ", draw " + std::to_string(seed);
      for (std::size_t k = 0; k < 2; ++k) EXPECT_NEAR(peaks[k].apexTime, c.peaks[k].apex, c.apex) << label;
      EXPECT_LE(peaks[0].endTime, peaks[1].startTime) << label;
    }
    EXPECT_GE(resolved, c.least) << c.name;
  }
}

TEST(PeakResolver, NarrowIsomerOnTheFlankOfATailingOne) {
  // Recorded from a simulated run with every effect (one polarity of a run that
  // switches, a spectrum each 2 s): a compound of 4.7e5 at 141.0 s that tails,
  // and its isomer of 1.0e5 at 160.9 s, narrower, on the tail's falling flank.
  // The trace holds 146e3, 123e3, 108e3, 96e3, 115e3, 102e3, then drops: no
  // dip, and a kernel as wide as the stronger peak's flank sees the flank
  // curving upward there. The isomer is a peak of its own, its apex within 3 s,
  // its rise measured down to the baseline under the split, not from the
  // split's level on the stronger peak's flank.
  const double counts[] = {147,    2110,   28645,  95657,  353445, 488140, 438005, 372273,
                           382963, 239977, 187674, 146311, 122523, 107679, 96415,  115491,
                           101693, 36573,  10911,  2466,   551,    221,    57};
  std::vector<TracePoint> trace;
  double t = 90.5;
  for (; t < 130; t += 2) trace.push_back({t, 0, 501.918});
  for (double c : counts) {
    trace.push_back({t, c, 501.918});
    t += 2;
  }
  for (; t < 240; t += 2) trace.push_back({t, 0, 501.918});
  const std::vector<ResolvedPeak> peaks = clearPeaks(trace);
  ASSERT_EQ(peaks.size(), 2u);
  EXPECT_NEAR(peaks[0].apexTime, 141.0, 3);
  EXPECT_NEAR(peaks[1].apexTime, 160.9, 3);
  EXPECT_LE(peaks[0].endTime, peaks[1].startTime);
  // Without the narrower kernel the isomer stays in the stronger peak.
  ResolverSettings wide;
  wide.narrowCurvature = false;
  std::size_t found = 0;
  for (const ResolvedPeak& p : resolvePeaks(trace, 3000, wide)) found += p.sn >= 5 && p.points >= 5;
  EXPECT_EQ(found, 1u);
}

TEST(PeakResolver, JaggedPeaksAloneAreNotSplit) {
  // The same jaggedness on one compound, tailing or not, or on a flat
  // background ion: no second peak comes out of the jitter or the tail.
  const struct {
    std::string name;
    std::vector<Gaussian> peaks;
    double tail;
    double step;
    std::size_t expected;
  } cases[] = {
      {"a Gaussian peak", {{100, 3, 4e6}}, 0, 1, 1},
      {"a peak tailing over 3 sigmas", {{100, 3, 4e6}}, 9, 1, 1},
      {"a tailing peak, a spectrum each 2 s", {{100, 3, 4e6}}, 9, 2, 1},
      {"a broad peak", {{100, 12, 4e6}}, 0, 1, 1},
  };
  for (const auto& c : cases) {
    for (unsigned seed = 1; seed <= 10; ++seed) {
      const std::string label = c.name + ", draw " + std::to_string(seed);
      EXPECT_EQ(clearPeaks(jaggedTraceOf(c.peaks, c.tail, 200, c.step, 0.3, seed)).size(), c.expected)
          << label;
    }
  }
  // A peak whose top the detector cut off at half its height (saturated): its
  // two shoulders curve like bumps, the flat top between them does not rise
  // above them, and the peak stays one.
  for (unsigned seed = 1; seed <= 5; ++seed) {
    std::vector<TracePoint> cut = jaggedTraceOf({{100, 6, 4e6}}, 0, 200, 1, 0.05, seed);
    for (TracePoint& point : cut) point.intensity = std::min(point.intensity, 2e6);
    EXPECT_EQ(clearPeaks(cut).size(), 1u) << "saturated, draw " << seed;
  }
  // A background ion at 2e6 all run long.
  for (unsigned seed = 1; seed <= 5; ++seed) {
    const std::vector<TracePoint> flat = jaggedTraceOf({{300, 1e9, 2e6}}, 0, 600, 1, 0.3, seed);
    EXPECT_EQ(clearPeaks(flat).size(), 0u) << "background, draw " << seed;
  }
}

TEST(PeakResolver, NarrowPeaksAreNoJaggedness) {
  // Clean traces of narrow peaks (1.5 points per sigma, a spectrum each 2 s):
  // the peaks' own curvature is not taken for jitter, which would hide an
  // isomer 1.75 fwhm away or lower the S/N of a peak on a level.
  const double fwhm = 2.3548 * 3;
  const struct {
    std::string name;
    std::vector<Gaussian> peaks;
    double base;
  } cases[] = {
      {"isomer of a third 1.75 fwhm away", {{60, 3, 3e6}, {60 + 1.75 * fwhm, 3, 1e6}}, 0},
      {"isomer of a fifth 2 fwhm away", {{60, 3, 5e6}, {60 + 2 * fwhm, 3, 1e6}}, 0},
      {"peak of 3e5 on a level of 1e6", {{60, 3, 4e6}, {100, 3, 3e5}}, 1e6},
  };
  for (const auto& c : cases) {
    const std::vector<ResolvedPeak> peaks =
        resolvePeaks(traceOf(c.peaks, 160, 2, c.base), 3000, ResolverSettings());
    ASSERT_EQ(peaks.size(), 2u) << c.name;
    EXPECT_NEAR(peaks[1].apexTime, c.peaks[1].apex, 1) << c.name;
    EXPECT_GE(peaks[1].sn, 5) << c.name;  // kept as a feature
  }
}

// Two isomers 8 s apart in the positive scans of a polarity-switching run (2 s apart), the first one's top
// (3.6e5) barely above the dip after it (2.7e5): the curvature pass finds the first on its rising flank,
// below the smoothed trace's dip, so the split towards the second falls on the bump itself. Such a bump has
// no extent of its own on that side: it is taken back and the two are one peak (before, the first was the
// flank alone, 8.8e5 counts x s, with its apex after its end), its apex within its edges.
TEST(PeakResolver, BumpWhoseSplitFallsOnItselfIsTakenBack) {
  const double counts[] = {0,      0,      0,      0,      0,      0,      0,      0,      0,
                           0,      0,      0,      0,      0,      0,      682,    7152,   48356,
                           216509, 330233, 357444, 266854, 268236, 495417, 586729, 525724, 343320,
                           201872, 30671,  4923,   767,    35,     0,      0,      0,      0,
                           0,      0,      0,      0,      0,      0};
  std::vector<TracePoint> trace;
  for (std::size_t i = 0; i < sizeof counts / sizeof counts[0]; ++i)
    trace.push_back({1236.5 + 2.0 * static_cast<double>(i), counts[i], 194.069});
  const std::vector<ResolvedPeak> peaks = resolvePeaks(trace, 100, ResolverSettings());
  ASSERT_EQ(peaks.size(), 1u);
  EXPECT_LE(peaks[0].startTime, 1266.5);
  EXPECT_GE(peaks[0].endTime, 1294.5);
  EXPECT_GE(peaks[0].apexTime, peaks[0].startTime);
  EXPECT_LE(peaks[0].apexTime, peaks[0].endTime);
  EXPECT_NEAR(peaks[0].apexTime, 1284.5, 2.0);
}
