#include "features/feature_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "util/parallel_for.h"

namespace {

struct Ion {
  double mz;
  double apex;  // seconds
  double height;
  char polarity;  // the scans it shows in
};

// One MS1 scan a second for `count` seconds; odd scans negative when
// `switching`, every fifth a lock-mass scan when `lockScans`. Each scan has
// the ions of its polarity and a few weak noise centroids.
std::vector<scan> runOf(const std::vector<Ion>& ions, int count, bool switching, bool lockScans = false) {
  std::vector<scan> scans;
  for (int i = 0; i < count; ++i) {
    scan s;
    s.num = i + 1;
    s.msLevel = 1;
    s.rt = i * 0.5;
    const char polarity = switching && i % 2 == 1 ? '-' : '+';
    s.filterLine = std::string("FTMS ") + polarity + " p ESI Full " +
                   (lockScans && i % 5 == 0 ? "lock " : "") + "ms [100.0000-1000.0000]";
    for (int k = 0; k < 20; ++k)
      s.peaks.push_back({150.0 + 37.1 * k + 0.01 * (i % 7), 100.0 + 10 * ((i + k) % 5)});
    for (const Ion& ion : ions) {
      if (ion.polarity != polarity) continue;
      const double y = ion.height * std::exp(-0.5 * std::pow((s.rt - ion.apex) / 3.0, 2));
      if (y > 50) s.peaks.push_back({ion.mz * (1 + 1e-6 * ((i % 3) - 1)), y});
    }
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
    scans.push_back(s);
  }
  return scans;
}

}  // namespace

TEST(FeatureFinder, PolaritiesAreTracedApart) {
  // Switching scans: the positive ion is in every other scan and never
  // alternates with the zeros of the negative scans.
  const std::vector<scan> scans = runOf({{301.1, 60, 1e6, '+'}, {299.09, 90, 5e5, '-'}}, 400, true);
  const std::vector<FeatureRow> rows = findFeatures(scans, {}, FeatureSettings());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].polarity, '+');
  EXPECT_NEAR(rows[0].mz, 301.1, 301.1 * 2e-6);
  EXPECT_NEAR(rows[0].rt * 60, 60, 0.6);
  EXPECT_EQ(rows[1].polarity, '-');
  EXPECT_NEAR(rows[1].rt * 60, 90, 0.6);
  // Both ions stand above 50 counts for about 2 x 3 x 3.9 s, i.e. ~23 scans of their polarity.
  EXPECT_GT(rows[0].points, 15);
  EXPECT_EQ(rows[0].featureId, "F1");
  EXPECT_EQ(rows[0].msLevel, 1);
}

TEST(FeatureFinder, LockMassScansStayInTheirTrace) {
  const std::vector<FeatureRow> rows =
      findFeatures(runOf({{301.1, 60, 1e6, '+'}}, 240, false, true), {}, FeatureSettings());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_GT(rows[0].points, 40);
}

TEST(FeatureFinder, OneRowPerTargetInTargetOrder) {
  const std::vector<scan> scans =
      runOf({{301.1, 60, 1e6, '+'}, {301.1, 100, 4e5, '+'}, {450.2, 80, 1e6, '+'}}, 400, false);
  std::vector<FeatureTarget> targets(4);
  targets[0] = {450.2, "late", false, 0, 0};
  targets[1] = {777.7, "absent", false, 0, 0};
  targets[2] = {301.1, "301.1", true, 90, 110};  // the second of two peaks of this m/z
  targets[3] = {301.1, "largest", false, 0, 0};
  const std::vector<FeatureRow> rows = findFeatures(scans, targets, FeatureSettings());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].target, "late");
  EXPECT_EQ(rows[0].status, "found");
  EXPECT_NEAR(rows[0].rt * 60, 80, 0.6);
  EXPECT_EQ(rows[1].target, "absent");
  EXPECT_EQ(rows[1].status, "not_found");
  EXPECT_EQ(rows[1].mz, 777.7);
  EXPECT_EQ(rows[1].area, 0);
  EXPECT_NEAR(rows[2].rt * 60, 100, 0.6);
  EXPECT_NEAR(rows[3].rt * 60, 60, 0.6);
  EXPECT_EQ(rows[3].featureId, "T4");
  EXPECT_EQ(rows[3].targetMz, 301.1);
}

// Gap filling: a windowed target that no feature takes is measured in the raw data (status filled): the
// resolver's peak there without the minimums, else the window's own signal; an empty window, or a target
// without a window, stays not_found; without --fill-gaps nothing is filled.
TEST(FeatureFinder, GapsFilledBelowTheMinimums) {
  std::vector<scan> scans = runOf({{301.1, 60, 1e6, '+'}}, 400, false);
  for (scan& s : scans) {  // a flat ion of 1000 counts from 100 to 140 s
    if (s.rt >= 100 && s.rt <= 140) s.peaks.push_back({600.3, 1000});
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
  }
  const FeatureRow detected = findFeatures(scans, {}, FeatureSettings()).at(0);
  const std::vector<FeatureTarget> targets = {
      {301.1, "peak", true, 50, 70},
      {301.1, "after it", true, 150, 160},
      {600.3, "flat", true, 110, 130},
      {301.1, "no window", false, 0, 0},
      {600.3, "flat, a span to integrate", true, 110, 130, true, 115, 125}};
  FeatureSettings settings;
  settings.minSn = 1e9;  // nothing is a feature
  EXPECT_EQ(findFeatures(scans, targets, settings)[0].status, "not_found");

  settings.fillGaps = true;
  const std::vector<FeatureRow> rows = findFeatures(scans, targets, settings);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].status, "filled");
  EXPECT_EQ(rows[0].featureId, "T1");
  EXPECT_EQ(rows[0].polarity, '+');
  EXPECT_NEAR(rows[0].rt * 60, 60, 0.6);
  EXPECT_NEAR(rows[0].area, detected.area, 0.02 * detected.area);
  EXPECT_NEAR(rows[0].mz, 301.1, 301.1 * 2e-6);
  EXPECT_EQ(rows[1].status, "not_found");
  EXPECT_EQ(rows[1].area, 0);
  EXPECT_EQ(rows[2].status, "filled");
  EXPECT_GE(rows[2].area, 1000 * 19.0);
  EXPECT_LE(rows[2].area, 1000 * 41.0);
  EXPECT_GE(rows[2].rt * 60, 110);
  EXPECT_LE(rows[2].rt * 60, 130);
  EXPECT_EQ(rows[3].status, "not_found");
  // The span a cohort gives (the feature's typical edges) is what is integrated, the apex inside the window.
  EXPECT_EQ(rows[4].status, "filled");
  EXPECT_NEAR(rows[4].area, 1000 * 10.0, 1.0);
  EXPECT_NEAR(rows[4].rtStart * 60, 115, 1e-9);
  EXPECT_NEAR(rows[4].rtEnd * 60, 125, 1e-9);
  EXPECT_NEAR(rows[4].areaCorrected, 0, 1e-6);
  // A filled row reads back.
  EXPECT_EQ(parseFeatureTable(formatFeatureTable(rows), "filled")[0].status, "filled");
}

// Two compounds of one m/z 6 s apart that this run gives as one peak (a shallow valley), with a target for
// each: the first target is measured from the peak's start to the valley, not over the whole peak; alone it
// takes the whole peak as found.
TEST(FeatureFinder, APeakHoldingTwoTargetsIsSplitAtItsValley) {
  std::vector<scan> scans = runOf({}, 400, false);
  const auto part = [](double t, double apex, double height) {
    return height * std::exp(-0.5 * std::pow((t - apex) / 3.0, 2));
  };
  for (scan& s : scans) {
    const double y = part(s.rt, 60, 1e6) + part(s.rt, 66, 6e5);
    if (y > 50) s.peaks.push_back({301.1, y});
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
  }
  const std::vector<FeatureRow> detected = findFeatures(scans, {}, FeatureSettings());
  ASSERT_EQ(detected.size(), 1u);  // one peak
  ASSERT_LT(detected[0].rtStart * 60, 55);
  ASSERT_GT(detected[0].rtEnd * 60, 70);
  FeatureSettings settings;
  settings.fillGaps = true;
  const FeatureTarget first{301.1, "first", true, 57, 63}, second{301.1, "second", true, 63.5, 68.5};
  const std::vector<FeatureRow> rows = findFeatures(scans, {first, second}, settings);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].status, "filled");
  EXPECT_NEAR(rows[0].rtStart, detected[0].rtStart, 1e-9);
  EXPECT_GT(rows[0].rtEnd * 60, 61);  // the valley, between the two apexes
  EXPECT_LT(rows[0].rtEnd * 60, 66);
  EXPECT_NEAR(rows[0].rt * 60, 60, 0.6);
  EXPECT_LT(rows[0].area, 0.9 * detected[0].area);
  EXPECT_GT(rows[0].area, 0.5 * detected[0].area);
  EXPECT_EQ(rows[1].status, "filled");

  const FeatureRow alone = findFeatures(scans, {first}, settings).at(0);
  EXPECT_EQ(alone.status, "found");
  EXPECT_EQ(alone.area, detected[0].area);
  settings.fillGaps = false;  // without gap filling a target takes what is found
  EXPECT_EQ(findFeatures(scans, {first, second}, settings).at(0).area, detected[0].area);
}

TEST(FeatureFinder, SameRowsAtEveryThreadCount) {
  std::vector<Ion> ions;
  for (int k = 0; k < 60; ++k) ions.push_back({120.05 + 13.37 * k, 20.0 + 3.1 * k, 1e4 * (1 + k % 9), '+'});
  const std::vector<scan> scans = runOf(ions, 500, false);
  setWorkerCount(1);
  const std::string one = formatFeatureTable(findFeatures(scans, {}, FeatureSettings()));
  setWorkerCount(4);
  const std::string four = formatFeatureTable(findFeatures(scans, {}, FeatureSettings()));
  setWorkerCount(0);
  EXPECT_EQ(one, four);
  EXPECT_EQ(parseFeatureTable(one, "one").size(), 60u);
}

TEST(FeatureFinder, WeakIonsAmongStrongBackgroundIons) {
  // Forty background ions of 5e5 counts in every scan put the median centroid
  // at 5e5: a weak clean peak of 1e5 is still a feature (its S/N is over its
  // region's floor, not over a threshold of the whole run's centroids), and
  // the flat ions are none.
  std::vector<scan> scans = runOf({{555.5, 60, 1e5, '+'}, {301.1, 90, 1e7, '+'}}, 240, false);
  for (scan& s : scans) {
    for (int k = 0; k < 40; ++k) s.peaks.push_back({120.0 + 0.77 * k, 5e5});
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
  }
  const std::vector<FeatureRow> rows = findFeatures(scans, {}, FeatureSettings());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NEAR(rows[0].mz, 555.5, 555.5 * 2e-6);
  EXPECT_NEAR(rows[0].rt * 60, 60, 0.6);
  EXPECT_GT(rows[0].sn, 50);
  EXPECT_NEAR(rows[1].mz, 301.1, 301.1 * 2e-6);
}

TEST(FeatureFinder, ThresholdsOfANoisyRegion) {
  // The floor is the lower quartile of a region's centroids; a region of few
  // centroids takes the floor of the whole group.
  std::vector<scan> scans(1);
  for (int k = 0; k < 200; ++k) scans[0].peaks.push_back({100.0 + 0.1 * k, 1.0 + k});
  scans[0].peaks.push_back({420.0, 5e6});
  std::vector<const scan*> spectra = {&scans[0]};
  const NoiseFloors floors = estimateNoiseFloors(spectra, 50, 0.25);
  EXPECT_EQ(floors.at(110), 50);   // 200 centroids of 1..200 counts
  EXPECT_EQ(floors.at(420), 51);   // one centroid: the overall floor of all 201
  EXPECT_EQ(floors.at(5000), 51);  // beyond every region
}

TEST(FullScanGroups, OnePolarityReadFromItsMostAccurateAnalyzer) {
  struct Case {
    const char* name;
    std::vector<std::string> filterLines;  // one MS1 scan each
    std::string analyzers;  // per group: polarity, analyzer, taken, left out, left-out analyzers
  };
  const Case cases[] = {
      {"one analyzer, lock scans join", {"FTMS + p ESI Full ms", "FTMS + p ESI Full lock ms"}, "+FTMS 2 0 ;"},
      {"ion trap beside Orbitrap",
       {"ITMS + p ESI Full ms", "FTMS + p ESI Full ms", "ITMS + p ESI Full ms"},
       "+FTMS 1 2 ITMS;"},
      {"no filter lines", {"", ""}, "? 2 0 ;"},
      {"unnamed analyzer joins", {"+ c ESI Q1MS", "TOFMS + c ESI Full ms"}, "+TOFMS 2 0 ;"},
      {"per polarity",
       {"ITMS - c ESI Full ms", "FTMS + p ESI Full ms", "SQMS + c ESI Full ms", "TQMS - c ESI Full ms"},
       "-ITMS 1 1 TQMS;+FTMS 1 1 SQMS;"},
  };
  for (const Case& c : cases) {
    std::vector<scan> scans;
    for (const std::string& line : c.filterLines) {
      scan s;
      s.msLevel = 1;
      s.rt = static_cast<double>(scans.size());
      s.filterLine = line;
      scans.push_back(s);
    }
    scan tandem;  // never a full scan of level 1
    tandem.msLevel = 2;
    tandem.filterLine = "ITMS + c ESI d Full ms2 300.00@cid35.00";
    scans.push_back(tandem);
    std::string got;
    for (const FullScanGroup& g : fullScanGroups(scans, 1)) {
      got += std::string(1, g.polarity) + g.analyzer + " " + std::to_string(g.spectra.size()) + " " +
             std::to_string(g.leftOut) + " " + g.leftOutAnalyzers + ";";
      EXPECT_TRUE(std::is_sorted(g.spectra.begin(), g.spectra.end(),
                                 [](const scan* a, const scan* b) { return a->rt < b->rt; }));
    }
    EXPECT_EQ(got, c.analyzers) << c.name;
  }
}

TEST(FeatureFinder, IonTrapFullScansDoNotShareTracesWithOrbitrapOnes) {
  // An LTQ-FT run alternating FTMS and ITMS full scans: the ion trap sees the ion 0.05 Da off. Mixed in
  // one trace the Orbitrap's ion alternates with nothing and the trap's reading is an ion of its own.
  std::vector<scan> scans = runOf({{301.1, 60, 1e6, '+'}}, 240, false);
  for (std::size_t i = 1; i < scans.size(); i += 2) {
    scans[i].filterLine = "ITMS + p ESI Full ms [100.00-1000.00]";
    for (StoredPeak& peak : scans[i].peaks) {
      if (std::fabs(peak.mz - 301.1) < 0.01) peak.mz += 0.05;
    }
  }
  const std::vector<FeatureRow> rows = findFeatures(scans, {}, FeatureSettings());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].mz, 301.1, 301.1 * 2e-6);
  EXPECT_NEAR(rows[0].rt * 60, 60, 1.1);
}
