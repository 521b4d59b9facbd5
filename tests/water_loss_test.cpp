#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::Peaks;
using testsupport::peaksOf;
using testsupport::spectrum;

// Runs water-loss removal on a one-spectrum run; returns what it printed.
std::string removeLosses(const scan& s, Peaks& after, int cutoff = 0) {
  fileHandle run;
  run.scans.push_back(s);
  filterer f;
  f.cutoff = cutoff;
  f.massTolerance = 0.01;  // not used by this filter
  testsupport::ConsoleCapture capture;
  f.removeH2O(run);
  after = peaksOf(run.scans[0]);
  return capture.takeOut();
}

}  // namespace

TEST(WaterLoss, LossWindowsAreStrict) {
  filterer f;
  datapeak parent{300.0, 1000};
  for (double below : {17.5, 18.5, 15.5, 16.5}) {
    datapeak candidate{300.0 - below, 100};
    EXPECT_FALSE(f.isOLoss(candidate, parent) || f.isH2OLoss(candidate, parent)) << below;
  }
  datapeak water{300.0 - 17.6, 100};
  EXPECT_TRUE(f.isH2OLoss(water, parent));
  EXPECT_FALSE(f.isOLoss(water, parent));
  datapeak oxygen{300.0 - 16.4, 100};
  EXPECT_TRUE(f.isOLoss(oxygen, parent));
  EXPECT_FALSE(f.isH2OLoss(oxygen, parent));
  oxygen.intensity = 1000;  // as intense as the parent
  EXPECT_FALSE(f.isOLoss(oxygen, parent));
}

TEST(WaterLoss, LossIsFoldedIntoTheHeavierPeak) {
  Peaks after;
  EXPECT_EQ(removeLosses(spectrum(5, 0, 0, {{282.4, 100}, {300.0, 1000}}), after),
            "Scan: 5 Peaks after Loss: 1 (-1) \n");
  EXPECT_EQ(after, (Peaks{{300.0, 1100}}));
  EXPECT_EQ(removeLosses(spectrum(6, 0, 0, {{282.5, 100}, {300.0, 1000}}), after), "");
  EXPECT_EQ(after, (Peaks{{282.5, 100}, {300.0, 1000}}));
}

TEST(WaterLoss, HeavierPeakEarlierInTheListDoesNotAbsorb) {
  Peaks after;
  EXPECT_EQ(removeLosses(spectrum(1, 0, 0, {{300.0, 1000}, {282.0, 100}}), after), "");
  EXPECT_EQ(after, (Peaks{{300.0, 1000}, {282.0, 100}}));
}

TEST(WaterLoss, IntensityFloorsAreStrict) {
  Peaks after;
  removeLosses(spectrum(1, 0, 0, {{282.0, 1000}, {300.0, 5000}}), after, 1000);
  EXPECT_EQ(after.size(), 2u);
  removeLosses(spectrum(1, 0, 0, {{282.0, 1001}, {300.0, 5000}}), after, 1000);
  EXPECT_EQ(after, (Peaks{{300.0, 6001}}));
  removeLosses(spectrum(1, 0, 400000, {{282.0, 2000}, {300.0, 5000}}), after);  // 0.5 % of TIC
  EXPECT_EQ(after.size(), 2u);
  removeLosses(spectrum(1, 0, 400000, {{282.0, 2001}, {300.0, 5000}}), after);
  EXPECT_EQ(after, (Peaks{{300.0, 7001}}));
}

TEST(WaterLoss, CandidateFeedsEveryMatchingPeakAndIsRemovedOnce) {
  Peaks after;
  EXPECT_EQ(removeLosses(spectrum(9, 0, 0, {{282.0, 100}, {298.0, 1000}, {300.0, 2000}}), after),
            "Scan: 9 Peaks after Loss: 2 (-1) \n");
  EXPECT_EQ(after, (Peaks{{298.0, 1100}, {300.0, 2100}}));
}

TEST(WaterLoss, SurvivorsKeepTheirOrderAndDroppedPeaksAbsorbNothing) {
  Peaks after;
  // 282 goes into 300; 264 lies 18 below the dropped 282 and so stays.
  removeLosses(
      spectrum(1, 0, 0,
               {{100.0, 5}, {264.0, 50}, {200.0, 7}, {282.0, 100}, {250.0, 9}, {300.0, 1000}, {150.0, 3}}),
      after);
  EXPECT_EQ(after, (Peaks{{100.0, 5}, {264.0, 50}, {200.0, 7}, {250.0, 9}, {300.0, 1100}, {150.0, 3}}));
}
