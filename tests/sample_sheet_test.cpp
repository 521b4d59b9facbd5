// The sample sheet with the study design's columns: defaults when they are absent, and the
// line-numbered refusal of every malformed value.
#include "report/sample_sheet.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

using testsupport::TempDir;

TEST(SampleSheet, AbsentDesignColumnsMeanSamplesInSheetOrderInOneBatch) {
  TempDir dir;
  std::vector<CohortSample> samples;
  std::string error;
  ASSERT_TRUE(readCohortSheet(dir.write("s.tsv", "sample\tfile\tgroup\na\ta.mzXML\tx\nb\tb.mzXML\ty\n"),
                              samples, error))
      << error;
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[1].name, "b");
  EXPECT_EQ(samples[1].group, "y");
  EXPECT_EQ(samples[1].type, InjectionType::Sample);
  EXPECT_EQ(samples[1].order, 2);
  EXPECT_EQ(samples[1].batch, "1");
}

TEST(SampleSheet, ReadsTypeInAnyCaseOrderAndBatchInAnyColumnOrder) {
  TempDir dir;
  std::vector<CohortSample> samples;
  std::string error;
  ASSERT_TRUE(readCohortSheet(dir.write("s.tsv",
                                        "batch\torder\ttype\tsample\tfile\r\n"
                                        "B2\t7\tQC\tq\tq.mzML\r\n"
                                        "B1\t3\tblank\tk\tk.mzML\r\n"
                                        "B1\t4\tStandard\tm\tm.mzML\r\n"),
                              samples, error))
      << error;
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].type, InjectionType::Qc);
  EXPECT_EQ(samples[0].order, 7);
  EXPECT_EQ(samples[0].batch, "B2");
  EXPECT_EQ(samples[1].type, InjectionType::Blank);
  EXPECT_EQ(samples[2].type, InjectionType::Standard);
  EXPECT_EQ(samples[2].group, "");
}

TEST(SampleSheet, RefusesMalformedValuesNamingTheLine) {
  const struct {
    const char* sheet;
    const char* message;
  } cases[] = {
      {"sample\tfile\ttype\na\ta\tsample\nb\tb\tpool\n", "line 3: type 'pool' is not one of"},
      {"sample\tfile\ttype\na\ta\t\n", "line 2: type '' is not one of"},
      {"sample\tfile\torder\na\ta\t0\n", "line 2: order '0' is not a whole number"},
      {"sample\tfile\torder\na\ta\t2.5\n", "line 2: order '2.5' is not a whole number"},
      {"sample\tfile\torder\na\ta\t-1\n", "line 2: order '-1' is not a whole number"},
      {"sample\tfile\torder\na\ta\t4\n\nb\tb\t4\n", "line 4: order 4 is already given on line 2"},
      {"sample\tfile\tbatch\na\ta\t1\nb\tb\t\n", "line 3: empty batch"},
      {"sample\tfile\na\ta\na\tb\n", "line 3: sample 'a' named twice"},
      {"sample\tgroup\na\tx\n", "needs a header line with columns 'sample' and 'file'"},
      {"sample\tfile\n", "lists no sample"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::vector<CohortSample> samples;
    std::string error;
    EXPECT_FALSE(readCohortSheet(dir.write("s.tsv", c.sheet), samples, error)) << c.sheet;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}
