// Targets with retention-time windows: the --targets file and the targeted
// pass it restricts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

TEST(TargetWindows, ReadsLinesOrRejectsTheWholeFile) {
  struct Case {
    const char* text;
    int result;
    std::size_t targets;
  };
  const Case cases[] = {
      {"300.1\t1\t2\n# comment\n\n400.2\t0.5\t0.5\r\n", 1, 2},
      {"300.1\t1\t2", 1, 1},
      {"", 1, 0},
      {"mz\trt_low\trt_high\n300.1\t1\t2\n", -1, 0},  // no header line
      {"300.1\t2\t1\n", -1, 0},                       // low above high
      {"300.1\t1\n", -1, 0},
      {"300.1\t1\t2\tx\n", -1, 0},
      {"300.1 \t1\t2\n", -1, 0},
      {"nan\t1\t2\n", -1, 0},
      {"-5\t1\t2\n", -1, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fileHandle run;
    run.targetPeaks.push_back(datapeak{});  // a -p target before the file
    std::string error;
    EXPECT_EQ(run.importTargetWindows(dir.write("t.tsv", c.text).c_str(), error), c.result);
    EXPECT_EQ(run.targetPeaks.size(), 1 + c.targets);
    EXPECT_EQ(run.targetWindows.size(), c.result == 1 ? 1 + c.targets : 0);
    EXPECT_EQ(error.empty(), c.result == 1);
  }
  fileHandle run;
  std::string error;
  EXPECT_EQ(run.importTargetWindows(dir.file("absent.tsv").c_str(), error), 0);
  ASSERT_EQ(run.importTargetWindows(dir.write("t.tsv", "300.1\t1\t2.5\n").c_str(), error), 1);
  EXPECT_EQ(run.targetPeaks[0].mz, 300.1);
  EXPECT_TRUE(run.targetWindows[0].bounded);
  EXPECT_EQ(run.targetWindows[0].low, 60.0);
  EXPECT_EQ(run.targetWindows[0].high, 150.0);
}

// A simulated compound's m/z with a window around its apex gives its peak, the
// same figures as the unwindowed target; a window elsewhere gives no row.
TEST(TargetWindows, PeakOnlyWhenTheApexLiesInTheWindow) {
  TempDir dir;
  const std::string run = dir.file("run.mzXML");
  const ProcessResult simulated =
      testsupport::runProgram(testsupport::simulatorPath(), {"-o", run, "-n", "240", "-c", "4", "-s", "7"});
  ASSERT_EQ(simulated.status, 0) << simulated.err;
  std::istringstream truth(testsupport::readFile(run + ".truth.tsv"));
  std::string line;
  std::getline(truth, line);
  std::getline(truth, line);
  std::istringstream fields(line);
  std::string compound, mz, charge, rt;
  std::getline(fields, compound, '\t');
  std::getline(fields, mz, '\t');
  std::getline(fields, charge, '\t');
  std::getline(fields, rt, '\t');
  const double apex = std::strtod(rt.c_str(), nullptr);

  const auto summary = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"-i", run, "-s", dir.file("s.tsv"), "-M", "0.01"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProcessResult result = testsupport::runTorva(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return testsupport::readFile(dir.file("s.tsv"));
  };
  const std::string plain = summary({"-p", mz});
  ASSERT_EQ(std::count(plain.begin(), plain.end(), '\n'), 2) << plain;
  const std::string around = dir.write(
      "around.tsv", mz + "\t" + std::to_string(apex - 0.2) + "\t" + std::to_string(apex + 0.2) + "\n");
  EXPECT_EQ(summary({"--targets", around}), plain);
  const std::string later = dir.write(
      "later.tsv", mz + "\t" + std::to_string(apex + 0.6) + "\t" + std::to_string(apex + 1.0) + "\n");
  EXPECT_EQ(summary({"--targets", later}),
            "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\t"
            "transition\n");
}
