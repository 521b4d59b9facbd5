// The cohort feature table: written and read back, per-feature columns between
// the fixed ones and the samples, and the rows it refuses.
#include "report/cohort_tables.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "util/atomic_file.h"

TEST(CohortTable, RoundTripsWithPerFeatureColumns) {
  CohortFeatureTable table;
  table.extraColumns = {"mean_height", "median_sn"};
  table.samples = {"s2", "s10"};
  table.rows.push_back(CohortFeature{"F0001", 150.123456, 3.25, 2, {"1000.0", "12.50"}, {"5.0", "7.5"}});
  table.rows.push_back(CohortFeature{"F0002", 300.5, 10.0, 1, {"", ""}, {"", "42.0"}});
  const std::string text = formatCohortFeatures(table);
  EXPECT_EQ(text,
            "feature_id\tmz\trt\tn_samples\tmean_height\tmedian_sn\ts2\ts10\n"
            "F0001\t150.12346\t3.2500\t2\t1000.0\t12.50\t5.0\t7.5\n"
            "F0002\t300.50000\t10.0000\t1\t\t\t\t42.0\n");
  const CohortFeatureTable back = parseCohortFeatures(text, table.samples, "features.tsv");
  EXPECT_EQ(back.extraColumns, table.extraColumns);
  ASSERT_EQ(back.rows.size(), 2u);
  EXPECT_EQ(back.rows[1].areas, (std::vector<std::string>{"", "42.0"}));
  EXPECT_EQ(back.rows[0].extra, (std::vector<std::string>{"1000.0", "12.50"}));
  EXPECT_EQ(back.rows[0].samplesDetected, 2);
  EXPECT_EQ(formatCohortFeatures(back),
            formatCohortFeatures(CohortFeatureTable{back.extraColumns, back.samples, back.rows}));
  // Empty lines are skipped, as in every table.
  EXPECT_EQ(
      parseCohortFeatures("feature_id\tmz\trt\tn_samples\ta\n\nF1\t1\t2\t1\t3\n", {"a"}, "x").rows.size(),
      1u);
  // The layout of tables from summary reports: no per-feature column.
  EXPECT_TRUE(parseCohortFeatures("feature_id\tmz\trt\tn_samples\ta\nF1\t1\t2\t1\t3\n", {"a"}, "x")
                  .extraColumns.empty());
}

TEST(CohortTable, RefusesMalformedTablesNamingTheLine) {
  const std::string head = "feature_id\tmz\trt\tn_samples\ta\tb\n";
  struct Case {
    const char* name;
    std::string text;
    const char* where;
  };
  for (const Case& c : {
           Case{"samples out of order", "feature_id\tmz\trt\tn_samples\tb\ta\n", "x:1:"},
           Case{"missing n_samples", "feature_id\tmz\trt\ta\tb\n", "x:1:"},
           Case{"short row", head + "F1\t1\t2\t1\t3\n", "x:2:"},
           Case{"bad area", head + "F1\t1\t2\t1\t3\t4x\n", "x:2:"},
           Case{"fractional n_samples", head + "F1\t1\t2\t1.5\t3\t4\n", "x:2:"},
           Case{"repeated id", head + "F1\t1\t2\t1\t3\t4\nF1\t1\t2\t1\t3\t4\n", "x:3:"},
           Case{"empty file", "", "x:1:"},
       }) {
    try {
      parseCohortFeatures(c.text, {"a", "b"}, "x");
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const CohortTableError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.where, 0), 0u) << c.name << ": " << error.what();
    }
  }
}

TEST(CohortTable, WritesThroughATemporaryFile) {
  testsupport::TempDir dir;
  const std::string path = dir.file("features.tsv");
  std::string error;
  ASSERT_TRUE(writeWholeFile(path, "a\n", error)) << error;
  EXPECT_EQ(testsupport::readFile(path), "a\n");
  // A folder that does not exist: nothing written, nothing left behind.
  EXPECT_FALSE(writeWholeFile(dir.file("none/features.tsv"), "b\n", error));
  EXPECT_EQ(testsupport::readFile(path), "a\n");
}

// A bounded read keeps the first rows and counts the others, which are still
// checked: a malformed line past the bound refuses the table as before.
TEST(TextTable, BoundedReadCountsTheRowsItLeavesOut) {
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    std::string text;
    std::size_t most;
    std::size_t kept, leftOut;
    bool accepted;
  };
  const std::string head = "a\tb\n";
  const Case cases[] = {
      {"under the bound", head + "1\t2\n3\t4\n", 5, 2, 0, true},
      {"at the bound", head + "1\t2\n3\t4\n", 2, 2, 0, true},
      {"past it, empty lines not counted", head + "1\t2\n\n3\t4\n5\t6\n\n7\t8\n", 2, 2, 2, true},
      {"malformed past it", head + "1\t2\n3\t4\n5\n", 1, 0, 0, false},
  };
  for (const Case& c : cases) {
    TextTable table;
    std::string error;
    const bool accepted = readTextTable(dir.write("t.tsv", c.text), table, error, c.most);
    EXPECT_EQ(accepted, c.accepted) << c.name;
    if (!accepted) {
      EXPECT_NE(error.find("line 4:"), std::string::npos) << c.name << ": " << error;
      continue;
    }
    EXPECT_EQ(table.rows.size(), c.kept) << c.name;
    EXPECT_EQ(table.rowsLeftOut, c.leftOut) << c.name;
    EXPECT_EQ(table.rows.back(), (std::vector<std::string>{"3", "4"})) << c.name;
  }
}
