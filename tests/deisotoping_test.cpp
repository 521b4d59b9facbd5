#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::peaksOf;
using testsupport::processor;
using testsupport::spectrum;

// Runs deisotoping on one spectrum and returns what it printed.
std::string deisotope(filterer& f, fileHandle& run) {
  testsupport::ConsoleCapture capture;
  f.deIsotope(run);
  return capture.takeOut();
}

}  // namespace

TEST(Deisotoping, IsotopeStepsForThreeChargesWithStrictWindow) {
  filterer f = processor(0, 0.01);
  datapeak lighter{300.0, 1000};
  for (double step : {1.002513, 0.5012565, 0.334171}) {
    datapeak candidate{300.0 + step + 0.009, 999};
    EXPECT_TRUE(f.isIsotope(candidate, lighter)) << step;
    candidate.intensity = 1000;  // as intense as the lighter peak
    EXPECT_FALSE(f.isIsotope(candidate, lighter)) << step;
  }
  f.massTolerance = 0.25;
  datapeak atEdge{(300.0 + 1.002513) + 0.25, 10};  // exactly the tolerance away
  EXPECT_FALSE(f.isIsotope(atEdge, lighter));
  atEdge.mz -= 0.001;
  EXPECT_TRUE(f.isIsotope(atEdge, lighter));
}

TEST(Deisotoping, ThreePeakChainFoldsIntoItsRoot) {
  fileHandle run;
  run.scans.push_back(spectrum(4, 0, 0, {{300.0, 1000}, {301.0025, 500}, {302.005, 200}, {310.0, 50}}));
  filterer f = processor(0, 0.01);
  EXPECT_EQ(deisotope(f, run), "Scan: 4 Peaks after deisotoping: 2 (-2) \n");
  EXPECT_EQ(peaksOf(run.scans[0]), (std::vector<std::pair<double, double>>{{300.0, 1700}, {310.0, 50}}));
}

// 301.5 lies an isotope step (charge 1) above the root and a charge-2 step above
// its folded isotope, so the root receives its intensity twice.
TEST(Deisotoping, PeakMatchingTwoEntriesOfOneRootAddsTwice) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 0, 0, {{300.0, 1000}, {301.0, 500}, {301.5, 100}}));
  filterer f = processor(0);
  deisotope(f, run);
  EXPECT_EQ(peaksOf(run.scans[0]), (std::vector<std::pair<double, double>>{{300.0, 1700}}));
}

TEST(Deisotoping, PeakMatchingTwoRootsFeedsEach) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 0, 0, {{300.0, 1000}, {300.8, 2000}, {301.5, 100}}));
  filterer f = processor(0);
  deisotope(f, run);
  EXPECT_EQ(peaksOf(run.scans[0]), (std::vector<std::pair<double, double>>{{300.0, 1100}, {300.8, 2100}}));
}

TEST(Deisotoping, IntensityFloorsAreStrict) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 0, 0, {{300.0, 5000}, {301.0, 1000}}));  // at the cutoff
  run.scans.push_back(spectrum(2, 0, 0, {{300.0, 5000}, {301.0, 1001}}));
  run.scans.push_back(spectrum(3, 0, 400000, {{300.0, 5000}, {301.0, 2000}}));  // at 0.5 % of TIC
  run.scans.push_back(spectrum(4, 0, 400000, {{300.0, 5000}, {301.0, 2001}}));
  filterer f = processor(1000);
  EXPECT_EQ(deisotope(f, run),
            "Scan: 2 Peaks after deisotoping: 1 (-1) \nScan: 4 Peaks after deisotoping: 1 (-1) \n");
  EXPECT_EQ(run.scans[0].peaks.size(), 2u);
  EXPECT_EQ(run.scans[1].peaks[0].intensity, 6001);
  EXPECT_EQ(run.scans[2].peaks.size(), 2u);
  EXPECT_EQ(run.scans[3].peaks[0].intensity, 7001);
}

TEST(Deisotoping, StrongerOrEqualLaterPeakStays) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 0, 0, {{300.0, 1000}, {301.0, 1000}, {302.0, 3000}}));
  filterer f = processor(0);
  EXPECT_EQ(deisotope(f, run), "");
  EXPECT_EQ(run.scans[0].peaks.size(), 3u);
}

TEST(Deisotoping, UnsortedPeakFoldsUpToTheWindowBelow) {
  fileHandle run;
  // The charge-3 window reaches 0.165829 below an earlier peak.
  run.scans.push_back(spectrum(1, 0, 0, {{300.0, 1000}, {299.9, 100}, {299.8, 100}}));
  filterer f = processor(0);
  deisotope(f, run);
  EXPECT_EQ(peaksOf(run.scans[0]), (std::vector<std::pair<double, double>>{{300.0, 1100}, {299.8, 100}}));
}

TEST(Deisotoping, ProgressLineOnlyForChangedSpectra) {
  fileHandle run;
  std::vector<std::pair<double, double>> peaks;
  for (int i = 0; i < 120; ++i) {
    peaks.emplace_back(100.0 + 10 * i, 10000);
    if (i < 8) peaks.emplace_back(100.0 + 10 * i + 1.0025, 100);
  }
  run.scans.push_back(spectrum(16, 0, 0, {{500.0, 10}}));
  run.scans.push_back(spectrum(17, 0, 0, peaks));
  run.scans.push_back(spectrum(18, 0, 0, {}));
  ASSERT_EQ(run.scans[1].peaks.size(), 128u);
  filterer f = processor(0);
  EXPECT_EQ(deisotope(f, run), "Scan: 17 Peaks after deisotoping: 120 (-8) \n");
  EXPECT_EQ(run.scans[1].peaks.size(), 120u);
  EXPECT_EQ(run.scans[1].peaks[7].intensity, 10100);
  EXPECT_EQ(run.scans[1].peaks[8].intensity, 10000);
  EXPECT_TRUE(run.scans[2].peaks.empty());
}

// With windows in ppm, isotopes and losses are matched at their exact mass
// differences within that many ppm of the candidate's m/z.
TEST(Deisotoping, PpmWindowsUseExactMassDifferences) {
  filterer f = processor(0);
  f.massPpm = 10;  // 0.003 at m/z 300
  datapeak lighter{300.0, 1000};
  const struct {
    double mz;
    bool isotope;
  } isotopes[] = {
      {300.0 + 1.0033548, true},            // 13C, charge 1
      {300.0 + 1.0033548 / 2, true},        // charge 2
      {300.0 + 1.0033548 + 0.0029, true},   // just inside 10 ppm
      {300.0 + 1.0033548 + 0.0031, false},  // just outside
      {300.0 + 1.002513, true},             // the nominal step is 0.84 mDa off: 2.8 ppm here
      {300.0 + 1.02, false},                // within -M 0.5, far outside 10 ppm
  };
  for (const auto& c : isotopes) {
    datapeak candidate{c.mz, 10};
    EXPECT_EQ(f.isIsotope(candidate, lighter), c.isotope) << c.mz;
  }
  datapeak parent{300.0, 1000};
  const struct {
    double mz;
    bool loss;
  } losses[] = {
      {300.0 - 18.0105647, true},  // water
      {300.0 - 15.9949146, true},  // oxygen
      {300.0 - 18.0, false},       // nominal water loss: 11 mDa off
      {300.0 - 16.0, false},
  };
  for (const auto& c : losses) {
    datapeak candidate{c.mz, 10};
    EXPECT_EQ(f.isH2OLoss(candidate, parent) || f.isOLoss(candidate, parent), c.loss) << c.mz;
  }
}
