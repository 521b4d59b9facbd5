// torva-align on the feature tables of the resolver pipeline: drifts of well
// over a minute corrected, per-feature columns, sample columns in sheet order,
// and the features it could not place counted on standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "report/feature_table.h"
#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

constexpr int kCompounds = 60;

// The compounds as one sample sees them, `drift` minutes late at time t. Each
// fourth compound has an isomer of its mass 0.3 min later.
template <typename Drift>
std::vector<FeatureRow> sampleTable(Drift drift, double areaFactor) {
  std::vector<FeatureRow> rows;
  for (int i = 0; i < kCompounds; ++i) {
    const double t = 2.0 + 0.4 * i + (i % 4 == 1 ? -0.1 : 0.0);
    FeatureRow row;
    row.featureId = "F" + std::to_string(rows.size() + 1);
    row.mz = 150.0 + 10.0 * (i % 4 == 1 ? i - 1 : i) + 3.3;
    row.rt = t + drift(t);
    row.rtStart = row.rt - 0.1;
    row.rtEnd = row.rt + 0.1;
    row.height = 1000.0 * (i + 1);
    row.area = 20000.0 * (i + 1) * areaFactor;
    row.areaCorrected = row.area;
    row.fwhm = 0.05;
    row.sn = 30;
    row.points = 12;
    row.polarity = '+';
    row.msLevel = 1;
    row.shape = 0.9;
    rows.push_back(row);
  }
  // Rows that do not take part: an isotope folded into its compound, and an MS2 feature.
  FeatureRow isotope = rows[3];
  isotope.featureId = "I1";
  isotope.mz += 1.00335;
  isotope.representative = false;
  isotope.compoundId = 4;
  rows.push_back(isotope);
  FeatureRow fragment = rows[5];
  fragment.featureId = "M1";
  fragment.mz = 91.05;
  fragment.msLevel = 2;
  rows.push_back(fragment);
  return rows;
}

}  // namespace

TEST(TorvaAlignFeatures, CorrectsDriftOfOverAMinuteFromFeatureTables) {
  TempDir dir;
  ::mkdir(dir.file("f").c_str(), 0777);
  const auto none = [](double) { return 0.0; };
  const auto late = [](double) { return 1.4; };
  const auto wave = [](double t) { return -0.8 + 0.3 * std::sin(t / 5.0); };
  std::string error;
  ASSERT_TRUE(writeFeatureTable(dir.file("f/s2.tsv"), sampleTable(none, 1.0), error)) << error;
  ASSERT_TRUE(writeFeatureTable(dir.file("f/s10.tsv"), sampleTable(late, 1.1), error)) << error;
  ASSERT_TRUE(writeFeatureTable(dir.file("f/s1.tsv"), sampleTable(wave, 0.9), error)) << error;
  ASSERT_TRUE(writeFeatureTable(dir.file("f/s3.tsv"), sampleTable(none, 1.0), error)) << error;
  dir.write("sheet.tsv", "sample\tfile\ns2\tx\ns10\tx\ns1\tx\ns3\tx\n");
  const auto align = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--sheet", dir.file("sheet.tsv"), "--summaries", dir.file("f"),
                                     "--out",   dir.file(out)};
    args.insert(args.end(), extra.begin(), extra.end());
    return testsupport::runProgram(TORVA_ALIGN, args);
  };

  ProcessResult result = align("wide", {});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> lines =
      testsupport::lines(testsupport::readFile(dir.file("wide/features.tsv")));
  ASSERT_EQ(lines.size(), 1u + kCompounds) << result.err;
  EXPECT_EQ(lines[0], "feature_id\tmz\trt\tn_samples\tmean_height\tmedian_fwhm\tmedian_sn\ts2\ts10\ts1\ts3");
  // The first compound: every sample, its areas as the tables wrote them.
  EXPECT_EQ(lines[1],
            "F0001\t153.30000\t2.0000\t4\t1000.0\t0.0500\t30.00\t20000.0\t22000.0\t18000.0\t20000.0");
  for (std::size_t k = 1; k < lines.size(); ++k)
    EXPECT_NE(lines[k].find("\t4\t"), std::string::npos) << lines[k];
  EXPECT_NE(result.err.find("torva-align: 0 of 240 sample features could not be placed"), std::string::npos)
      << result.err;

  // The same cohort searched only half a minute wide: the drifting samples stay apart, and it says so.
  result = align("narrow", {"--max-drift", "0.5", "--min-fraction", "0.2"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_GT(testsupport::lines(testsupport::readFile(dir.file("narrow/features.tsv"))).size(),
            1u + kCompounds);
  result = align("dropped", {"--max-drift", "0.5"});
  EXPECT_EQ(result.err.find("torva-align: 0 of 240 sample features could not be placed"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("sample features could not be placed"), std::string::npos) << result.err;
}
