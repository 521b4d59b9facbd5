#include "report/feature_spectra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/test_support.h"

namespace {

const std::string kHead = "feature_id\tsample\tkind\tscan\trt\tprecursor_mz\tpoints\n";

}  // namespace

TEST(FeatureSpectra, RecordsReadBackAsWritten) {
  FeatureSpectrum ms2;
  ms2.featureId = "F7";
  ms2.sample = "qc 1.mzML";
  ms2.kind = SpectrumKind::Ms2;
  ms2.scan = 1204;
  ms2.rt = 5.12345;
  ms2.precursorMz = 301.141234;
  ms2.points = {{85.028, 1200.04}, {121.1, 0}, {301.1412, 55.5}};
  FeatureSpectrum trace;
  trace.featureId = "F7";
  trace.sample = "qc 1.mzML";
  trace.kind = SpectrumKind::Trace;
  trace.rt = 5.1;
  trace.points = {{5.0, 10}, {5.01, 20}};
  FeatureSpectrum empty;  // an MS1 spectrum with no peak in its window
  empty.featureId = "F8";
  const std::string text = formatFeatureSpectra({ms2, trace, empty});
  EXPECT_EQ(text, kHead +
                      "F7\tqc 1.mzML\tms2\t1204\t5.1235\t301.141234\t85.028000:1200.0 121.100000:0.0 "
                      "301.141200:55.5\n"
                      "F7\tqc 1.mzML\ttrace\t0\t5.1000\t0.000000\t5.0000:10.0 5.0100:20.0\n"
                      "F8\t\tms1\t0\t0.0000\t0.000000\t\n");
  const std::vector<FeatureSpectrum> back = parseFeatureSpectra(text, "t.tsv");
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].kind, SpectrumKind::Ms2);
  EXPECT_EQ(back[0].scan, 1204);
  EXPECT_EQ(back[0].sample, "qc 1.mzML");
  ASSERT_EQ(back[0].points.size(), 3u);
  EXPECT_DOUBLE_EQ(back[0].points[2].first, 301.1412);
  EXPECT_EQ(back[1].kind, SpectrumKind::Trace);
  EXPECT_TRUE(back[2].points.empty());
  // What is read back writes the same bytes.
  EXPECT_EQ(formatFeatureSpectra(back), text);
}

TEST(FeatureSpectra, PointsThatAreNotFiniteAreLeftOutAndTabsReplaced) {
  FeatureSpectrum record;
  record.featureId = "F\t1";
  record.points = {{100, 5},
                   {101, std::numeric_limits<double>::quiet_NaN()},
                   {std::numeric_limits<double>::infinity(), 1},
                   {102, 7}};
  const std::vector<FeatureSpectrum> back = parseFeatureSpectra(formatFeatureSpectra({record}), "t");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].featureId, "F 1");
  ASSERT_EQ(back[0].points.size(), 2u);
  EXPECT_EQ(back[0].points[1].first, 102);
}

TEST(FeatureSpectra, BrokenLinesAreRefusedWithTheirLineNumber) {
  struct Case {
    const char* line;
    const char* why;
  };
  const Case cases[] = {
      {"F1\ts\tms1\t1\t1.0\t0\t100:1 99:1", "falls below"},
      {"F1\ts\tms3\t1\t1.0\t0\t100:1", "kind 'ms3'"},
      {"F1\ts\tms1\t-1\t1.0\t0\t100:1", "scan '-1'"},
      {"F1\ts\tms1\t1\t1.0\t0\t100;1", "not x:y"},
      {"F1\ts\tms1\t1\t1.0\t0\t100:1 ", "end in a space"},
      {"F1\ts\tms1\t1\t1.0\t0\t100:1  101:2", "not x:y"},
      {"F1\ts\tms1\t1\tnan\t0\t100:1", "rt 'nan'"},
      {"\ts\tms1\t1\t1.0\t0\t100:1", "feature_id is empty"},
      {"F1\ts\tms1\t1\t1.0\t0", "has 6 fields"},
  };
  for (const Case& c : cases) {
    try {
      parseFeatureSpectra(kHead + "\n" + c.line + "\n", "t.tsv");
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (const FeatureSpectraError& error) {
      const std::string what = error.what();
      EXPECT_NE(what.find("t.tsv:3: "), std::string::npos) << what;
      EXPECT_NE(what.find(c.why), std::string::npos) << what;
    }
  }
  EXPECT_THROW(parseFeatureSpectra("feature_id\tsample\n", "t"), FeatureSpectraError);
  EXPECT_THROW(parseFeatureSpectra("", "t"), FeatureSpectraError);
}

TEST(FeatureSpectra, FileIsStreamedRecordByRecordAndWrittenWhole) {
  testsupport::TempDir dir;
  FeatureSpectrum record;
  record.featureId = "F1";
  record.kind = SpectrumKind::Ms1;
  record.points = {{200, 1}};
  std::vector<FeatureSpectrum> records(3, record);
  records[2].featureId = "F3";
  std::string error;
  ASSERT_TRUE(writeFeatureSpectra(dir.file("s.tsv"), records, error)) << error;
  std::vector<std::string> ids;
  readFeatureSpectra(dir.file("s.tsv"), [&ids](FeatureSpectrum&& r) { ids.push_back(r.featureId); });
  EXPECT_EQ(ids, (std::vector<std::string>{"F1", "F1", "F3"}));
  EXPECT_THROW(readFeatureSpectra(dir.file("none.tsv"), [](FeatureSpectrum&&) {}), FeatureSpectraError);
  EXPECT_FALSE(writeFeatureSpectra(dir.file("no/such/s.tsv"), records, error));
}
