// torva-align on the feature tables of the resolver pipeline: drifts of well
// over a minute corrected, per-feature columns, sample columns in sheet order,
// and the features it could not place counted on standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
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

// Samples a and b with every compound, c with `third`, as feature tables in dir/f, and the sheet; then
// torva-align's first pass into dir/align. The gap-filling reports go to dir/g (a and b's empty: no gaps).
ProcessResult firstPass(TempDir& dir, const std::vector<FeatureRow>& third) {
  ::mkdir(dir.file("f").c_str(), 0777);
  ::mkdir(dir.file("g").c_str(), 0777);
  const std::vector<FeatureRow> full = sampleTable([](double) { return 0.0; }, 1.0);
  std::string error;
  if (!writeFeatureTable(dir.file("f/a.tsv"), full, error) ||
      !writeFeatureTable(dir.file("f/b.tsv"), full, error) ||
      !writeFeatureTable(dir.file("f/c.tsv"), third, error))
    return ProcessResult{2, "", error};
  dir.write("sheet.tsv", "sample\tfile\na\tx\nb\tx\nc\tx\n");
  dir.write("g/a.tsv", "");
  dir.write("g/b.tsv", "");
  return testsupport::runProgram(TORVA_ALIGN, {"--sheet", dir.file("sheet.tsv"), "--summaries", dir.file("f"),
                                               "--out", dir.file("align")});
}

// The final pass, with c's gap-filling report `filledRows`, into dir/final.
ProcessResult finalPass(TempDir& dir, const std::vector<FeatureRow>& filledRows) {
  std::string error;
  if (!writeFeatureTable(dir.file("g/c.tsv"), filledRows, error)) return ProcessResult{2, "", error};
  return testsupport::runProgram(TORVA_ALIGN, {"--sheet", dir.file("sheet.tsv"), "--summaries", dir.file("f"),
                                               "--filled", dir.file("g"), "--out", dir.file("final")});
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

// Gaps filled from the feature pipeline's target rows: a found row fills the
// gap with the area between its own edges, a row marked not found leaves it,
// and an empty report stands for a sample without gaps.
TEST(TorvaAlignFeatures, FillsGapsFromTargetRows) {
  TempDir dir;
  const std::vector<FeatureRow> full = sampleTable([](double) { return 0.0; }, 1.0);
  std::vector<FeatureRow> partial = full;
  partial.erase(partial.begin() + 10, partial.begin() + 12);  // compounds 10 and 11 not detected
  ProcessResult result = firstPass(dir, partial);
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> targets =
      testsupport::lines(testsupport::readFile(dir.file("align/targets/c.tsv")));
  ASSERT_EQ(targets.size(), 2u);

  // The pass over c's targets: the first found, the second not.
  FeatureRow found = full[10];
  found.featureId = "T1";
  found.status = "found";
  found.target = "t10";
  found.targetMz = found.mz;
  found.area = 1234.5;
  FeatureRow missing;
  missing.featureId = "T2";
  missing.mz = missing.targetMz = full[11].mz;
  missing.target = "t11";
  missing.status = "not_found";
  missing.msLevel = 1;
  result = finalPass(dir, {found, missing});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("1 cells gap-filled, 1 left empty"), std::string::npos) << result.err;
  const std::string table = testsupport::readFile(dir.file("final/features.tsv"));
  EXPECT_NE(table.find("\t240000.0\t240000.0\t\n"), std::string::npos) << table;  // compound 11: still empty
  EXPECT_NE(table.find("\t220000.0\t220000.0\t1234.5\n"), std::string::npos) << table;
  EXPECT_NE(testsupport::readFile(dir.file("final/gap_filled.tsv")).find("\t0\t0\t1\n"), std::string::npos);
}

// A sample that resolved two rows' compounds (isomers 0.3 min apart) as one peak: the peak's edges hold the
// other row's time, which the sample lacks. Both are measured by the filling pass, the merged cell over its
// own part of the peak; a merged cell the pass found again as a whole stays as detected.
TEST(TorvaAlignFeatures, MeasuresAgainAPeakThatHeldTwoRows) {
  TempDir dir;
  const std::vector<FeatureRow> full = sampleTable([](double) { return 0.0; }, 1.0);
  std::vector<FeatureRow> merged = full;
  merged[8].rtEnd = merged[8].rt + 0.45;  // compound 8's peak runs over its isomer's apex
  merged[8].area = 999999.0;
  merged.erase(merged.begin() + 9);
  ProcessResult result = firstPass(dir, merged);
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> targets =
      testsupport::lines(testsupport::readFile(dir.file("align/targets/c.tsv")));
  ASSERT_EQ(targets.size(), 2u);  // compound 8 again, then its isomer's gap, each with a span
  for (const std::string& line : targets) {
    EXPECT_EQ(line.rfind("233.3", 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
  }
  EXPECT_EQ(testsupport::readFile(dir.file("align/targets/a.tsv")), "");

  for (const char* status : {"filled", "found"}) {
    FeatureRow part = full[8], isomer = full[9];
    part.featureId = "T1";
    part.status = status;
    part.area = 150000.0;
    isomer.featureId = "T2";
    isomer.status = "filled";
    isomer.area = 170000.0;
    result = finalPass(dir, {part, isomer});
    ASSERT_EQ(result.status, 0) << result.err;
    const bool again = std::string(status) == "filled";
    EXPECT_EQ(result.err.find("1 cells of a peak that held two rows' compounds measured again") !=
                  std::string::npos,
              again)
        << result.err;
    const std::string table = testsupport::readFile(dir.file("final/features.tsv"));
    EXPECT_NE(table.find(again ? "\t180000.0\t180000.0\t150000.0\n" : "\t180000.0\t180000.0\t999999.0\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("\t200000.0\t200000.0\t170000.0\n"), std::string::npos) << table;
  }
}
