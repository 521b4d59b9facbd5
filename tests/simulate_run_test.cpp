// The run simulator (tools/simulate_run): its files read back through the
// tool's own loader, and the same seed always gives the same run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "input/loaders.h"
#include "records/records.h"
#include "tests/test_support.h"
#include "util/console.h"

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::simulatorPath;
using testsupport::TempDir;

namespace {

std::string simulate(const TempDir& dir, const std::string& name, std::vector<std::string> options) {
  const std::string path = dir.file(name);
  options.insert(options.begin(), {"-o", path});
  const ProcessResult result = runProgram(simulatorPath(), options);
  EXPECT_EQ(result.status, 0) << result.err;
  return path;
}

std::vector<scan> load(std::string path) {
  std::vector<scan> spectra;
  Header header;
  loadmzxml loader(spectra, header);
  EXPECT_TRUE(loader.open(path)) << path;
  EXPECT_TRUE(loader.get()) << path;
  return spectra;
}

// A spectrum's peaks as (m/z, intensity) pairs in m/z order.
std::vector<std::pair<double, double>> sortedPeaks(const scan& spectrum) {
  std::vector<std::pair<double, double>> peaks;
  for (const StoredPeak& peak : spectrum.peaks) peaks.emplace_back(peak.mz, peak.intensity);
  std::sort(peaks.begin(), peaks.end());
  return peaks;
}

const std::vector<std::string> kSmallRun = {"-n", "30", "-k", "60", "-c", "3", "-x", "2", "-s", "9"};

}  // namespace

TEST(SimulateRun, SameSeedGivesSameBytesAndOtherSeedDoesNot) {
  TempDir dir;
  std::vector<std::string> other = kSmallRun;
  other.back() = "10";
  const std::string a = readFile(simulate(dir, "a.mzXML", kSmallRun));
  const std::string b = readFile(simulate(dir, "b.mzXML", kSmallRun));
  const std::string c = readFile(simulate(dir, "c.mzXML", other));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(readFile(dir.file("a.mzXML.truth.tsv")), readFile(dir.file("b.mzXML.truth.tsv")));
}

TEST(SimulateRun, FullScanRunNestsMs2ScansAndStatesItsTotals) {
  TempDir dir;
  const std::string path = simulate(dir, "run.mzXML", kSmallRun);
  const std::string text = readFile(path);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML ", 0), 0u);

  const std::vector<scan> spectra = load(path);
  ASSERT_EQ(spectra.size(), 90u);  // 30 MS1 scans, each with 2 nested MS2 scans
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const scan& s = spectra[i];
    EXPECT_EQ(s.num, static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(s.msLevel, i % 3 == 0 ? 1 : 2);
    EXPECT_EQ(s.peaksCount, static_cast<std::int64_t>(s.peaks.size()));
    if (i > 0) {
      EXPECT_GT(s.rt, spectra[i - 1].rt);
    }
    double sum = 0;
    double highest = 0;
    for (const StoredPeak& peak : s.peaks) {
      sum += peak.intensity;
      highest = std::max(highest, peak.intensity);
    }
    EXPECT_NEAR(s.totIonCurrent, sum, 1e-9 * sum) << "scan " << s.num;
    EXPECT_NEAR(s.basePeakIntensity, highest, 1e-9 * highest) << "scan " << s.num;
    if (s.msLevel == 1) {
      EXPECT_EQ(s.peaks.size(), 60u);
      EXPECT_EQ(s.filterLine, "FTMS + p ESI Full ms [100.00-1000.00]");
      EXPECT_TRUE(std::is_sorted(s.peaks.begin(), s.peaks.end(),
                                 [](const datapeak& a, const datapeak& b) { return a.mz < b.mz; }));
    } else {
      EXPECT_GT(s.precursorMz, 100.0);
      EXPECT_EQ(s.filterLine.rfind("ITMS + c ESI d Full ms2 ", 0), 0u) << s.filterLine;
      EXPECT_NE(s.filterLine.find("@cid35.00 ["), std::string::npos) << s.filterLine;
    }
  }
}

TEST(SimulateRun, PrecisionCompressionAndOrderChangeOnlyTheEncoding) {
  TempDir dir;
  const std::vector<scan> plain = load(simulate(dir, "plain.mzXML", kSmallRun));
  std::vector<std::string> options = kSmallRun;
  options.push_back("-z");
  const std::vector<scan> packed = load(simulate(dir, "zlib.mzXML", options));
  options.push_back("-u");
  const std::vector<scan> shuffled = load(simulate(dir, "unsorted.mzXML", options));
  options = kSmallRun;
  options.insert(options.end(), {"-b", "64"});
  const std::vector<scan> wide = load(simulate(dir, "wide.mzXML", options));
  EXPECT_NE(readFile(dir.file("wide.mzXML")).find("precision=\"64\""), std::string::npos);

  ASSERT_EQ(packed.size(), plain.size());
  ASSERT_EQ(shuffled.size(), plain.size());
  ASSERT_EQ(wide.size(), plain.size());
  bool someOrderChanged = false;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(sortedPeaks(packed[i]), sortedPeaks(plain[i])) << "scan " << i + 1;
    EXPECT_EQ(sortedPeaks(shuffled[i]), sortedPeaks(plain[i])) << "scan " << i + 1;
    for (std::size_t k = 0; k < shuffled[i].peaks.size() && k < plain[i].peaks.size(); ++k) {
      someOrderChanged = someOrderChanged || shuffled[i].peaks[k].mz != plain[i].peaks[k].mz;
    }
    ASSERT_EQ(wide[i].peaks.size(), plain[i].peaks.size());
    for (std::size_t k = 0; k < plain[i].peaks.size(); ++k) {
      // The 64-bit file holds the unrounded values; reading narrows them to float.
      EXPECT_NEAR(wide[i].peaks[k].mz, plain[i].peaks[k].mz, 1e-6 * plain[i].peaks[k].mz);
      EXPECT_NEAR(wide[i].peaks[k].intensity, plain[i].peaks[k].intensity,
                  1e-6 * plain[i].peaks[k].intensity);
    }
  }
  EXPECT_TRUE(someOrderChanged);
}

TEST(SimulateRun, SrmRunCyclesThroughItsTransitions) {
  TempDir dir;
  const std::string path =
      simulate(dir, "srm.mzXML", {"-m", "srm", "-n", "40", "-t", "4", "-c", "2", "-s", "3"});
  const std::vector<scan> spectra = load(path);
  ASSERT_EQ(spectra.size(), 40u);
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const scan& s = spectra[i];
    EXPECT_EQ(s.filterLine, spectra[i % 4].filterLine);
    EXPECT_EQ(s.filterLine.rfind("+ c ESI SRM ms2 ", 0), 0u) << s.filterLine;
    ASSERT_EQ(s.peaks.size(), 1u);
    // The precursor element states the same number as the filter line.
    EXPECT_EQ(s.filterLine.find(console::fixed(s.precursorMz, 3) + "@cid"), 16u) << s.filterLine;
  }
  for (std::size_t i = 1; i < 4; ++i) EXPECT_NE(spectra[i].filterLine, spectra[0].filterLine);
  // Two compounds, two transitions each, listed by compound.
  const std::string truth = readFile(path + ".truth.tsv");
  EXPECT_EQ(std::count(truth.begin(), truth.end(), '\n'), 5);
}

TEST(SimulateRun, RefusesMissingOutputAndBadValues) {
  const ProcessResult noOutput = runProgram(simulatorPath(), {"-n", "10"});
  EXPECT_EQ(noOutput.status, 1);
  EXPECT_NE(noOutput.err.find("Usage: simulate_run"), std::string::npos);
  TempDir dir;
  const ProcessResult badPrecision = runProgram(simulatorPath(), {"-o", dir.file("x.mzXML"), "-b", "48"});
  EXPECT_EQ(badPrecision.status, 2);
  EXPECT_NE(badPrecision.err.find("'48'"), std::string::npos);
}
