// Whole runs: the simulator writes a run with known compounds, torva processes
// it as a separate process, and the reports are checked against the truth.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "report/summary_table.h"
#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::runTorva;
using testsupport::simulatorPath;
using testsupport::TempDir;

namespace {

constexpr double kMassAgreement = 0.01;  // daltons
constexpr double kTimeAgreement = 0.1;   // minutes

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// Rows of a tab-separated file, header line skipped.
std::vector<std::vector<std::string>> readRows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readFile(path));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) rows.push_back(splitTabs(line));
  return rows;
}

struct Compound {
  double mz = 0;
  double rtMinutes = 0;
  double ticShare = 0;
};

// Full-scan truth: compound, mz, charge, rt_min, sigma_s, apex_intensity, ..., tic_share.
std::vector<Compound> readFullScanTruth(const std::string& runPath) {
  std::vector<Compound> compounds;
  for (const auto& row : readRows(runPath + ".truth.tsv")) {
    compounds.push_back(
        {std::atof(row.at(1).c_str()), std::atof(row.at(3).c_str()), std::atof(row.at(8).c_str())});
  }
  return compounds;
}

// SRM truth: one row per transition; the precursor is what the summary reports.
std::vector<Compound> readSrmPrecursors(const std::string& runPath) {
  std::vector<Compound> precursors;
  for (const auto& row : readRows(runPath + ".truth.tsv")) {
    const double mz = std::atof(row.at(1).c_str());
    if (!precursors.empty() && precursors.back().mz == mz) continue;
    precursors.push_back({mz, std::atof(row.at(6).c_str()), 1.0});
  }
  return precursors;
}

struct Feature {
  double mass = 0;
  double rtMinutes = 0;
};

std::vector<Feature> readSummary(const std::string& path) {
  std::vector<SummaryRow> rows;
  std::string error;
  EXPECT_TRUE(readSummaryTable(path, rows, error)) << error;
  std::vector<Feature> features;
  for (const SummaryRow& row : rows) features.push_back({row.mass, row.rt});
  return features;
}

int countMatches(const std::vector<Feature>& features, const Compound& compound, bool needTime) {
  int count = 0;
  for (const Feature& feature : features) {
    const bool massAgrees = std::abs(feature.mass - compound.mz) < kMassAgreement;
    const bool timeAgrees = std::abs(feature.rtMinutes - compound.rtMinutes) < kTimeAgreement;
    if (massAgrees && (timeAgrees || !needTime)) ++count;
  }
  return count;
}

// Runs the simulator into `dir` and returns the run's path.
std::string simulate(const TempDir& dir, const std::vector<std::string>& options) {
  const std::string path = dir.file("run.mzXML");
  std::vector<std::string> args = {"-o", path};
  args.insert(args.end(), options.begin(), options.end());
  const ProcessResult result = runProgram(simulatorPath(), args);
  EXPECT_EQ(result.status, 0) << result.err;
  return path;
}

const std::vector<std::string> kSmallFullScan = {"-n", "120", "-k", "100", "-c", "5"};

std::vector<std::string> withSeed(std::vector<std::string> options, const std::string& seed) {
  options.push_back("-s");
  options.push_back(seed);
  return options;
}

struct timespec modificationTime(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mtim;
}

bool notLater(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
}

}  // namespace

TEST(EndToEnd, UntargetedRunFindsEveryCompound) {
  for (const char* seed : {"11", "12", "13"}) {
    TempDir dir;
    const std::string run = simulate(dir, withSeed(kSmallFullScan, seed));
    const std::vector<Compound> truth = readFullScanTruth(run);
    ASSERT_EQ(truth.size(), 5u);
    const ProcessResult result = runTorva({"-i", run, "-s", dir.file("summary.tsv")});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const std::vector<Feature> features = readSummary(dir.file("summary.tsv"));
    for (const Compound& compound : truth) {
      // Picking needs the compound above 2.5 % of its spectrum's total ion current.
      ASSERT_GT(compound.ticShare, 0.025) << "seed " << seed;
      EXPECT_GE(countMatches(features, compound, true), 1)
          << "seed " << seed << ": no feature at m/z " << compound.mz << ", " << compound.rtMinutes << " min";
    }
  }
}

TEST(EndToEnd, TargetedRunGivesOneFeaturePerCompound) {
  TempDir dir;
  const std::string run = simulate(dir, withSeed(kSmallFullScan, "21"));
  const std::vector<Compound> truth = readFullScanTruth(run);
  std::string masses;
  for (const Compound& compound : truth) {
    masses += (masses.empty() ? "" : ",") + std::to_string(compound.mz);
  }
  const ProcessResult result = runTorva({"-i", run, "-p", masses, "-s", dir.file("summary.tsv")});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const std::vector<Feature> features = readSummary(dir.file("summary.tsv"));
  for (const Compound& compound : truth) {
    EXPECT_EQ(countMatches(features, compound, false), 1) << "m/z " << compound.mz;
    EXPECT_EQ(countMatches(features, compound, true), 1)
        << "m/z " << compound.mz << " at " << compound.rtMinutes;
  }
}

TEST(EndToEnd, SrmRunFindsEveryPrecursor) {
  TempDir dir;
  const std::string run =
      simulate(dir, {"-m", "srm", "-n", "2400", "-t", "8", "-c", "4", "-k", "3", "-s", "5"});
  const std::vector<Compound> precursors = readSrmPrecursors(run);
  ASSERT_EQ(precursors.size(), 4u);
  const ProcessResult result = runTorva({"-i", run, "-S", "-s", dir.file("summary.tsv")});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Transitions: 8\n"), std::string::npos);
  const std::vector<Feature> features = readSummary(dir.file("summary.tsv"));
  for (const Compound& precursor : precursors) {
    EXPECT_GE(countMatches(features, precursor, true), 1)
        << "no feature for precursor " << precursor.mz << " at " << precursor.rtMinutes << " min";
  }
}

TEST(EndToEnd, AllReportsAreWrittenTransitionsThenMapThenSummary) {
  TempDir dir;
  const std::string run = simulate(dir, withSeed(kSmallFullScan, "31"));
  const std::string transitions = dir.file("transitions.tsv");
  const std::string map = dir.file("map.tsv");
  const std::string summary = dir.file("summary.tsv");
  // Options deliberately in the reverse of the writing order.
  const ProcessResult result =
      runTorva({"-s", summary, "-m", map, "-o", transitions, "-d", "-l", "-c", "-i", run});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find(" Peaks after deisotoping: "), std::string::npos);
  EXPECT_NE(result.out.find("Done\n"), std::string::npos);

  const std::string transitionText = readFile(transitions);
  EXPECT_EQ(transitionText.rfind("Channel:\t0.00@0.00 [100.00-1000.00]\tScans:\t120\n", 0), 0u);
  EXPECT_NE(transitionText.find("\nMass\tIntensity\tRT(mins)\tScan\tArea\tTIC\t"), std::string::npos);

  const std::string mapText = readFile(map);
  EXPECT_EQ(mapText.rfind("\t400\t401\t402\t", 0), 0u);
  // Head line plus one row per spectrum: 120 MS1 and 120 nested MS2 scans.
  EXPECT_EQ(std::count(mapText.begin(), mapText.end(), '\n'), 241);

  const std::string summaryText = readFile(summary);
  EXPECT_EQ(
      summaryText.rfind("mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n", 0),
      0u);
  EXPECT_FALSE(readSummary(summary).empty());

  EXPECT_TRUE(notLater(modificationTime(transitions), modificationTime(map)));
  EXPECT_TRUE(notLater(modificationTime(map), modificationTime(summary)));
}

TEST(EndToEnd, SrmModeSwitchesOffDeisotopingAndWaterLossWithAWarning) {
  TempDir dir;
  const std::string run = simulate(dir, withSeed(kSmallFullScan, "41"));
  // The same run without -S does fold peaks, so no fold below means switched off.
  const ProcessResult folded = runTorva({"-i", run, "-d", "-l", "-s", dir.file("folded.tsv")});
  ASSERT_EQ(folded.status, 0) << folded.out << folded.err;
  ASSERT_NE(folded.out.find(" Peaks after deisotoping: "), std::string::npos);
  ASSERT_NE(folded.out.find(" Peaks after Loss: "), std::string::npos);

  const ProcessResult srm = runTorva({"-i", run, "-S", "-d", "-l", "-s", dir.file("srm.tsv")});
  ASSERT_EQ(srm.status, 0) << srm.out << srm.err;
  EXPECT_EQ(srm.out.find("Peaks after"), std::string::npos);
  EXPECT_EQ(srm.err, "torva: warning: -d and -l work on full-scan data only and are ignored with -S\n");
  EXPECT_NE(srm.out.find("Done\n"), std::string::npos);
}

// A run that does not fit in the memory it may use ends with a message on
// standard error and status 2, not with an abort.
TEST(EndToEnd, RunOutOfMemoryEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a data-memory limit does not mix with AddressSanitizer's shadow memory";
#else
  TempDir dir;
  const std::string run = simulate(dir, {"-n", "1500", "-k", "400", "-c", "30", "-s", "8"});
  // The run's spectra and a part of its traces need more than 40 MB (it peaks
  // at about 70 MB). The limit is on data memory (ulimit -d), which counts
  // what the program writes, not the address space the allocator or the
  // threads merely reserve; one worker thread, so that the stacks are the same
  // on every machine.
  const ProcessResult result =
      runProgram("/bin/sh", {"-c", "ulimit -d 40000 && exec \"$0\" \"$@\"", testsupport::torvaPath(), "-i",
                             run, "-o", dir.file("transitions.tsv"), "--threads", "1"});
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_NE(result.err.find("out of memory"), std::string::npos) << result.err;
#endif
}

// Compounds whose peaks all stay under the default cutoff of 10000, so that
// the default picking never seeds them, are found from their mass traces, with
// the same report for one and for three threads.
TEST(EndToEnd, TraceSeedsFindWeakCompoundsAtAnyThreadCount) {
  TempDir dir;
  const std::string run = simulate(dir, {"-n", "150", "-k", "400", "-c", "6", "-H", "4e3:9e3", "-s", "31"});
  const std::vector<Compound> truth = readFullScanTruth(run);
  const std::vector<std::string> common = {"-i", run, "--seeds", "traces", "--ppm", "10", "--ms-level", "1"};
  std::vector<std::string> one = common, three = common;
  one.insert(one.end(), {"--threads", "1", "-s", dir.file("one.tsv")});
  three.insert(three.end(), {"--threads", "3", "-s", dir.file("three.tsv")});
  ASSERT_EQ(runTorva(one).status, 0);
  ASSERT_EQ(runTorva(three).status, 0);
  EXPECT_EQ(readFile(dir.file("one.tsv")), readFile(dir.file("three.tsv")));
  const std::vector<Feature> features = readSummary(dir.file("one.tsv"));
  for (const Compound& compound : truth) {
    bool found = false;
    for (const Feature& feature : features) {
      found = found || (std::abs(feature.mass - compound.mz) < 5e-6 * compound.mz &&
                        std::abs(feature.rtMinutes - compound.rtMinutes) < 3.0 / 60);
    }
    EXPECT_TRUE(found) << "m/z " << compound.mz << " at " << compound.rtMinutes << " min";
  }
}
