// The tables' one home: the reading rule, the channel label and each table's
// reader, checked against the text the writers produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/channel_label.h"
#include "report/cohort_tables.h"
#include "report/map_table.h"
#include "report/summary_table.h"
#include "report/table_text.h"
#include "report/target_table.h"
#include "report/transition_table.h"
#include "tests/test_support.h"

using testsupport::TempDir;

TEST(TableText, DecimalsAreReadWholeAndFinite) {
  const std::pair<const char*, double> good[] = {{"0", 0},
                                                 {"-12.50000", -12.5},
                                                 {"1e-7", 1e-7},
                                                 {"3812281913.82585", 3812281913.82585},
                                                 {"1.5E+3", 1500}};
  for (const auto& [text, expected] : good) {
    double value = -1;
    EXPECT_TRUE(readDecimal(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  // strtod takes each of these, in part or whole.
  for (const char* bad :
       {"", " 1", "1 ", "+1", "0x1A", "inf", "nan", "1e400", "01.5", "1.", ".5", "1e", "1,5"}) {
    double value;
    EXPECT_FALSE(readDecimal(bad, value)) << bad;
  }
  long long integer = 0;
  EXPECT_TRUE(readInteger("-42", integer));
  EXPECT_EQ(integer, -42);
  for (const char* bad : {"", "4.0", "+4", "99999999999999999999", "4 "})
    EXPECT_FALSE(readInteger(bad, integer)) << bad;
}

TEST(TableText, EveryTabSeparatesAField) {
  EXPECT_EQ(splitFields("a\t\tb"), (std::vector<std::string_view>{"a", "", "b"}));
  EXPECT_EQ(splitFields("a\t"), (std::vector<std::string_view>{"a", ""}));
  EXPECT_EQ(splitFields(""), (std::vector<std::string_view>{""}));
}

TEST(ChannelLabel, BothFormsReadBackAndMatchEachOther) {
  struct Case {
    double precursor, energy, low, high;
    const char* summary;
    const char* transitions;
  } cases[] = {
      {301.1, 35, 100, 400, "301.1@35.0[100.0000-400.0000]", "301.10@35.00 [100.00-400.00]"},
      {0, 0, 100, 1000, "0.0[100.0000-1000.0000]", "0.00@0.00 [100.00-1000.00]"},
      {445.14, 35, 110, 900, "445.1@35.0[110.0000-900.0000]", "445.14@35.00 [110.00-900.00]"},
      // A full-scan channel with a collision energy (in-source fragmentation) is still full scan.
      {0, 35, 50, 750, "0.0@35.0[50.0000-750.0000]", "0.00@35.00 [50.00-750.00]"},
      {12345.6789, 0, -5, 5, "12345.7[-5.0000-5.0000]", "12345.68@0.00 [-5.00-5.00]"},
  };
  for (const Case& c : cases) {
    const TransitionKey key{c.precursor, c.energy, c.low, c.high};
    EXPECT_EQ(summaryLabel(key), c.summary);
    EXPECT_EQ(transitionLabel(key), c.transitions);
    ChannelLabel summary, transitions;
    ASSERT_TRUE(parseChannelLabel(c.summary, summary)) << c.summary;
    ASSERT_TRUE(parseChannelLabel(c.transitions, transitions)) << c.transitions;
    EXPECT_TRUE(sameChannel(summary, transitions)) << c.summary;
    EXPECT_EQ(summary.isFullScan(), c.precursor == 0) << c.summary;
    EXPECT_DOUBLE_EQ(transitions.productHigh, c.high);
  }
  ChannelLabel a, b;
  ASSERT_TRUE(parseChannelLabel("301.1[100.0000-400.0000]", a));
  ASSERT_TRUE(parseChannelLabel("301.10@35.00 [100.00-400.00]", b));
  EXPECT_FALSE(sameChannel(a, b));  // an energy on one side only
  ASSERT_TRUE(parseChannelLabel("301.2@35.0[100.0000-400.0000]", a));
  EXPECT_FALSE(sameChannel(a, b));
  for (const char* bad : {"301.1@35.0", "x[1-2]", "1[2]", "1[2-3]x", "0x1[1-2]"})
    EXPECT_FALSE(parseChannelLabel(bad, a)) << bad;
}

TEST(SummaryTable, WrittenLinesReadBack) {
  TempDir dir;
  const std::string path = dir.write(
      "summary.tsv",
      summaryHead() +
          summaryLine(990.697876, 0.391666, 51683492.29541, 47, 29, 71, summaryLabel({0, 0, 100, 1000})) +
          "\n" + summaryLine(719.1, 1.2, 3e5, 9, 8, 10, summaryLabel({719.1, 35, 50, 720})));
  std::vector<SummaryRow> rows;
  std::string error;
  ASSERT_TRUE(readSummaryTable(path, rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].massText, "990.69788");
  EXPECT_EQ(rows[0].areaText, "51683492.29541");
  EXPECT_EQ(rows[0].apexScan, 47);
  EXPECT_EQ(rows[0].endScan, 71);
  EXPECT_TRUE(rows[0].channel.isFullScan());
  EXPECT_EQ(rows[1].line, 4);  // the empty line 3 is skipped
  EXPECT_EQ(rows[1].labelText, "719.1@35.0[50.0000-720.0000]");
}

TEST(SummaryTable, AnyBrokenLineRejectsTheFileNamingTheLine) {
  const std::string row = "100.00000\t1.00000\t2.00000\t3\t2\t4\t0.0[1.0000-2.0000]\n";
  const std::pair<std::string, std::string> cases[] = {
      {"mass\trt\n" + row, "line 1: not the summary report's head line"},
      {summaryHead() + row + "nan\t1\t2\t3\t2\t4\t0.0[1.0000-2.0000]\n", "line 3: mass, rt and area"},
      {summaryHead() + "0x1A\t1\t2\t3\t2\t4\t0.0[1.0000-2.0000]\n", "line 2: mass, rt and area"},
      {summaryHead() + row + row + "garbage\n", "line 4: 1 fields instead of 7"},
      {summaryHead() + "1\t1\t2\t3.5\t2\t4\t0.0[1.0000-2.0000]\n", "line 2: the scan numbers"},
      {summaryHead() + "1\t1\t2\t3\t2\t4\t0.0\n", "line 2: '0.0' is not a channel label"},
  };
  TempDir dir;
  for (const auto& [text, message] : cases) {
    std::vector<SummaryRow> rows;
    std::string error;
    EXPECT_FALSE(readSummaryTable(dir.write("s.tsv", text), rows, error)) << text;
    EXPECT_NE(error.find("'" + dir.file("s.tsv") + "' " + message), std::string::npos) << error;
  }
  std::vector<SummaryRow> rows;
  std::string error;
  EXPECT_FALSE(readSummaryTable(dir.file("absent.tsv"), rows, error));
  EXPECT_FALSE(readSummaryTable(dir.write("empty.tsv", ""), rows, error));
}

TEST(TransitionTable, ChannelsHeadsAndRowsInOrder) {
  const std::string text = transitionChannelLine(transitionLabel({0, 0, 100, 1000}), 2) +
                           transitionHeadStart() + "0.01\t0.03\t\n" +
                           "990.70\t5.00\t0.01\t1\t7.00\t9.00\t4.00\t5.00\t\n\n" +
                           transitionChannelLine(transitionLabel({445.1, 35, 110, 900}), 0) + "\n";
  TempDir dir;
  TransitionTableReader reader(dir.write("t.tsv", text));
  TransitionLine line;
  std::string error;
  std::vector<TransitionLine::Kind> kinds;
  std::vector<std::size_t> sizes;
  while (reader.next(line, error)) {
    kinds.push_back(line.kind);
    sizes.push_back(line.fields.size());
  }
  EXPECT_EQ(error, "");
  using Kind = TransitionLine::Kind;
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::Channel, Kind::Head, Kind::Row, Kind::Channel}));
  EXPECT_EQ(sizes[1], 8u);
  EXPECT_EQ(line.labelText, "445.10@35.00 [110.00-900.00]");
  EXPECT_EQ(line.line, 5);

  for (const auto& [broken, at] : std::vector<std::pair<std::string, std::string>>{
           {"Channel:\tnone\tScans:\t2\n", "line 1"},
           {transitionChannelLine("0.00@0.00 [1.00-2.00]", 1) + "1.0\t2\t\n", "line 2"},
           {transitionChannelLine("0.00@0.00 [1.00-2.00]", 1) + transitionHeadStart() +
                "0.01\t\n1\t2\t3\t4\t5\t6\t\n",
            "line 3"},
           {transitionChannelLine("0.00@0.00 [1.00-2.00]", 1) + transitionHeadStart() +
                "0.01\t\n1\t2\t3\t4\t5\t6\tx\t\n",
            "line 3"}}) {
    TransitionTableReader bad(dir.write("bad.tsv", broken));
    error.clear();
    while (bad.next(line, error)) {
    }
    EXPECT_NE(error.find("transition report '" + dir.file("bad.tsv") + "' " + at + ":"), std::string::npos)
        << broken << error;
  }
}

TEST(MapTable, HeadAndRows) {
  TempDir dir;
  BinnedMapReader reader(
      dir.write("m.tsv", binnedMapHead({400, 400.5}) + "0.50\t600.62\t0.0\t\n\n1.50\t0.0\t1.00\t\n"));
  std::string error;
  ASSERT_TRUE(reader.readHead(error)) << error;
  EXPECT_EQ(reader.binLows(), (std::vector<double>{400, 400.5}));
  double time = 0;
  std::vector<std::string_view> bins;
  ASSERT_TRUE(reader.nextRow(time, bins, error));
  EXPECT_EQ(time, 0.5);
  EXPECT_EQ(bins, (std::vector<std::string_view>{"600.62", "0.0"}));
  ASSERT_TRUE(reader.nextRow(time, bins, error));
  EXPECT_FALSE(reader.nextRow(time, bins, error));
  EXPECT_EQ(error, "");

  BinnedMapReader shortRow(dir.write("s.tsv", binnedMapHead({1, 2}) + "0.50\t1.00\t\n"));
  ASSERT_TRUE(shortRow.readHead(error));
  EXPECT_FALSE(shortRow.nextRow(time, bins, error));
  EXPECT_NE(error.find("line 2:"), std::string::npos) << error;
  BinnedMapReader noHead(dir.write("h.tsv", "x\t1\t\n"));
  EXPECT_FALSE(noHead.readHead(error));
}

TEST(CohortTables, HeadsAndTheOneRowRule) {
  EXPECT_EQ(cohortHead(featureTableColumns(), {"a", "b"}), "feature_id\tmz\trt\tn_samples\ta\tb\n");
  EXPECT_EQ(cohortHead(rtCorrectionColumns()), "sample\trt\trt_corrected\n");
  TempDir dir;
  TextTable table;
  std::string error;
  ASSERT_TRUE(readTextTable(dir.write("t.tsv", "x\ty\n1\t\n\n3\t4\n"), table, error)) << error;
  EXPECT_TRUE(table.present);
  EXPECT_EQ(table.rows, (std::vector<std::vector<std::string>>{{"1", ""}, {"3", "4"}}));
  EXPECT_FALSE(readTextTable(dir.write("u.tsv", "x\ty\n1\n"), table, error));
  EXPECT_NE(error.find("line 2:"), std::string::npos) << error;
  ASSERT_TRUE(readTextTable(dir.file("absent.tsv"), table, error));
  EXPECT_FALSE(table.present);
}

TEST(TargetTable, WrittenLinesReadBackAndBadLinesAreNamed) {
  TempDir dir;
  std::vector<TargetWindowRow> rows;
  std::string error;
  const std::string good = "# gap filling\n" + targetWindowLine(118.0863, 1.25, 1.5) + "\n" +
                           targetWindowLine(120.5, 2, 2.2, 1.9, 2.45) + "121\t3\t4\tnamed\t2.5\t4.5\n";
  ASSERT_EQ(readTargetWindowTable(dir.write("t.tsv", good), rows, error), 1) << error;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].mz, 118.0863);
  EXPECT_EQ(rows[0].rtHigh, 1.5);
  EXPECT_FALSE(rows[0].hasFillSpan);
  EXPECT_TRUE(rows[1].hasFillSpan);
  EXPECT_EQ(rows[1].name, "");
  EXPECT_EQ(rows[1].fillLow, 1.9);
  EXPECT_EQ(rows[1].fillHigh, 2.45);
  EXPECT_EQ(rows[2].name, "named");
  rows.clear();
  for (const char* bad : {"0x76\t1\t2\n", "100\t2\t1\n", "-5\t1\t2\n", "100\t1\n", "100\t1\t2\t\t3\n",
                          "100\t1\t2\t\t3\t2\n", "100\t1\t2\tn\t1\tx\n", "100\t1\t2\t\n"}) {
    EXPECT_EQ(readTargetWindowTable(dir.write("b.tsv", std::string("1\t1\t2\n") + bad), rows, error), -1)
        << bad;
    EXPECT_NE(error.find("line 2 "), std::string::npos) << error;
  }
  EXPECT_EQ(readTargetWindowTable(dir.file("absent.tsv"), rows, error), 0);
  EXPECT_EQ(rows.size(), 0u);
}
