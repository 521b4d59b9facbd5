// torva-clean as a whole: which features each filter takes out on a small cohort, the tables and
// exports it writes, and its exit statuses.
#include "clean/cleaner.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

using testsupport::lines;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

// Blank, QC, two samples, QC, two samples, QC, QC, blank; one batch.
const char kSheet[] =
    "sample\tfile\tgroup\ttype\torder\tbatch\n"
    "b1\tb1.mzML\t\tblank\t1\t1\n"
    "q1\tq1.mzML\tQC\tqc\t2\t1\n"
    "s1\ts1.mzML\tctl\tsample\t3\t1\n"
    "s2\ts2.mzML\ttrt\tsample\t4\t1\n"
    "q2\tq2.mzML\tQC\tqc\t5\t1\n"
    "s3\ts3.mzML\tctl\tsample\t6\t1\n"
    "s4\ts4.mzML\ttrt\tsample\t7\t1\n"
    "q3\tq3.mzML\tQC\tqc\t8\t1\n"
    "q4\tq4.mzML\tQC\tqc\t9\t1\n"
    "b2\tb2.mzML\t\tblank\t10\t1\n";

const char kTable[] =
    "feature_id\tmz\trt\tn_samples\tb1\tq1\ts1\ts2\tq2\ts3\ts4\tq3\tq4\tb2\n"
    "F1\t100.1\t1.0\t8\t\t1000.00\t900.00\t1800.00\t1010.00\t1100.00\t2200.00\t990.00\t1000.00\t\n"
    "F2\t200.2\t2.0\t10\t500.00\t600.00\t600.00\t650.00\t610.00\t590.00\t600.00\t620.00\t600.00\t480.00\n"
    "F3\t300.3\t3.0\t10\t20.00\t1000.00\t1000.00\t1000.00\t1000.00\t1000.00\t1000.00\t1000.00\t1000.00\t10."
    "00\n"
    "F4\t400.4\t4.0\t5\t\t\t900.00\t900.00\t1000.00\t900.00\t900.00\t\t\t\n"
    "F5\t500.5\t5.0\t8\t\t100.00\t900.00\t900.00\t1000.00\t900.00\t900.00\t300.00\t2000.00\t\n";

struct Cohort {
  std::vector<CohortSample> samples;
  CohortAreaTable table;
};

Cohort cohort(const TempDir& dir) {
  Cohort c;
  std::vector<CohortSample> sheet;
  std::string error;
  EXPECT_TRUE(readCohortSheet(dir.write("sheet.tsv", kSheet), sheet, error)) << error;
  EXPECT_TRUE(readCohortAreaTable(dir.write("features.tsv", kTable), c.table, error)) << error;
  EXPECT_TRUE(samplesOfTable(sheet, c.table, c.samples, error)) << error;
  return c;
}

std::string cleanPath() { return TORVA_CLEAN; }

}  // namespace

TEST(Cleaner, EachFilterTakesOutItsFeatureAndSaysWhy) {
  TempDir dir;
  const Cohort c = cohort(dir);
  CleanOptions options;
  options.drift = false;  // four QCs in one batch: the filters alone
  const CleanResult result = cleanTable(c.samples, c.table, options);
  ASSERT_EQ(result.removed.size(), 3u);
  EXPECT_EQ(result.removed[0].id + " " + result.removed[0].step, "F2 blank");
  EXPECT_EQ(result.removed[1].id + " " + result.removed[1].step, "F4 qc_presence");
  EXPECT_EQ(result.removed[2].id + " " + result.removed[2].step, "F5 qc_cv");
  EXPECT_NEAR(result.removed[0].value, 610.0 / 490, 1e-9);
  ASSERT_EQ(result.table.rows.size(), 2u);
  EXPECT_EQ(result.table.rows[0].id, "F1");
  EXPECT_EQ(result.table.rows[1].id, "F3");  // carried over into the blanks, far above them
  ASSERT_EQ(result.qcCv.size(), 5u);
  EXPECT_TRUE(result.qcCv[0].kept);
  EXPECT_FALSE(result.qcCv[4].kept);
  EXPECT_GT(result.qcCv[4].raw, 30);
  EXPECT_TRUE(result.drift.empty());
  EXPECT_EQ(result.log[1].rfind("blank filter: removed 1 features", 0), 0u) << result.log[1];
}

TEST(Cleaner, EveryStepOffLeavesTheTableAsItWas) {
  TempDir dir;
  const Cohort c = cohort(dir);
  CleanOptions options;
  options.blankFilter = options.qcFilter = options.drift = false;
  const CleanResult result = cleanTable(c.samples, c.table, options);
  EXPECT_EQ(cohortAreaTableText(result.table), kTable);
  EXPECT_TRUE(result.removed.empty());
}

TEST(Cleaner, RefusesATableWhoseColumnsAreNotTheSheetsSamples) {
  TempDir dir;
  std::vector<CohortSample> sheet, samples;
  std::string error;
  ASSERT_TRUE(readCohortSheet(dir.write("sheet.tsv", kSheet), sheet, error));
  CohortAreaTable table;
  table.samples = {"b1", "x"};
  EXPECT_FALSE(samplesOfTable(sheet, table, samples, error));
  EXPECT_EQ(error, "the feature table's column 'x' is not a sample of the sheet");
  table.samples = {"b1"};
  EXPECT_FALSE(samplesOfTable(sheet, table, samples, error));
  EXPECT_EQ(error, "sample 'q1' of the sheet has no column in the feature table");
}

TEST(CleanProcess, WritesTheTableTheLogAndTheExports) {
  TempDir dir;
  const std::string sheet = dir.write("sheet.tsv", kSheet);
  const std::string table = dir.write("features.tsv", kTable);
  const auto result = runProgram(cleanPath(), {"--sheet", sheet, "--table", table, "--out", dir.file("out"),
                                               "--normalise", "pqn", "--impute", "min"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(readFile(dir.file("out/clean_log.txt")).find("normalisation: pqn"), std::string::npos);
  const auto clean = lines(readFile(dir.file("out/features_clean.tsv")));
  ASSERT_EQ(clean.size(), 3u);
  EXPECT_EQ(clean[0], lines(kTable)[0]);
  const auto csv = lines(readFile(dir.file("out/export/metaboanalyst.csv")));
  ASSERT_EQ(csv.size(), 4u);
  EXPECT_EQ(csv[0], "Sample,q1,s1,s2,q2,s3,s4,q3,q4");
  EXPECT_EQ(csv[1], "Label,QC,ctl,trt,QC,ctl,trt,QC,QC");
  const auto long_ = lines(readFile(dir.file("out/export/features_long.tsv")));
  ASSERT_EQ(long_.size(), 1u + 2 * 10);
  EXPECT_EQ(long_[0], "feature_id\tmz\trt\tsample\tarea\tgroup\ttype\torder\tbatch");
  EXPECT_EQ(long_[1].substr(0, 23), "F1\t100.1\t1.0\tb1\t\t\tblank");
  EXPECT_EQ(lines(readFile(dir.file("out/clean/removed.tsv"))).size(), 4u);
  EXPECT_EQ(lines(readFile(dir.file("out/clean/pca.tsv"))).size(), 9u);
  EXPECT_EQ(lines(readFile(dir.file("out/clean/drift_fit.tsv"))).size(), 1u + 3 * 10);
}

TEST(CleanProcess, ExitStatusesForUsageBadValuesAndUnreadableInputs) {
  TempDir dir;
  const std::string sheet = dir.write("sheet.tsv", kSheet);
  const std::string table = dir.write("features.tsv", kTable);
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--help"}, 1, ""},
      {{"--sheet", sheet}, 1, "--sheet, --table and --out are required"},
      {{"--sheet", sheet, "--table", table, "--out", dir.path(), "--normalise", "quantile"},
       2,
       "bad value 'quantile' for --normalise"},
      {{"--sheet", sheet, "--table", table, "--out", dir.path(), "--qc-min-fraction", "1.5"},
       2,
       "bad value '1.5'"},
      {{"--sheet", dir.file("none.tsv"), "--table", table, "--out", dir.path()},
       2,
       "cannot read sample sheet"},
      {{"--sheet", sheet, "--table", sheet, "--out", dir.path()}, 2, "is not a feature table"},
  };
  for (const auto& c : cases) {
    const auto result = runProgram(cleanPath(), c.args);
    EXPECT_EQ(result.status, c.status) << c.args[0];
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}
