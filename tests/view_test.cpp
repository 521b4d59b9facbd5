#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "tests/test_support.h"
#include "view/cohort_tables.h"
#include "view/feature_tables.h"
#include "view/page_text.h"
#include "view/page_writer.h"
#include "view/run_tables.h"

using testsupport::TempDir;

namespace {

const char kSummaryHeader[] =
    "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n";

}  // namespace

TEST(TorvaView, SummaryAndTransitionLabelsOfOneChannelMatch) {
  struct Case {
    const char* summary;
    const char* transitions;
    bool same;
  } cases[] = {
      {"301.1@35.0[100.0000-400.0000]", "301.10@35.00 [100.00-400.00]", true},
      {"0.0[100.0000-1000.0000]", "0.00@0.00 [100.00-1000.00]", true},
      {"445.1@35.0[110.0000-900.0000]", "445.14@35.00 [110.00-900.00]", true},  // 445.14 prints 445.1
      {"301.1[100.0000-400.0000]", "301.10@35.00 [100.00-400.00]", false},      // energy only on one side
      {"301.2@35.0[100.0000-400.0000]", "301.10@35.00 [100.00-400.00]", false},
      {"301.1@35.0[100.0000-400.0000]", "301.10@35.00 [100.01-400.00]", false},
  };
  for (const Case& c : cases) {
    ChannelLabel summary, transitions;
    ASSERT_TRUE(parseChannelLabel(c.summary, summary)) << c.summary;
    ASSERT_TRUE(parseChannelLabel(c.transitions, transitions)) << c.transitions;
    EXPECT_EQ(sameChannel(summary, transitions), c.same) << c.summary << " / " << c.transitions;
  }
  ChannelLabel label;
  EXPECT_FALSE(parseChannelLabel("301.1@35.0", label));
  EXPECT_FALSE(parseChannelLabel("x[1-2]", label));
}

// In the bundled example every MS1 scan (odd numbers) holds one MS2 scan (even
// numbers), so trace point k of either channel is scan 2k+1 or 2k+2: the integrated
// range of every feature must land exactly on (scan - 1) / 2.
TEST(TorvaView, ExampleFeaturesFindTheirTraceAndIntegratedRange) {
  TempDir dir;
  const auto run = testsupport::runTorva({"-i", std::string(TORVA_SOURCE_DIR) + "/examples/example.mzXML",
                                          "-s", dir.file("summary.tsv"), "-o", dir.file("transitions.tsv")});
  ASSERT_EQ(run.status, 0) << run.err;
  RunTables tables;
  std::string error;
  ASSERT_TRUE(readSummary(dir.file("summary.tsv"), tables, error)) << error;
  ASSERT_TRUE(readTransitions(dir.file("transitions.tsv"), tables, error)) << error;
  ASSERT_EQ(tables.features.size(), 38u);
  EXPECT_EQ(tables.unmatchedFeatures, 0);
  ASSERT_EQ(tables.channels.size(), 2u);
  for (const SummaryFeature& feature : tables.features) {
    SCOPED_TRACE(feature.mass + " " + feature.rt);
    ASSERT_GE(feature.traceChannel, 0);
    EXPECT_EQ(feature.apexIndex, (feature.apexScan - 1) / 2);
    EXPECT_EQ(feature.startIndex, (feature.startScan - 1) / 2);
    EXPECT_EQ(feature.endIndex, (feature.endScan - 1) / 2);
    // The kept stretch covers the range with a margin, within the channel's 120 points.
    EXPECT_LE(feature.sliceStart, std::max(0, feature.startIndex - 30));
    EXPECT_GE(feature.sliceStart + static_cast<int>(feature.slice.size()) - 1,
              std::min(119, feature.endIndex + 30));
  }
}

TEST(TorvaView, ScanIndexMapInterpolatesBetweenAnchorsAndExtendsBeyond) {
  ScanIndexMap map;
  map.addAnchor(30, 10);
  map.addAnchor(10, 0);
  map.addAnchor(20, 2);
  map.addAnchor(25, 1);  // goes backwards from (20, 2): dropped
  map.finish();
  const long long far = std::numeric_limits<long long>::max();
  const std::pair<long long, int> expected[] = {{10, 0},  {15, 1}, {20, 2},    {25, 6},   {30, 10},
                                                {40, 15}, {0, 0},  {1000, 49}, {far, 49}, {-far, 0}};
  for (const auto& [scan, index] : expected) EXPECT_EQ(map.indexOf(scan, 50), index) << scan;
  EXPECT_EQ(ScanIndexMap().indexOf(5, 50), -1);
}

TEST(TorvaView, TextCarriedIntoThePageCannotBreakIt) {
  // No text can close the script, open a comment or start markup inside it.
  const std::pair<const char*, const char*> strings[] = {
      {"a</script>\"\\\t\x01", "\"a\\u003c/script\\u003e\\\"\\\\\\t\\u0001\""},
      {"<!--<script>", "\"\\u003c!--\\u003cscript\\u003e\""},
      {"a&b-->", "\"a\\u0026b--\\u003e\""},
      {"plain/text", "\"plain/text\""}};
  for (const auto& [text, expected] : strings) EXPECT_EQ(pagetext::jsonString(text), expected) << text;
  for (const char* bad : {"nan", "-inf", "01.5", "1.", "", "1e", "0x10"})
    EXPECT_EQ(pagetext::jsonNumber(bad), "null") << bad;
  for (const char* good : {"0.00", "-12.50000", "1e-7", "3812281913.82585"})
    EXPECT_EQ(pagetext::jsonNumber(good), good);
  const std::pair<const char*, const char*> compact[] = {{"12.50", "12.5"},    {"0.00", "0"},
                                                         {"-0.00", "0"},       {"100", "100"},
                                                         {"1.0e10", "1.0e10"}, {"nan", "null"}};
  for (const auto& [text, expected] : compact) EXPECT_EQ(pagetext::compactNumber(text), expected) << text;
  // A summary line that is not a feature rejects the summary, naming the line,
  // rather than reaching the page.
  TempDir dir;
  const std::string summary =
      dir.write("summary.tsv", std::string(kSummaryHeader) +
                                   "100.00000\t1.00000\t2.00000\t3\t2\t4\t0.0[1.0000-2.0000]\n" +
                                   "nan\t1\t2\t3\t2\t4\t0.0[1.0000-2.0000]\n" + "garbage\n");
  RunTables tables;
  std::string error;
  EXPECT_FALSE(readSummary(summary, tables, error));
  EXPECT_NE(error.find("line 3:"), std::string::npos) << error;
  EXPECT_FALSE(readSummary(dir.write("other.tsv", "mass\trt\n"), tables, error));
}

TEST(TorvaView, CohortFolderFollowsTheSampleSheet) {
  const std::string fixture = std::string(TORVA_SOURCE_DIR) + "/view/fixtures/cohort";
  CohortTables cohort;
  std::string error;
  ASSERT_TRUE(readCohort(fixture, cohort, error)) << error;
  EXPECT_EQ(cohort.samples.rows.size(), 6u);
  EXPECT_EQ(cohort.features.rows.size(), 7u);
  EXPECT_TRUE(cohort.rtCorrection.present && cohort.gapFilled.present && cohort.featureRt.present);
  EXPECT_TRUE(cohort.warnings.empty());

  TempDir dir;
  dir.write("samples.tsv", "sample\tfile\tgroup\na\ta.mzXML\tx\nb\tb.mzXML\t\n");
  dir.write("features.tsv", "feature_id\tmz\trt\tn_samples\tb\ta\nF1\t100.1\t1.0\t2\t5\t6\n");
  EXPECT_FALSE(readCohort(dir.path(), cohort, error));  // sample columns out of order
  dir.write("features.tsv", "feature_id\tmz\trt\tn_samples\ta\tb\nF1\t100.1\t1.0\t1\t5\t\n");
  dir.write("gap_filled.tsv", "feature_id\ta\nF1\t0\n");
  ASSERT_TRUE(readCohort(dir.path(), cohort, error)) << error;
  EXPECT_FALSE(cohort.gapFilled.present);  // wrong columns: left out with a warning
  EXPECT_EQ(cohort.warnings.size(), 1u);
  ASSERT_EQ(cohort.features.rows[0].size(), 6u);
  EXPECT_EQ(cohort.features.rows[0][5], "");  // absent area stays empty
}

TEST(TorvaView, CohortPageKeepsTheFirstFeaturesAndSaysHowManyItLeftOut) {
  TempDir dir;
  dir.write("samples.tsv", "sample\tfile\tgroup\na\ta.mzXML\tx\n");
  std::string features = "feature_id\tmz\trt\tn_samples\ta\n";
  for (std::size_t k = 0; k < kMaxCohortFeatures + 3; ++k)
    features += "F" + std::to_string(k) + "\t100\t1\t1\t5\n";
  dir.write("features.tsv", features);
  CohortTables cohort;
  std::string error;
  ASSERT_TRUE(readCohort(dir.path(), cohort, error)) << error;
  EXPECT_EQ(cohort.features.rows.size(), kMaxCohortFeatures);
  ASSERT_EQ(cohort.warnings.size(), 1u);
  EXPECT_NE(cohort.warnings[0].find("the 3 after them were left out"), std::string::npos)
      << cohort.warnings[0];
}

TEST(TorvaView, CommandLineStatuses) {
  TempDir dir;
  const std::string view = TORVA_VIEW_BINARY;
  EXPECT_EQ(testsupport::runProgram(view, {}).status, 1);
  EXPECT_EQ(testsupport::runProgram(view, {"--summary", "s.tsv"}).status, 1);  // no --out
  EXPECT_EQ(testsupport::runProgram(view, {"--summary", "s", "--cohort", "c", "--out", "x"}).status, 1);
  const auto missing =
      testsupport::runProgram(view, {"--summary", dir.file("none.tsv"), "--out", dir.file("p.html")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("none.tsv"), std::string::npos);
  EXPECT_EQ(testsupport::readFile(dir.file("p.html")), "");
  const std::string summary = dir.write("s.tsv", kSummaryHeader);
  const auto empty = testsupport::runProgram(view, {"--summary", summary, "--out", dir.file("p.html")});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(testsupport::readFile(dir.file("p.html")).find("\"features\":0"), std::string::npos);
  EXPECT_EQ(
      testsupport::runProgram(view, {"--summary", summary, "--out", dir.file("no/such/dir/p.html")}).status,
      2);
}

// The summary of an SRM run names each feature by its channel's precursor and
// the transition report by the product m/z found: every feature still finds
// its chromatogram.
TEST(TorvaView, SrmFeaturesFindTheirChromatograms) {
  TempDir dir;
  const std::string run = dir.file("srm.mzXML");
  ASSERT_EQ(
      testsupport::runProgram(testsupport::simulatorPath(), {"-o", run, "-m", "srm", "-n", "120", "-t", "4"})
          .status,
      0);
  const auto made = testsupport::runTorva(
      {"-i", run, "-S", "-C", "100", "-s", dir.file("summary.tsv"), "-o", dir.file("transitions.tsv")});
  ASSERT_EQ(made.status, 0) << made.err;
  RunTables tables;
  std::string error;
  ASSERT_TRUE(readSummary(dir.file("summary.tsv"), tables, error)) << error;
  ASSERT_TRUE(readTransitions(dir.file("transitions.tsv"), tables, error)) << error;
  ASSERT_GT(tables.features.size(), 0u);
  EXPECT_EQ(tables.unmatchedFeatures, 0);
  for (const SummaryFeature& feature : tables.features) EXPECT_FALSE(feature.slice.empty()) << feature.mass;
}

// A transition report whose head line has millions of time columns and a
// summary of more features than a page holds: memory and page stay bounded,
// and what was left out is counted for the message.
TEST(TorvaView, PageLimitsLeaveOutWhatIsCounted) {
  TempDir dir;
  std::string summary = kSummaryHeader;
  for (long long i = 0; i < kMaxPageFeatures + 5; ++i)
    summary += "100.00000\t1.00000\t5000.00000\t1\t1\t1\t0.0[100.0000-1000.0000]\n";
  dir.write("summary.tsv", summary);
  const std::string label = "Channel:\t0.00@0.00 [100.00-1000.00]\tScans:\t3\n";
  std::string head = "Mass\tIntensity\tRT(mins)\tScan\tArea\tTIC\t";
  head.reserve(head.size() + (10u << 20));
  while (head.size() < (10u << 20)) head += "0.01\t";
  dir.write("transitions.tsv", label + head + "\n\n");
  RunTables tables;
  std::string error;
  ASSERT_TRUE(readSummary(dir.file("summary.tsv"), tables, error)) << error;
  EXPECT_EQ(static_cast<long long>(tables.features.size()), kMaxPageFeatures);
  EXPECT_EQ(tables.featuresLeftOut, 5);
  ASSERT_TRUE(readTransitions(dir.file("transitions.tsv"), tables, error)) << error;
  EXPECT_LE(tables.channels[0].times.size(), kMaxChannelPoints);
  EXPECT_GT(tables.pointsLeftOut, 0);

  const auto page =
      testsupport::runProgram(TORVA_VIEW_BINARY, {"--summary", dir.file("summary.tsv"), "--transitions",
                                                  dir.file("transitions.tsv"), "--out", dir.file("p.html")});
  EXPECT_EQ(page.status, 0) << page.err;
  EXPECT_NE(page.err.find("the 5 after them were left out"), std::string::npos) << page.err;
  EXPECT_NE(page.err.find("past the first 200000 of a channel were left out"), std::string::npos) << page.err;

  // A line longer than any report is read with ends the reading with a message, not with gigabytes.
  while (head.size() < (17u << 20)) head += "0.01\t";
  dir.write("long.tsv", label + head + "\n\n");
  EXPECT_FALSE(readTransitions(dir.file("long.tsv"), tables, error));
  EXPECT_NE(error.find("line 2: longer than 16 MiB"), std::string::npos) << error;
}

// Text given on the command line lands in the page's data as escapes, never as
// markup that would end or comment out its scripts.
TEST(TorvaView, RunInputAndOptionsCannotStopThePageScripts) {
  TempDir dir;
  const std::string summary = dir.write("s.tsv", kSummaryHeader);
  const auto made = testsupport::runProgram(
      TORVA_VIEW_BINARY, {"--summary", summary, "--out", dir.file("p.html"), "--run-input", "<!--<script>",
                          "--run-options", "</script><b>&amp;"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string page = testsupport::readFile(dir.file("p.html"));
  EXPECT_EQ(page.find("<!--<script>"), std::string::npos);
  EXPECT_EQ(page.find("</script><b>"), std::string::npos);
  EXPECT_NE(page.find("\\u003c!--\\u003cscript\\u003e"), std::string::npos);
  EXPECT_NE(page.find("\\u003c/script\\u003e\\u003cb\\u003e\\u0026amp;"), std::string::npos);
}

// The feature page: each record of the spectra table goes to its feature; records of other features are
// counted, and the page refuses what is not a feature table.
TEST(TorvaView, FeaturePageCarriesTheSpectraOfItsFeatures) {
  TempDir dir;
  FeatureRow h, c13;
  h.featureId = "F1";
  h.mz = 301.1;
  h.area = 10;
  h.compoundId = 1;
  h.ion = "[M+H]+";
  h.charge = 1;
  h.ms2Scans = "1";
  c13 = h;
  c13.featureId = "F2";
  c13.mz = 302.1034;
  c13.ion = "[M+H]+ 13C1";
  c13.ms2Scans = "0";
  std::string error;
  ASSERT_TRUE(writeFeatureTable(dir.file("f.tsv"), {h, c13}, error)) << error;
  FeatureSpectrum ms2{"F1", "run", SpectrumKind::Ms2, 12, 5.0, 301.1, {{85.5, 100}, {120.25, 5}}};
  FeatureSpectrum trace{"F2", "run", SpectrumKind::Trace, 0, 5.0, 0, {{4.9, 1}, {5.0, 3}}};
  FeatureSpectrum stranger{"F9", "run", SpectrumKind::Ms1, 11, 5.0, 0, {{300, 1}}};
  ASSERT_TRUE(writeFeatureSpectra(dir.file("s.tsv"), {ms2, stranger, trace}, error)) << error;

  FeaturePageTables tables;
  ASSERT_TRUE(readFeaturePage(dir.file("f.tsv"), dir.file("s.tsv"), tables, error)) << error;
  ASSERT_EQ(tables.spectra.size(), 2u);
  EXPECT_EQ(tables.spectrumFeature, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(tables.spectraUnmatched, 1);
  ViewOptions options;
  options.features = dir.file("f.tsv");
  options.spectra = dir.file("s.tsv");
  std::ostringstream json;
  writeFeatureJson(options, tables, json);
  const std::string text = json.str();
  EXPECT_NE(text.find("\"ion\":[\"[M+H]+\",\"[M+H]+ 13C1\"]"), std::string::npos) << text;
  EXPECT_NE(
      text.find("{\"f\":0,\"kind\":\"ms2\",\"scan\":12,\"rt\":5,\"precursor\":301.1,\"x\":[85.5,120.25],"
                "\"y\":[100,5]}"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\"ms2\":[1,0]"), std::string::npos) << text;

  // Without --spectra the page has no spectra; a table that is not a feature table is refused.
  FeaturePageTables bare;
  ASSERT_TRUE(readFeaturePage(dir.file("f.tsv"), "", bare, error)) << error;
  EXPECT_FALSE(bare.haveSpectra);
  EXPECT_FALSE(readFeaturePage(dir.write("bad.tsv", "mz\trt\n"), "", bare, error));
  EXPECT_NE(error.find("bad.tsv"), std::string::npos) << error;
  EXPECT_FALSE(readFeaturePage(dir.file("f.tsv"), dir.write("bad2.tsv", "x\n"), bare, error));
  EXPECT_NE(error.find("bad2.tsv"), std::string::npos) << error;

  const std::string view = TORVA_VIEW_BINARY;
  EXPECT_EQ(
      testsupport::runProgram(view, {"--spectra", dir.file("s.tsv"), "--summary", "s", "--out", "x"}).status,
      1);
  EXPECT_EQ(testsupport::runProgram(view, {"--features", "f", "--summary", "s", "--out", "x"}).status, 1);
  EXPECT_EQ(testsupport::runProgram(view, {"--features", "f", "--map", "m", "--out", "x"}).status, 1);
  const auto page = testsupport::runProgram(
      view, {"--features", dir.file("f.tsv"), "--spectra", dir.file("s.tsv"), "--out", dir.file("p.html")});
  EXPECT_EQ(page.status, 0) << page.err;
  EXPECT_NE(page.err.find("1 spectra and traces"), std::string::npos) << page.err;
  EXPECT_NE(testsupport::readFile(dir.file("p.html")).find("id=\"ms1-panel\""), std::string::npos);
}

// The cohort page overlays the traces of torva-compounds when the folder holds them, and is written as
// before when it does not.
TEST(TorvaView, CohortTracesJoinThePageOnlyWhenTheFolderHoldsThem) {
  TempDir dir;
  const std::string fixture = std::string(TORVA_SOURCE_DIR) + "/view/fixtures/cohort";
  for (const char* name : {"samples.tsv", "features.tsv"})
    dir.write(name, testsupport::readFile(fixture + "/" + name));
  const std::string view = TORVA_VIEW_BINARY;
  const auto before = testsupport::runProgram(view, {"--cohort", dir.path(), "--out", dir.file("a.html")});
  ASSERT_EQ(before.status, 0) << before.err;
  const std::string plain = testsupport::readFile(dir.file("a.html"));
  EXPECT_EQ(plain.find("traces-panel"), std::string::npos);

  FeatureSpectrum trace{"F0002", "dose_1", SpectrumKind::Trace, 0, 2.2, 0, {{2.1, 5}, {2.2, 9}}};
  FeatureSpectrum stranger = trace;
  stranger.sample = "nobody";
  std::string error;
  ASSERT_TRUE(writeFeatureSpectra(dir.file("feature_traces.tsv"), {trace, stranger}, error)) << error;
  CohortTables cohort;
  ASSERT_TRUE(readCohort(dir.path(), cohort, error)) << error;
  std::vector<std::string> ids, samples;
  for (const auto& row : cohort.features.rows) ids.push_back(row[0]);
  for (const auto& row : cohort.samples.rows) samples.push_back(row[0]);
  CohortTraces traces;
  ASSERT_TRUE(readCohortTraces(dir.file("feature_traces.tsv"), ids, samples, traces, error)) << error;
  ASSERT_TRUE(traces.present);
  EXPECT_EQ(traces.row, std::vector<std::size_t>{1});
  EXPECT_EQ(traces.sample, std::vector<std::size_t>{3});
  EXPECT_EQ(traces.unmatched, 1);
  const auto after = testsupport::runProgram(view, {"--cohort", dir.path(), "--out", dir.file("b.html")});
  ASSERT_EQ(after.status, 0) << after.err;
  EXPECT_NE(after.err.find("1 traces"), std::string::npos) << after.err;
  const std::string withTraces = testsupport::readFile(dir.file("b.html"));
  EXPECT_NE(withTraces.find("traces-panel"), std::string::npos);
  EXPECT_NE(withTraces.find("\"traces\":{\"leftOut\":0,\"list\":[{\"row\":1,\"sample\":3,"),
            std::string::npos);

  CohortTraces none;
  ASSERT_TRUE(readCohortTraces(dir.file("absent.tsv"), ids, samples, none, error));
  EXPECT_FALSE(none.present);
}
