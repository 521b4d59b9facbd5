// The target list of the targeted quantitation and the run and cohort tables:
// what is accepted, what is refused (with its line), and round trips.
#include "report/quant_targets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "report/quant_cohort_tables.h"
#include "report/quant_table.h"
#include "report/quant_text.h"
#include "tests/test_support.h"

using testsupport::TempDir;

namespace {

const std::string kHead =
    "compound\tprecursor_mz\tproduct_mz\trt\trt_window\trole\tinternal_standard\tpolarity\n";

}  // namespace

TEST(QuantTargets, ReadsEveryColumnInFileOrder) {
  TempDir dir;
  const std::string path =
      dir.write("t.tsv", kHead +
                             "caffeine\t195.0877\t138.0662\t2.5\t0.4\tquantifier\td9\t+\n"
                             "# a comment line\n"
                             "caffeine\t195.0877\t110.0713\t2.5\t0.4\tqualifier\t\tpositive\n"
                             "d9\t204.1442\t147.1\t2.49\t0.4\tinternal_standard\t\t\n");
  const std::vector<TargetTransition> list = readTargetList(path);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].label(), "195.0877>138.0662");
  EXPECT_EQ(list[0].internalStandard, "d9");
  EXPECT_DOUBLE_EQ(list[0].rt, 2.5);
  EXPECT_TRUE(list[0].windowed());
  EXPECT_EQ(list[1].role, TargetRole::Qualifier);
  EXPECT_EQ(list[1].polarity, '+');
  EXPECT_EQ(list[2].role, TargetRole::InternalStandard);
  EXPECT_EQ(list[2].polarity, 0);
  EXPECT_EQ(quantifierOf(list, "caffeine"), 0);
  EXPECT_EQ(quantifierOf(list, "d9"), 2);
}

TEST(QuantTargets, FullScanListNeedsOnlyCompoundAndMz) {
  TempDir dir;
  const std::vector<TargetTransition> list =
      readTargetList(dir.write("t.tsv", "precursor_mz\tcompound\n118.0863\tbetaine\n"));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_FALSE(list[0].hasProduct);
  EXPECT_FALSE(list[0].windowed());
  EXPECT_EQ(list[0].label(), "118.0863");
  EXPECT_EQ(list[0].role, TargetRole::Quantifier);
}

TEST(QuantTargets, RefusesMalformedListsNamingTheLine) {
  struct Case {
    const char* body;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"a\tabc\t\t\t\t\t\t\n", "t.tsv:2: precursor_mz 'abc' is not a number"},
      {"a\t-5\t\t\t\t\t\t\n", "t.tsv:2: precursor_mz must be above 0"},
      {"a\t100\t50\t\t0.5\t\t\t\n", "t.tsv:2: rt_window without rt"},
      {"a\t100\t50\t1\t0\t\t\t\n", "t.tsv:2: rt_window must be above 0"},
      {"a\t100\t50\t1\t1\tquant\t\t\n", "t.tsv:2: role 'quant'"},
      {"a\t100\t50\t1\t1\t\t\tboth\n", "t.tsv:2: polarity 'both'"},
      {"a\t100\t50\t\t\t\t\t\n\na\t100\t60\t\t\t\t\t\n",
       "t.tsv:4: compound 'a' has a second quantifier; the first is on line 2"},
      {"a\t100\t50\t\t\tqualifier\t\t\n", "t.tsv:2: qualifier of 'a', which has no quantifier"},
      {"a\t100\t50\t\t\t\tis\t\n", "t.tsv:2: internal standard 'is' is not a compound"},
      {"is\t100\t50\t\t\t\t\t\na\t110\t50\t\t\t\tis\t\n", "t.tsv:3: internal standard 'is'"},
      {"\t100\t50\t\t\t\t\t\n", "t.tsv:2: no compound name"},
      {"a\t100\t50\t\t\t\t\t\textra\n", "t.tsv:2: more fields than the header's 8"},
      {"", "no transition after the header"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.write("t.tsv", kHead + c.body);
    try {
      readTargetList(path);
      ADD_FAILURE() << "accepted: " << c.body;
    } catch (const TableError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
    }
  }
  TempDir dir;
  EXPECT_THROW(readTargetList(dir.write("t.tsv", "name\tmz\nA\t100\n")), TableError);
  EXPECT_THROW(readTargetList(dir.file("missing.tsv")), TableError);
}

TEST(QuantTable, RoundTripsEveryColumn) {
  TargetResult found;
  found.compound = "caffeine";
  found.transition = "195.0877>138.0662";
  found.role = "qualifier";
  found.status = TargetStatus::Found;
  found.rt = 2.51234;
  found.rtStart = 2.4;
  found.rtEnd = 2.6;
  found.area = 123456.78901;
  found.height = 9876.5;
  found.noise = 12.25;
  found.signalToNoise = std::numeric_limits<double>::infinity();
  found.ionRatio = 0.5;
  found.channel = "195.1@20.00[137.5-138.5]";
  TargetResult missing;
  missing.compound = "absent";
  missing.transition = "300";
  missing.role = "quantifier";
  missing.ionRatio = std::nan("");
  TempDir dir;
  std::string error;
  ASSERT_TRUE(writeQuantTable(dir.file("q.tsv"), {found, missing}, error)) << error;
  const std::vector<TargetResult> back = readQuantTable(dir.file("q.tsv"));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].status, TargetStatus::Found);
  EXPECT_DOUBLE_EQ(back[0].area, 123456.78901);
  EXPECT_TRUE(std::isinf(back[0].signalToNoise));
  EXPECT_DOUBLE_EQ(back[0].ionRatio, 0.5);
  EXPECT_EQ(back[0].channel, found.channel);
  EXPECT_EQ(back[1].status, TargetStatus::NoChannel);
  EXPECT_TRUE(std::isnan(back[1].ionRatio));
  // Written again, the table is the same bytes.
  EXPECT_EQ(quantTableText(back), testsupport::readFile(dir.file("q.tsv")));
}

TEST(QuantTable, RefusesRowsItCannotRead) {
  TempDir dir;
  const std::string head = quantTableText({});
  const std::string good = "a\t1\tquantifier\tfound\t1\t1\t1\t5\t1\t1\t1\t\t\n";
  EXPECT_NO_THROW(readQuantTable(dir.write("ok.tsv", head + good)));
  try {
    readQuantTable(dir.write("bad.tsv", head + good + "a\t1\tquantifier\tmaybe\t1\t1\t1\t5\t1\t1\t1\t\t\n"));
    ADD_FAILURE();
  } catch (const TableError& e) {
    EXPECT_NE(std::string(e.what()).find("bad.tsv:3: status 'maybe'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(readQuantTable(dir.write("short.tsv", head + "a\t1\n")), TableError);
  EXPECT_THROW(readQuantTable(dir.write("head.tsv", "compound\tarea\n")), TableError);
}

TEST(QuantTable, TracesRoundTripAndRefuseUnequalLists) {
  TargetTrace trace{"a", "100>50", {0.5, 0.51, 0.52}, {0, 1500.5, 20}};
  TempDir dir;
  std::string error;
  ASSERT_TRUE(writeQuantTraces(dir.file("t.tsv"), {trace}, error));
  const std::vector<TargetTrace> back = readQuantTraces(dir.file("t.tsv"));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].times, trace.times);
  EXPECT_EQ(back[0].intensities, trace.intensities);
  EXPECT_THROW(
      readQuantTraces(dir.write("u.tsv", "compound\ttransition\ttimes\tintensities\na\tb\t1,2\t3\n")),
      TableError);
}

TEST(QuantText, AtomicWriteLeavesTheOldFileWhenItCannotWrite) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(writeWholeFile(dir.file("no/such/folder/x.tsv"), "x\n", error));
  EXPECT_NE(error.find("no/such/folder/x.tsv"), std::string::npos);
  ASSERT_TRUE(writeWholeFile(dir.file("x.tsv"), "new\n", error));
  EXPECT_EQ(testsupport::readFile(dir.file("x.tsv")), "new\n");
}

TEST(QuantSheet, ReadsTypesAndConcentrationsFromSheetAndFile) {
  TempDir dir;
  const std::string sheet = dir.write("s.tsv",
                                      "sample\tfile\ttype\tcaffeine\tother\n"
                                      "std_1\ta.mzML\tstandard\t1.5\tx\n"
                                      "u_1\tb.mzML\tsample\t\t\n"
                                      "q_1\tc.mzML\tqc\t\t\n");
  std::vector<QuantSample> samples = readQuantSheet(sheet, {"caffeine"});
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_DOUBLE_EQ(samples[0].concentrations.at("caffeine"), 1.5);
  EXPECT_TRUE(samples[1].concentrations.empty());
  readConcentrations(dir.write("c.tsv", "sample\tcompound\tconcentration\nq_1\tcaffeine\t40\n"), {"caffeine"},
                     samples);
  EXPECT_DOUBLE_EQ(samples[2].concentrations.at("caffeine"), 40);

  EXPECT_THROW(readConcentrations(dir.write("d.tsv", "sample\tcompound\tconcentration\nzz\tcaffeine\t1\n"),
                                  {"caffeine"}, samples),
               TableError);
  EXPECT_THROW(readConcentrations(dir.write("e.tsv",
                                            "sample\tcompound\tconcentration\nq_1\tcaffeine\t1\n"
                                            "q_1\tcaffeine\t2\n"),
                                  {"caffeine"}, samples),
               TableError);
  EXPECT_THROW(readQuantSheet(dir.write("f.tsv", "sample\tfile\tcaffeine\na\tb\t-1\n"), {"caffeine"}),
               TableError);
  EXPECT_THROW(readQuantSheet(dir.write("g.tsv", "sample\tfile\na\tb\na\tc\n"), {}), TableError);
}
