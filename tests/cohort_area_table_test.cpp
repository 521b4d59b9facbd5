// The cohort feature table: read and written in one layout, with line-numbered refusals.
#include "report/cohort_area_table.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/test_support.h"
#include "util/atomic_file.h"

using testsupport::readFile;
using testsupport::TempDir;

TEST(CohortAreaTable, ReadsAndWritesTheSameText) {
  const std::string text =
      "feature_id\tmz\trt\tn_samples\ta\tb\n"
      "F0001\t152.05942\t1.5710\t2\t100000.00\t130000.50\n"
      "F0002\t180.06339\t2.2260\t1\t\t577255.40\n";
  TempDir dir;
  CohortAreaTable table;
  std::string error;
  ASSERT_TRUE(readCohortAreaTable(dir.write("f.tsv", text), table, error)) << error;
  ASSERT_EQ(table.samples, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_TRUE(std::isnan(table.rows[1].areas[0]));
  EXPECT_DOUBLE_EQ(table.rows[1].areas[1], 577255.40);
  EXPECT_EQ(cohortAreaTableText(table), text);
}

TEST(CohortAreaTable, PassesOverThePerFeatureColumnsBeforeTheSamples) {
  // torva-align's columns from feature tables and the compound step's stand
  // between n_samples and the samples; none of them is a sample.
  const std::string text =
      "feature_id\tmz\trt\tn_samples\tmean_height\tmedian_sn\tcompound_id\tion\ta\tb\n"
      "F0001\t152.05942\t1.5710\t2\t3e5\t40\t1\t[M+H]+\t100000.00\t130000.50\n";
  TempDir dir;
  CohortAreaTable table;
  std::string error;
  ASSERT_TRUE(readCohortAreaTable(dir.write("f.tsv", text), table, error)) << error;
  EXPECT_EQ(table.samples, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(table.rows.size(), 1u);
  EXPECT_DOUBLE_EQ(table.rows[0].areas[1], 130000.50);
}

TEST(CohortAreaTable, RefusesMalformedTablesNamingTheLine) {
  const struct {
    const char* table;
    const char* message;
  } cases[] = {
      {"id\tmz\trt\tn_samples\ta\n", "is not a feature table"},
      {"feature_id\tmz\trt\tn_samples\ta\ta\n", "line 1: sample column 'a' is empty or repeated"},
      {"feature_id\tmz\trt\tn_samples\ta\nF1\t1\t2\t1\n", "line 2: 4 cells where the header has 5"},
      {"feature_id\tmz\trt\tn_samples\ta\nF1\t1\t2\t1\t5\nF2\t1\t2\t1\t-5\n",
       "line 3: area '-5' of sample a"},
      {"feature_id\tmz\trt\tn_samples\ta\nF1\t1\t2\t1\tnan\n", "line 2: area 'nan'"},
      {"feature_id\tmz\trt\tn_samples\ta\nF1\t1\t2\t1\t5x\n", "line 2: area '5x'"},
      {"feature_id\tmz\trt\tn_samples\ta\n\t1\t2\t1\t5\n", "line 2: empty feature_id"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    CohortAreaTable table;
    std::string error;
    EXPECT_FALSE(readCohortAreaTable(dir.write("f.tsv", c.table), table, error)) << c.table;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(CohortAreaTable, WholeFileIsReplacedOnlyWhenWrittenCompletely) {
  TempDir dir;
  const std::string path = dir.write("t.tsv", "old\n");
  std::string error;
  ASSERT_TRUE(writeWholeFile(path, "new\n", error)) << error;
  EXPECT_EQ(readFile(path), "new\n");
  EXPECT_FALSE(writeWholeFile(dir.file("missing/t.tsv"), "x", error));
}
