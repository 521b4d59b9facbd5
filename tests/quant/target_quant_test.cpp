// Per-run targeted quantitation: channel matching, status of every transition,
// and areas equal to the untargeted path's for the same peak.
#include "targeted/target_quant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>

#include "processing/filterer.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::Peaks;

namespace {

TargetTransition transition(const std::string& compound, double precursor, double product, TargetRole role) {
  TargetTransition t;
  t.compound = compound;
  t.precursorMz = precursor;
  t.precursorText = std::to_string(precursor);
  t.productMz = product;
  t.hasProduct = product > 0;
  t.productText = std::to_string(product);
  t.role = role;
  return t;
}

// An SRM channel of 121 one-second spectra: a Gaussian peak of `height` at
// `apex` seconds (sigma 4 s) over a flat baseline of 5 counts.
void addSrmChannel(fileHandle& run, double precursor, double product, double height, double apex) {
  channel ch;
  ch.precursorMz = precursor;
  ch.productLow = product - 0.5;
  ch.productHigh = product + 0.5;
  for (int k = 0; k <= 120; ++k) {
    const double t = k;
    const double value = 5 + height * std::exp(-0.5 * std::pow((t - apex) / 4.0, 2));
    ch.scans.push_back(run.scans.size());
    run.scans.push_back(testsupport::spectrum(static_cast<std::int64_t>(run.scans.size() + 1), t, value,
                                              Peaks{{product, value}}));
    run.scans.back().msLevel = 2;
  }
  run.channels.push_back(ch);
}

}  // namespace

TEST(TargetQuant, MatchesChannelsByPrecursorAndProduct) {
  fileHandle run;
  run.SRM = true;
  addSrmChannel(run, 195.1, 138.1, 1e5, 60);
  addSrmChannel(run, 195.1, 110.1, 5e4, 60);
  addSrmChannel(run, 204.1, 147.1, 1e5, 59);
  struct Case {
    double precursor, product;
    int expected;
  };
  const Case cases[] = {{195.0877, 138.0662, 0}, {195.0877, 110.0713, 1}, {204.14, 147.2, 2},
                        {195.0877, 147.1, -1},   {205.0, 147.1, -1},      {195.0877, 0, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(matchChannel(run, transition("x", c.precursor, c.product, TargetRole::Quantifier), 0.5),
              c.expected)
        << c.precursor << ">" << c.product;
  }
  // A channel of the other polarity never matches.
  for (std::size_t index : run.channels[0].scans) run.scans[index].polarity = "-";
  TargetTransition positive = transition("x", 195.0877, 138.0662, TargetRole::Quantifier);
  positive.polarity = '+';
  EXPECT_EQ(matchChannel(run, positive, 0.5), -1);
}

TEST(TargetQuant, OneRowPerTransitionWithStatusRatioAndTheUntargetedArea) {
  fileHandle run;
  run.SRM = true;
  addSrmChannel(run, 195.1, 138.1, 1e5, 60);
  addSrmChannel(run, 195.1, 110.1, 5e4, 60);
  addSrmChannel(run, 204.1, 147.1, 2e5, 30);
  std::vector<TargetTransition> targets = {
      transition("caffeine", 195.0877, 138.0662, TargetRole::Quantifier),
      transition("caffeine", 195.0877, 110.0713, TargetRole::Qualifier),
      transition("d9", 204.14, 147.1, TargetRole::InternalStandard),
      transition("absent", 300.0, 100.0, TargetRole::Quantifier),
  };
  // The standard is looked for in a window that its peak (at 0.5 min) misses.
  targets[2].hasRt = true;
  targets[2].rt = 1.5;
  targets[2].rtWindow = 0.4;
  const filterer processor = testsupport::processor(10000, 0.5);
  const TargetQuantResult result = quantifyTargets(run, processor, targets);
  ASSERT_EQ(result.rows.size(), 4u);
  EXPECT_EQ(result.rows[0].status, TargetStatus::Found);
  EXPECT_NEAR(result.rows[0].rt, 1.0, 1e-9);
  EXPECT_LT(result.rows[0].rtStart, 1.0);
  EXPECT_GT(result.rows[0].rtEnd, 1.0);
  EXPECT_DOUBLE_EQ(result.rows[0].height, 1e5 + 5);
  EXPECT_NEAR(result.rows[0].area, 1e5 * 4 * std::sqrt(2 * M_PI), 0.02 * 1e6);
  EXPECT_EQ(result.rows[1].status, TargetStatus::Found);
  EXPECT_NEAR(result.rows[1].ionRatio, 0.5, 0.01);
  EXPECT_TRUE(std::isnan(result.rows[0].ionRatio));
  EXPECT_EQ(result.rows[2].status, TargetStatus::NotFound);
  EXPECT_EQ(result.rows[3].status, TargetStatus::NoChannel);
  EXPECT_EQ(result.rows[3].channel, "");
  ASSERT_EQ(result.traces.size(), 4u);
  EXPECT_FALSE(result.traces[2].times.empty());
  EXPECT_GE(result.traces[2].times.front(), 1.1 - 1e-9);  // the window widened by half its width

  // The untargeted SRM path finds the same peak with the same area, bit for bit.
  filterer untargeted = testsupport::processor(10000, 0.5);
  untargeted.generateAndProcessXIC(run);
  bool seen = false;
  for (const chrom& X : run.channels[0].chroms) {
    if (X.area > 0 && X.apexTime == 60.0) {
      EXPECT_EQ(X.area, result.rows[0].area);
      seen = true;
    }
  }
  EXPECT_TRUE(seen);
}

TEST(TargetQuant, FullScanTargetsExtractTheirMassWithinPpm) {
  fileHandle run;
  channel ch;
  for (int k = 0; k <= 120; ++k) {
    const double value = 1e6 * std::exp(-0.5 * std::pow((k - 50.0) / 4.0, 2));
    ch.scans.push_back(run.scans.size());
    // The compound at 200.1000, a neighbour 20 ppm above it at the same time.
    run.scans.push_back(testsupport::spectrum(k + 1, k, 0, Peaks{{200.1000, value}, {200.1040, 3 * value}}));
    run.scans.back().msLevel = 1;
  }
  run.channels.push_back(ch);
  filterer processor = testsupport::processor(10000, 0.5);
  processor.massPpm = 10;
  TargetTransition t = transition("x", 200.1001, 0, TargetRole::Quantifier);
  t.hasProduct = false;
  const TargetQuantResult result = quantifyTargets(run, processor, {t});
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0].status, TargetStatus::Found);
  EXPECT_EQ(result.rows[0].height, 1e6);  // the neighbour stays outside the window
}

// Every transition of the real SRM runs is listed, and each peak that the
// untargeted SRM path (-S -s) finds at the same apex has the same area.
TEST(TargetQuant, RealSrmRunsListEveryTransitionWithTheSrmPathsAreas) {
  const std::string dir = testsupport::realDataDir();
  if (dir.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  const char* const files[] = {"shimadzu_qqq_srm_chrom_msconvert.mzML",
                               "thermo_tsq_quantum_srm_chrom_msconvert.mzML",
                               "sciex_qtrap_srm_chrom_stripped_header.mzML"};
  for (const char* name : files) {
    const std::string path = dir + "/mzml/" + name;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "missing " << path;
    testsupport::ConsoleCapture quiet;
    fileHandle run;
    run.SRM = true;
    ASSERT_TRUE(run.importFolder(path.c_str(), 1));
    std::vector<TargetTransition> targets;
    for (const channel& ch : run.channels) {
      targets.push_back(transition("t" + std::to_string(targets.size()), ch.precursorMz,
                                   (ch.productLow + ch.productHigh) / 2, TargetRole::Quantifier));
    }
    filterer processor = testsupport::processor(10000, 0.5);
    const TargetQuantResult result = quantifyTargets(run, processor, targets);
    ASSERT_EQ(result.rows.size(), run.channels.size()) << name;
    processor.generateAndProcessXIC(run);
    std::size_t found = 0, same = 0, summaryFeatures = 0, otherApex = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const TargetResult& row = result.rows[i];
      EXPECT_NE(row.status, TargetStatus::NoChannel) << name << " channel " << i;
      if (row.status == TargetStatus::Found) ++found;
      bool matched = false;
      bool anyFeature = false;
      for (const chrom& X : run.channels[i].chroms) {
        if (!(X.area > processor.cutoff && X.apexTime > 0)) continue;  // the summary's rule
        anyFeature = true;
        if (row.status == TargetStatus::Found && X.apexTime / 60.0 == row.rt) {
          EXPECT_EQ(X.area, row.area) << name << " channel " << i;
          matched = true;
        }
      }
      summaryFeatures += anyFeature ? 1 : 0;
      same += matched ? 1 : 0;
      otherApex += anyFeature && !matched ? 1 : 0;
    }
    std::cout << name << ": " << targets.size() << " transitions, " << found << " found, " << summaryFeatures
              << " with an untargeted feature, " << same << " at the same apex with the same area, "
              << otherApex << " whose highest peak is not an untargeted feature\n";
  }
}
