#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::processor;
using testsupport::spectrum;

datapeak target(double mz) {
  datapeak p;
  p.mz = mz;
  return p;
}

}  // namespace

TEST(PickPeaks, ThresholdsAreStrictAndTimeIsWrittenBack) {
  // 2.5 % of 200000 is 5000.
  scan s = spectrum(7, 61.5, 200000, {{100, 1000}, {101, 1000.5}, {102, 5000}, {103, 5000.5}, {104, 9000}});
  std::vector<datapeak> picked;
  processor().pickPeaks(&s, picked);
  ASSERT_EQ(picked.size(), 2u);
  EXPECT_EQ(picked[0].mz, 103);
  EXPECT_EQ(picked[1].mz, 104);
  EXPECT_EQ(picked[0].rt, 61.5);
  EXPECT_EQ(picked[1].rt, 61.5);
}

TEST(PickPeaks, SpectrumWithoutTotalIonCurrentPassesEveryPeakAboveTheCutoff) {
  scan s = spectrum(1, 3, 0, {{100, 1000}, {101, 1001}});
  std::vector<datapeak> picked;
  processor().pickPeaks(&s, picked);
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0].mz, 101);
}

TEST(GenerateXIC, WindowIsOpenAndPeaksInsideItAreSummed) {
  fileHandle run;
  // 99.5 and 100.5 lie exactly one tolerance away and are left out.
  run.scans.push_back(spectrum(1, 10, 0, {{99.5, 1}, {99.6, 20}, {100.4, 300}, {100.5, 4000}}));
  run.scans.push_back(spectrum(2, 20, 0, {{100.0, 5}}));
  run.channels.emplace_back();
  run.channels[0].scans = {0, 1};
  run.targetPeaks = {target(100.0)};
  processor().generateXIC(run);
  ASSERT_EQ(run.channels[0].chroms.size(), 1u);
  const chrom& X = run.channels[0].chroms[0];
  EXPECT_EQ(X.intensities, (std::vector<double>{320, 5}));
  EXPECT_EQ(X.totalIntensity, 325);
}

TEST(GenerateXIC, TargetListGivesOneChromatogramPerTargetSeededWhereItsTraceIsHighest) {
  fileHandle run;
  run.scans.push_back(spectrum(11, 1.5, 100, {{200, 7}}));
  run.scans.push_back(spectrum(12, 2.5, 100, {{300, 9}}));
  run.scans.push_back(spectrum(4294967296LL + 13, 3.5, 100, {{200, 2}}));
  run.channels.resize(3);
  run.channels[0].scans = {0, 2};
  // channel 1 has no spectra
  run.channels[2].scans = {1};
  run.channels[2].chroms.emplace_back();  // an existing chromatogram stays
  run.targetPeaks = {target(200), target(300), target(555)};
  processor().generateXIC(run);

  ASSERT_EQ(run.channels[0].chroms.size(), 3u);
  EXPECT_TRUE(run.channels[1].chroms.empty());
  ASSERT_EQ(run.channels[2].chroms.size(), 4u);

  const chrom& first = run.channels[0].chroms[0];
  EXPECT_EQ(first.mz, 200);
  EXPECT_EQ(first.seedIntensity, 0);
  EXPECT_EQ(first.seedTime, 1.5);
  EXPECT_EQ(first.seedScan, 11);
  EXPECT_EQ(first.times, (std::vector<double>{1.5, 3.5}));
  EXPECT_EQ(first.scanNumbers, (std::vector<std::int32_t>{11, 13}));  // low 32 bits
  EXPECT_EQ(first.intensities, (std::vector<double>{7, 2}));

  const chrom& absent = run.channels[0].chroms[2];
  EXPECT_EQ(absent.mz, 555);
  EXPECT_EQ(absent.intensities, (std::vector<double>{0, 0}));
  EXPECT_EQ(absent.totalIntensity, 0);

  EXPECT_EQ(run.channels[2].chroms[2].mz, 300);
  EXPECT_EQ(run.channels[2].chroms[2].intensities, std::vector<double>{9});
  EXPECT_EQ(run.channels[2].chroms[2].seedScan, 12);
}

TEST(GenerateXIC, UntargetedSeedsOneChromatogramPerPickedPeakInSpectrumOrder) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 10, 0, {{150, 500}, {250, 2000}}));
  run.scans.push_back(spectrum(2, 20, 0, {{150, 3000}, {250, 4000}}));
  run.scans.push_back(spectrum(3, 30, 0, {{150, 900}}));
  run.channels.emplace_back();
  run.channels[0].scans = {0, 1, 2};
  processor().generateXIC(run);

  const std::vector<chrom>& chroms = run.channels[0].chroms;
  ASSERT_EQ(chroms.size(), 3u);
  EXPECT_EQ(chroms[0].mz, 250);
  EXPECT_EQ(chroms[0].seedTime, 10);
  EXPECT_EQ(chroms[0].seedIntensity, 2000);
  EXPECT_EQ(chroms[1].mz, 150);
  EXPECT_EQ(chroms[1].seedTime, 20);
  EXPECT_EQ(chroms[1].seedScan, 2);
  EXPECT_EQ(chroms[1].intensities, (std::vector<double>{500, 3000, 900}));
  EXPECT_EQ(chroms[2].mz, 250);
  EXPECT_EQ(chroms[2].seedTime, 20);
}

TEST(GenerateXIC, UntargetedChannelWithoutPeaksAboveTheCutoffGetsNothing) {
  fileHandle run;
  run.scans.push_back(spectrum(1, 10, 0, {{150, 1000}}));
  run.scans.push_back(spectrum(2, 20, 0, {{150, 999}}));
  run.channels.emplace_back();
  run.channels[0].scans = {0, 1};
  processor().generateXIC(run);
  EXPECT_TRUE(run.channels[0].chroms.empty());
}

// A target is looked for where its trace first reaches its highest value, so a
// compound eluting after the first spectrum is still found.
TEST(GenerateXIC, TargetSeededAtTheTraceMaximum) {
  fileHandle run;
  const double values[] = {0, 5, 9, 9, 3};
  for (int k = 0; k < 5; ++k) run.scans.push_back(spectrum(100 + k, 10.0 * k, 0, {{300.0, values[k]}}));
  run.channels.emplace_back();
  run.channels[0].scans = {0, 1, 2, 3, 4};
  run.targetPeaks = {target(300), target(700)};
  processor().generateXIC(run);
  ASSERT_EQ(run.channels[0].chroms.size(), 2u);
  EXPECT_EQ(run.channels[0].chroms[0].seedTime, 20);
  EXPECT_EQ(run.channels[0].chroms[0].seedScan, 102);
  // An all-zero trace stays seeded at the channel's first spectrum.
  EXPECT_EQ(run.channels[0].chroms[1].seedTime, 0);
  EXPECT_EQ(run.channels[0].chroms[1].seedScan, 100);
}
