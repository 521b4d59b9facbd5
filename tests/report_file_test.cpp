#include "report/report_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

using testsupport::ConsoleCapture;
using testsupport::TempDir;

TEST(ReportFile, WritesEveryByteAndClosesOnceOrOnDestruction) {
  TempDir dir;
  const std::string path = dir.file("r.tsv");
  {
    ReportFile report(path.c_str());
    ASSERT_TRUE(report.isOpen());
    report.write("a\t");
    report.endLine("b\n");
    EXPECT_EQ(testsupport::readFile(path), "a\tb\n");  // a finished line is on disk at once
    report.write("c");
    EXPECT_TRUE(report.close());
    EXPECT_TRUE(report.close());
  }
  EXPECT_EQ(testsupport::readFile(path), "a\tb\nc");
  {
    ReportFile report(path.c_str());  // truncates; closed by the destructor
    report.write("d\n");
  }
  EXPECT_EQ(testsupport::readFile(path), "d\n");
}

TEST(ReportFile, FailureIsReportedOnceWithFileAndReason) {
  TempDir dir;
  struct Case {
    std::string path;
    bool opens;
    const char* reason;
  };
  const Case cases[] = {{dir.file("missing/r.tsv"), false, "No such file or directory"},
                        {"/dev/full", true, "No space left on device"}};
  for (const Case& c : cases) {
    ConsoleCapture capture;
    ReportFile report(c.path.c_str());
    EXPECT_EQ(report.isOpen(), c.opens) << c.path;
    report.endLine("line\n");
    report.endLine("more\n");
    EXPECT_FALSE(report.close());
    EXPECT_FALSE(report.close());
    EXPECT_EQ(capture.takeErr(), "torva: cannot write report file '" + c.path + "': " + c.reason + "\n");
    EXPECT_EQ(capture.takeOut(), "");
  }
}
