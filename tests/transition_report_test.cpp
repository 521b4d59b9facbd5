#include <gtest/gtest.h>

#include <string>

#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;

channel makeChannel(double precursor, double energy, double low, double high, std::size_t spectra) {
  channel transition;
  transition.precursorMz = precursor;
  transition.collisionEnergy = energy;
  transition.productLow = low;
  transition.productHigh = high;
  for (std::size_t i = 0; i < spectra; ++i) transition.scans.push_back(i);
  return transition;
}

chrom trace(double mz, std::vector<double> times, std::vector<double> intensities) {
  chrom xic;
  xic.mz = mz;
  xic.peakMz = mz;
  xic.times = std::move(times);
  xic.intensities = std::move(intensities);
  for (double value : xic.intensities) xic.totalIntensity += value;
  return xic;
}

}  // namespace

TEST(TransitionReport, ChannelBlocksWithTablesAndEmptyLines) {
  fileHandle run;
  run.channels.push_back(makeChannel(301.1, 35, 100, 400, 3));
  chrom first = trace(301.12, {1.2, 90, 150}, {0, 12.5, 40});
  first.apexIntensity = 15432.1;
  first.apexTime = 262.2;
  first.apexScan = 261;
  first.area = 98012.554;
  run.channels.back().chroms.push_back(first);
  // A second trace with its own time axis: the head still follows the first.
  run.channels.back().chroms.push_back(trace(455.5, {0, 60, 120, 180}, {1, 2, 3, 4}));
  run.channels.push_back(makeChannel(500, 0, 150.004, 151.006, 7));

  TempDir dir;
  const std::string path = dir.file("transitions.tsv");
  EXPECT_EQ(run.outputXIC(path.c_str()), 1);
  EXPECT_EQ(readFile(path),
            "Channel:\t301.10@35.00 [100.00-400.00]\tScans:\t3\n"
            "Mass\tIntensity\tRT(mins)\tScan\tArea\tTIC\t0.02\t1.50\t2.50\t\n"
            "301.12\t15432.10\t4.37\t261\t98012.55\t52.50\t0.00\t12.50\t40.00\t\n"
            "455.50\t0.00\t0.00\t0\t0.00\t10.00\t1.00\t2.00\t3.00\t4.00\t\n"
            "\n"
            "Channel:\t500.00@0.00 [150.00-151.01]\tScans:\t7\n"
            "\n");
}

TEST(TransitionReport, EmptyRunGivesEmptyFile) {
  fileHandle run;
  TempDir dir;
  const std::string path = dir.write("transitions.tsv", "old content\n");
  EXPECT_EQ(run.outputXIC(path.c_str()), 1);
  EXPECT_EQ(readFile(path), "");
}

TEST(TransitionReport, UnwritableFileReportsFailure) {
  fileHandle run;
  run.channels.push_back(makeChannel(301.1, 35, 100, 400, 1));
  run.channels.back().chroms.push_back(trace(301.1, {6}, {5}));
  TempDir dir;
  for (const std::string& path : {dir.file("missing/transitions.tsv"), std::string("/dev/full")}) {
    testsupport::ConsoleCapture capture;
    EXPECT_EQ(run.outputXIC(path.c_str()), 0);
    EXPECT_EQ(capture.takeOut(), "");
    const std::string err = capture.takeErr();
    EXPECT_NE(err.find("cannot write report file '" + path + "'"), std::string::npos) << err;
  }
}
