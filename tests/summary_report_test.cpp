#include <gtest/gtest.h>

#include <string>

#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;

const std::string kHead = "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n";

channel makeChannel(double precursor, double energy = 35, double low = 100, double high = 400) {
  channel transition;
  transition.precursorMz = precursor;
  transition.collisionEnergy = energy;
  transition.productLow = low;
  transition.productHigh = high;
  return transition;
}

// A detected feature; `minutes` is the apex time as the report prints it.
chrom feature(double mass, double minutes, double area, int apexScan = 10) {
  chrom xic;
  xic.mz = mass;
  xic.peakMz = mass;
  xic.apexTime = minutes * 60.0;
  xic.area = area;
  xic.apexScan = apexScan;
  xic.startScan = apexScan - 2;
  xic.endScan = apexScan + 3;
  return xic;
}

std::string writeSummary(fileHandle& run, float timeTolerance = 0.5f, float massTolerance = 0.5f,
                         float cutoff = 10000.0f) {
  TempDir dir;
  const std::string path = dir.file("summary.tsv");
  EXPECT_TRUE(run.exportSum(path.c_str(), timeTolerance, massTolerance, cutoff));
  return readFile(path);
}

}  // namespace

TEST(SummaryReport, LineFormatAndLabels) {
  fileHandle run;
  run.channels.push_back(makeChannel(301.1, 35));
  run.channels.back().chroms.push_back(feature(301.12, 4.37, 98012.55, 261));
  run.channels.push_back(makeChannel(455.25, 0, 110, 900));
  run.channels.back().chroms.push_back(feature(455.2, 7.5, 60000, 400));
  run.channels.push_back(makeChannel(500, -1, 0.5, 1.25));
  run.channels.back().chroms.push_back(feature(500.01, 9, 70000, 500));
  EXPECT_EQ(writeSummary(run),
            kHead + "301.12000\t4.37000\t98012.55000\t261\t259\t264\t301.1@35.0[100.0000-400.0000]\n" +
                "455.20000\t7.50000\t60000.00000\t400\t398\t403\t455.2[110.0000-900.0000]\n" +
                "500.01000\t9.00000\t70000.00000\t500\t498\t503\t500.0[0.5000-1.2500]\n");
}

TEST(SummaryReport, OnlyAreasAboveCutoffWithPositiveTimeAreWritten) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  run.channels.back().chroms.push_back(feature(300, 1, 10000));    // area equals the cutoff
  run.channels.back().chroms.push_back(feature(310, 2, 10000.5));  // written
  run.channels.back().chroms.push_back(feature(320, 0, 50000));    // no apex time
  run.channels.back().chroms.push_back(chrom{});                   // no peak at all
  const std::string text = writeSummary(run);
  EXPECT_EQ(text, kHead + "310.00000\t2.00000\t10000.50000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n");
}

TEST(SummaryReport, EmptyRunGivesHeadOnly) {
  fileHandle run;
  EXPECT_EQ(writeSummary(run), kHead);
}

TEST(SummaryReport, EqualAreasKeepTheFirstGatheredWhateverItsChannel) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  run.channels.back().chroms.push_back(feature(300, 1, 20000, 1));
  run.channels.back().chroms.push_back(feature(600, 9, 30000, 2));
  run.channels.push_back(makeChannel(700));
  run.channels.back().chroms.push_back(feature(700, 20, 20000, 3));
  const std::string text = writeSummary(run);
  EXPECT_NE(text.find("300.00000\t1.00000\t20000.00000\t1\t"), std::string::npos);
  EXPECT_NE(text.find("600.00000"), std::string::npos);
  EXPECT_EQ(text.find("700.00000"), std::string::npos);
}

// The later, larger entry removes the earlier one; comparison restarts at the
// same position, so the winner then removes a neighbour only it is close to.
TEST(SummaryReport, MergeRemovesEarlierEntryAndRestarts) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  std::vector<chrom>& chroms = run.channels.back().chroms;
  chroms.push_back(feature(200.0, 1.0, 40000));     // Z, unrelated
  chroms.push_back(feature(300.0, 1.0, 100000));    // A
  chroms.push_back(feature(300.4, 1.3, 200000));    // B: beats A
  chroms.push_back(feature(300.1, 1.625, 150000));  // C: too late for A, close to B
  chroms.push_back(feature(400.0, 1.0, 45000));     // W, unrelated
  const std::string text = writeSummary(run);
  EXPECT_EQ(text, kHead + "200.00000\t1.00000\t40000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n" +
                      "300.40000\t1.30000\t200000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n" +
                      "400.00000\t1.00000\t45000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n");
}

TEST(SummaryReport, LaterSmallerEntryIsRemovedAcrossChannelsOfOnePrecursor) {
  fileHandle run;
  run.channels.push_back(makeChannel(300, 35));
  run.channels.back().chroms.push_back(feature(300.2, 2.0, 90000));
  run.channels.push_back(makeChannel(300, 20));
  run.channels.back().chroms.push_back(feature(300.0, 2.2, 80000));
  const std::string text = writeSummary(run);
  EXPECT_EQ(text, kHead + "300.20000\t2.00000\t90000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n");
}

TEST(SummaryReport, ExactToleranceDifferencesAndOtherPrecursorsAreNotMerged) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  run.channels.back().chroms.push_back(feature(300.0, 1.0, 20000));
  run.channels.back().chroms.push_back(feature(300.5, 1.2, 30000));  // 0.5 apart in mass
  run.channels.back().chroms.push_back(feature(300.0, 1.5, 40000));  // 0.5 min after the first
  run.channels.push_back(makeChannel(300.05));
  run.channels.back().chroms.push_back(feature(300.01, 1.0, 50000));  // other precursor
  const std::string text = writeSummary(run);
  EXPECT_NE(text.find("\t20000.00000\t"), std::string::npos);
  EXPECT_NE(text.find("\t30000.00000\t"), std::string::npos);
  EXPECT_NE(text.find("\t40000.00000\t"), std::string::npos);
  EXPECT_NE(text.find("\t50000.00000\t"), std::string::npos);
}

TEST(SummaryReport, NegativeToleranceLeavesOnlyEqualAreaRemoval) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  run.channels.back().chroms.push_back(feature(300.0, 1.0, 20000));
  run.channels.back().chroms.push_back(feature(300.0, 1.0, 30000));
  run.channels.back().chroms.push_back(feature(300.0, 1.0, 20000));
  const std::string text = writeSummary(run, -0.5f, -0.5f);
  EXPECT_EQ(text, kHead + "300.00000\t1.00000\t20000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n" +
                      "300.00000\t1.00000\t30000.00000\t10\t8\t13\t300.0@35.0[100.0000-400.0000]\n");
}

TEST(SummaryReport, SrmFeaturesTakeThePrecursorAndMergeByTimeAlone) {
  fileHandle run;
  run.SRM = true;
  run.channels.push_back(makeChannel(445.1, 20, 150, 151));
  run.channels.back().chroms.push_back(feature(150.5, 3.0, 60000));
  run.channels.push_back(makeChannel(445.1, 20, 200, 201));
  run.channels.back().chroms.push_back(feature(200.5, 3.4, 70000));
  run.channels.back().chroms.push_back(feature(200.5, 5.0, 65000));
  const std::string text = writeSummary(run);
  EXPECT_EQ(text, kHead + "445.10000\t3.40000\t70000.00000\t10\t8\t13\t445.1@20.0[200.0000-201.0000]\n" +
                      "445.10000\t5.00000\t65000.00000\t10\t8\t13\t445.1@20.0[200.0000-201.0000]\n");
}

TEST(SummaryReport, UnwritableFileReportsFailure) {
  fileHandle run;
  run.channels.push_back(makeChannel(300));
  run.channels.back().chroms.push_back(feature(300.0, 1.0, 20000));
  TempDir dir;
  for (const std::string& path : {dir.file("missing/summary.tsv"), std::string("/dev/full")}) {
    testsupport::ConsoleCapture capture;
    EXPECT_FALSE(run.exportSum(path.c_str(), 0.5f, 0.5f, 10000.0f));
    EXPECT_EQ(capture.takeOut(), "");
    const std::string err = capture.takeErr();
    EXPECT_NE(err.find("cannot write report file '" + path + "'"), std::string::npos) << err;
  }
}

// In a run of both polarities, a positive and a negative feature of one mass
// and time are two ions, not one feature seen twice; within a polarity the
// merge is as before.
TEST(SummaryReport, FeaturesOfOppositePolarityAreNeverMerged) {
  fileHandle run;
  for (const char polarity : {'+', '-'}) {
    run.channels.push_back(makeChannel(0, 0, 0, 0));
    run.channels.back().polarity = polarity;
  }
  run.channels[0].chroms.push_back(feature(300.1, 2.0, 50000, 20));
  run.channels[0].chroms.push_back(feature(300.1, 2.1, 40000, 21));  // merged into the first
  run.channels[1].chroms.push_back(feature(300.1, 2.0, 60000, 20));
  run.channels[1].chroms.push_back(feature(500.2, 3.0, 50000, 30));  // equal area, other polarity: kept
  const std::string text = writeSummary(run);
  EXPECT_EQ(text, kHead + "300.10000\t2.00000\t50000.00000\t20\t18\t23\t0.0[0.0000-0.0000]\n" +
                      "300.10000\t2.00000\t60000.00000\t20\t18\t23\t0.0[0.0000-0.0000]\n" +
                      "500.20000\t3.00000\t50000.00000\t30\t28\t33\t0.0[0.0000-0.0000]\n");

  // One polarity throughout: the larger later one wins as before.
  run.channels[1].polarity = '+';
  EXPECT_EQ(writeSummary(run), kHead + "300.10000\t2.00000\t60000.00000\t20\t18\t23\t0.0[0.0000-0.0000]\n" +
                                   "500.20000\t3.00000\t50000.00000\t30\t28\t33\t0.0[0.0000-0.0000]\n");
}
