#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"

namespace {

// A processed chromatogram; `id` goes into apexScan so tests can tell copies apart.
chrom feature(double peakMz, double apexSeconds, double area, int id) {
  chrom xic;
  xic.mz = peakMz;
  xic.peakMz = peakMz;
  xic.apexTime = apexSeconds;
  xic.area = area;
  xic.apexScan = id;
  xic.times = {0, 30, 60};
  xic.intensities = {1, 2, static_cast<double>(id)};
  return xic;
}

std::vector<int> idsAfterCulling(std::vector<chrom> chroms, std::int32_t cutoff = 10000) {
  fileHandle run;
  run.channels.emplace_back();
  run.channels.back().chroms = std::move(chroms);
  filterer f;
  f.cutoff = cutoff;
  f.massTolerance = 0.5;
  f.timeTolerance = 0.5;  // minutes: 30 s
  f.cullXIC(run);
  std::vector<int> ids;
  for (const chrom& xic : run.channels[0].chroms) ids.push_back(xic.apexScan);
  return ids;
}

}  // namespace

TEST(Culling, LargerLaterFeatureTakesThePlaceOfTheFirstMatch) {
  fileHandle run;
  run.channels.emplace_back();
  run.channels[0].chroms = {feature(300.0, 100, 100000, 1), feature(300.6, 100, 100000.5, 2),
                            feature(300.3, 110, 500000, 3)};  // matches both survivors
  filterer f;
  f.cutoff = 10000;
  f.massTolerance = 0.5;
  f.timeTolerance = 0.5;
  f.cullXIC(run);
  const std::vector<chrom>& chroms = run.channels[0].chroms;
  ASSERT_EQ(chroms.size(), 2u);
  EXPECT_EQ(chroms[0].apexScan, 3);
  EXPECT_EQ(chroms[0].peakMz, 300.3);
  EXPECT_EQ(chroms[0].intensities, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(chroms[1].apexScan, 2);
  EXPECT_EQ(chroms[1].area, 100000.5);
}

TEST(Culling, EqualOrSmallerMatchLeavesTheSurvivor) {
  EXPECT_EQ(idsAfterCulling(
                {feature(300.0, 100, 80000, 1), feature(300.2, 110, 80000, 2), feature(300.1, 90, 60000, 3)}),
            (std::vector<int>{1}));
}

TEST(Culling, ExactToleranceDifferencesDoNotMatch) {
  EXPECT_EQ(idsAfterCulling({feature(300.0, 100, 80000, 1), feature(300.5, 100, 90000, 2),
                             feature(300.0, 130, 90001, 3), feature(300.0, 70, 90002, 4)}),
            (std::vector<int>{1, 2, 3, 4}));
}

TEST(Culling, AreaMustExceedFiveTimesTheCutoff) {
  EXPECT_EQ(idsAfterCulling(
                {feature(300.0, 100, 50000, 1), feature(400.0, 100, 50000.5, 2), feature(500.0, 0, 0, 3)}),
            (std::vector<int>{2}));
  EXPECT_EQ(idsAfterCulling({feature(300.0, 100, 0, 1)}, 0), std::vector<int>{});
  EXPECT_EQ(idsAfterCulling({feature(300.0, 100, 0, 1)}, -1), (std::vector<int>{1}));
  // The fivefold of the largest cutoff does not wrap around.
  EXPECT_EQ(idsAfterCulling({feature(300.0, 100, 1.0e10, 1), feature(400.0, 100, 1.1e10, 2)}, 2147483647),
            (std::vector<int>{2}));
}

TEST(Culling, ChannelsAreCulledIndependently) {
  fileHandle run;
  run.channels.resize(3);
  run.channels[0].chroms = {feature(300.0, 100, 80000, 1)};
  run.channels[1].chroms = {feature(300.0, 100, 80000, 2)};
  run.channels[2].chroms = {feature(300.0, 100, 100, 3)};
  filterer f;
  f.cutoff = 10000;
  f.cullXIC(run);
  ASSERT_EQ(run.channels[0].chroms.size(), 1u);
  ASSERT_EQ(run.channels[1].chroms.size(), 1u);
  EXPECT_EQ(run.channels[1].chroms[0].apexScan, 2);
  EXPECT_TRUE(run.channels[2].chroms.empty());
}
