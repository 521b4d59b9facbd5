#include "compounds/feature_evidence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "compounds/run_compounds.h"
#include "tests/test_support.h"

namespace {

using testsupport::spectrum;

// 40 MS1 spectra a second apart with an ion at 301.1 (apex at 20 s, its 13C1 at 302.1034) among other
// peaks, and three MS2 spectra on it of rising total intensity.
std::vector<scan> smallRun() {
  std::vector<scan> scans;
  long num = 1;
  for (int k = 0; k < 40; ++k) {
    const double height = 1e6 * std::exp(-0.5 * (k - 20) * (k - 20) / 9.0);
    scan ms1 = spectrum(num++, k, 0,
                        {{150.0, 500},
                         {299.0, 40},
                         {301.1, height + 5},
                         {302.1034, 0.18 * height + 5},
                         {306.0, 30},
                         {310.0, 900}});
    ms1.msLevel = 1;
    ms1.polarity = "+";
    scans.push_back(ms1);
    if (k == 18 || k == 20 || k == 22) {
      scan ms2 = spectrum(num++, k + 0.5, 0, {{85.0, 100.0 * k}, {120.0, 10}, {283.1, 5}});
      ms2.msLevel = 2;
      ms2.precursorMz = 301.1;
      scans.push_back(ms2);
    }
  }
  return scans;
}

FeatureRow row(const char* id, double mz, double apexSeconds, double area) {
  FeatureRow r;
  r.featureId = id;
  r.mz = mz;
  r.rt = apexSeconds / 60;
  r.rtStart = (apexSeconds - 6) / 60;
  r.rtEnd = (apexSeconds + 6) / 60;
  r.area = area;
  r.polarity = '+';
  return r;
}

const FeatureSpectrum* find(const std::vector<FeatureSpectrum>& records, const std::string& id,
                            SpectrumKind kind) {
  for (const FeatureSpectrum& record : records)
    if (record.featureId == id && record.kind == kind) return &record;
  return nullptr;
}

}  // namespace

TEST(FeatureEvidence, EachFoundFeatureGetsItsTraceApexSpectrumAndLinkedMs2) {
  std::vector<scan> scans = smallRun();
  std::vector<FeatureRow> rows = {row("F1", 301.1, 20, 5e6), row("F2", 302.1034, 20, 9e5)};
  FeatureRow missing = row("F3", 400, 20, 0);
  missing.status = "not_found";
  rows.push_back(missing);
  std::vector<std::vector<std::size_t>> linked;
  groupRunCompounds(scans, rows, RunCompoundOptions(), "run", "run", &linked);
  ASSERT_EQ(linked.size(), 3u);
  ASSERT_EQ(linked[0].size(), 3u);  // all three MS2 spectra go to the [M+H]+ row
  EXPECT_TRUE(linked[2].empty());

  EvidenceLeftOut leftOut;
  const std::vector<FeatureSpectrum> records =
      collectFeatureEvidence(scans, rows, linked, "run", 10, EvidenceLimits(), leftOut);
  EXPECT_EQ(find(records, "F3", SpectrumKind::Trace), nullptr);  // a target not found has no evidence

  const FeatureSpectrum* trace = find(records, "F1", SpectrumKind::Trace);
  ASSERT_NE(trace, nullptr);
  // Edges 14..26 s and half a width each side, but at least 15 s either side of the apex: about 5..35 s,
  // every MS1 spectrum there.
  ASSERT_GE(trace->points.size(), 29u);
  ASSERT_LE(trace->points.size(), 31u);
  EXPECT_LE(trace->points.front().first, 6.0 / 60);
  EXPECT_GE(trace->points.back().first, 34.0 / 60);
  for (const auto& [minutes, intensity] : trace->points) {
    if (std::fabs(minutes - 20.0 / 60) < 1e-9) {
      EXPECT_DOUBLE_EQ(intensity, 1e6 + 5);  // not the 13C peak
    }
  }

  const FeatureSpectrum* ms1 = find(records, "F1", SpectrumKind::Ms1);
  ASSERT_NE(ms1, nullptr);
  EXPECT_EQ(ms1->scan, 22);  // the MS1 spectrum at 20 s, after two MS2 scans
  // The window 299.6..307.6: not 150, 299 or 310.
  ASSERT_EQ(ms1->points.size(), 3u);
  EXPECT_EQ(ms1->points[0].first, 301.1);
  EXPECT_EQ(ms1->points[2].first, 306.0);

  std::vector<long long> ms2Scans;
  for (const FeatureSpectrum& record : records)
    if (record.kind == SpectrumKind::Ms2) ms2Scans.push_back(record.scan);
  EXPECT_EQ(ms2Scans, (std::vector<long long>{20, 23, 26}));
  EXPECT_EQ(leftOut.ms2Spectra, 0);
  // Every record reads back from the table it goes to.
  EXPECT_EQ(parseFeatureSpectra(formatFeatureSpectra(records), "t").size(), records.size());
}

TEST(FeatureEvidence, LimitsKeepTheMostIntenseAndCountTheRest) {
  std::vector<scan> scans = smallRun();
  std::vector<FeatureRow> rows = {row("F1", 301.1, 20, 5e6)};
  std::vector<std::vector<std::size_t>> linked;
  groupRunCompounds(scans, rows, RunCompoundOptions(), "run", "run", &linked);
  EvidenceLimits limits;
  limits.ms2PerFeature = 2;
  limits.ms1Peaks = 1;
  limits.ms2Peaks = 2;
  limits.tracePoints = 5;
  EvidenceLeftOut leftOut;
  const std::vector<FeatureSpectrum> records =
      collectFeatureEvidence(scans, rows, linked, "run", 10, limits, leftOut);
  std::vector<long long> ms2Scans;
  for (const FeatureSpectrum& record : records) {
    if (record.kind != SpectrumKind::Ms2) continue;
    ms2Scans.push_back(record.scan);
    ASSERT_EQ(record.points.size(), 2u);
    EXPECT_EQ(record.points[0].first, 85.0);  // the two strongest, in m/z order
    EXPECT_EQ(record.points[1].first, 120.0);
  }
  EXPECT_EQ(ms2Scans, (std::vector<long long>{23, 26}));  // the two richest, in time order
  EXPECT_EQ(leftOut.ms2Spectra, 1);
  const FeatureSpectrum* ms1 = find(records, "F1", SpectrumKind::Ms1);
  ASSERT_NE(ms1, nullptr);
  ASSERT_EQ(ms1->points.size(), 1u);
  EXPECT_EQ(ms1->points[0].first, 301.1);
  const FeatureSpectrum* trace = find(records, "F1", SpectrumKind::Trace);
  ASSERT_NE(trace, nullptr);
  ASSERT_EQ(trace->points.size(), 5u);  // the five nearest the apex
  EXPECT_DOUBLE_EQ(trace->points[2].first, 20.0 / 60);

  limits.maxPoints = 3;  // room for the one-peak MS1 spectrum and one two-peak MS2 spectrum only
  EvidenceLeftOut bounded;
  EXPECT_EQ(collectFeatureEvidence(scans, rows, linked, "run", 10, limits, bounded).size(), 2u);
  EXPECT_EQ(bounded.records, 2);  // the trace and the second MS2 spectrum
}

TEST(FeatureEvidence, TraceWindowStaysInsideTheRunAndNearTheApex) {
  const std::vector<scan> scans = smallRun();
  const Ms1Index ms1(scans, '+');
  struct Case {
    double apex, from, to;
    std::size_t maxPoints, points;
    double first;  // seconds
  };
  const Case cases[] = {
      {20, 10 / 60.0, 30 / 60.0, 100, 21, 10},  // the whole window
      {20, 10 / 60.0, 30 / 60.0, 4, 4, 18},     // the four nearest the apex
      {1, 0, 30 / 60.0, 4, 4, 0},               // an apex at the run's start: shifted inside
      {39, 30 / 60.0, 2, 4, 4, 36},             // and at its end
      {20, 50, 60, 10, 0, 0},                   // past the run
  };
  for (const Case& c : cases) {
    const FeatureSpectrum trace =
        traceRecord(ms1, "F", "s", 301.1, 10, c.apex / 60, c.from, c.to, c.maxPoints);
    ASSERT_EQ(trace.points.size(), c.points) << c.apex << " " << c.maxPoints;
    if (c.points > 0) {
      EXPECT_DOUBLE_EQ(trace.points.front().first, c.first / 60) << c.apex;
    }
  }
}

// torva --feature-spectra on a simulated DDA run: the feature table is the one --compounds writes, every
// feature has its trace and apex spectrum, its MS2 records are as many as its ms2_scans; the table may not
// take the place of another report.
TEST(FeatureEvidence, TorvaWritesTheTableBesideTheFeatureTable) {
  testsupport::TempDir dir;
  const std::string run = dir.file("run.mzXML");
  ASSERT_EQ(
      testsupport::runProgram(TORVA_COMPOUND_SIMULATOR, {"-o", run, "-c", "20", "-r", "4", "-s", "5"}).status,
      0);
  const auto plain = testsupport::runTorva({"-i", run, "--quiet", "--detect", "resolver", "--ppm", "5",
                                            "--features", dir.file("a.tsv"), "--compounds"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const auto with =
      testsupport::runTorva({"-i", run, "--quiet", "--detect", "resolver", "--ppm", "5", "--features",
                             dir.file("b.tsv"), "--feature-spectra", dir.file("s.tsv")});
  ASSERT_EQ(with.status, 0) << with.err;
  EXPECT_EQ(testsupport::readFile(dir.file("a.tsv")), testsupport::readFile(dir.file("b.tsv")));

  const std::vector<FeatureRow> rows = readFeatureTable(dir.file("b.tsv"));
  std::map<std::string, long long> traces, ms1, ms2;
  readFeatureSpectra(dir.file("s.tsv"), [&](FeatureSpectrum&& record) {
    EXPECT_EQ(record.sample, "run.mzXML");
    auto& count = record.kind == SpectrumKind::Trace ? traces : record.kind == SpectrumKind::Ms1 ? ms1 : ms2;
    ++count[record.featureId];
  });
  long long linked = 0;
  for (const FeatureRow& row : rows) {
    EXPECT_EQ(traces[row.featureId], 1) << row.featureId;
    EXPECT_EQ(ms1[row.featureId], 1) << row.featureId;
    EXPECT_EQ(std::to_string(ms2[row.featureId]), row.ms2Scans) << row.featureId;
    linked += ms2[row.featureId];
  }
  EXPECT_GT(linked, 0);

  const auto same = testsupport::runTorva({"-i", run, "--quiet", "--detect", "resolver", "--features",
                                           dir.file("c.tsv"), "--feature-spectra", dir.file("c.tsv")});
  EXPECT_EQ(same.status, 2);
  EXPECT_NE(same.err.find("--feature-spectra"), std::string::npos) << same.err;
}
