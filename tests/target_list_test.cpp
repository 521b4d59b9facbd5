#include <gtest/gtest.h>

#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

std::vector<std::string> tokens(const std::string& text, const std::string& delimiters) {
  std::vector<std::string> out;
  fileHandle::Tokenize(text, out, delimiters);
  return out;
}

std::vector<double> targetMasses(const fileHandle& run) {
  std::vector<double> masses;
  for (const datapeak& p : run.targetPeaks) masses.push_back(p.mz);
  return masses;
}

}  // namespace

TEST(Tokenize, DropsEmptyTokens) {
  EXPECT_EQ(tokens("  a  b ", " "), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(tokens("", " ").empty());
  EXPECT_TRUE(tokens(",,\n,", ",\n").empty());
  EXPECT_EQ(tokens("a\tb c", " "), (std::vector<std::string>{"a\tb", "c"}));
  EXPECT_EQ(tokens("abc", ""), (std::vector<std::string>{"abc"}));
}

TEST(Tokenize, AppendsWithoutClearing) {
  std::vector<std::string> out{"x"};
  fileHandle::Tokenize("y", out, " ");
  EXPECT_EQ(out, (std::vector<std::string>{"x", "y"}));
}

TEST(AddPeaks, PrintsListAndEachValue) {
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(run.addPeaks("301.1,455.2"), 1);
  EXPECT_EQ(capture.takeOut(), "Peaks: 301.1,455.2\n301.1\n455.2\n");
  EXPECT_EQ(targetMasses(run), (std::vector<double>{301.1, 455.2}));
  EXPECT_EQ(run.targetPeaks[0].intensity, 0);
  EXPECT_FALSE(run.targetPeaks[0].isotope);
}

TEST(AddPeaks, EmptyFieldsAndNonNumbers) {
  fileHandle run;
  testsupport::ConsoleCapture capture;
  run.addPeaks(",,301.1,,");
  run.addPeaks("abc,301.1,301.1");
  EXPECT_EQ(targetMasses(run), (std::vector<double>{301.1, 0, 301.1, 301.1}));
}

TEST(ImportPeaks, LinesJoinedWithCommas) {
  testsupport::TempDir dir;
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(run.importPeaks(dir.write("t.txt", "301.1\n455.2\n").c_str()), 1);
  EXPECT_EQ(capture.takeOut(), "Peaks: 301.1,455.2,,\n301.1\n455.2\n");
  EXPECT_EQ(targetMasses(run), (std::vector<double>{301.1, 455.2}));
}

TEST(ImportPeaks, CrLfAndMissingFinalLineFeed) {
  testsupport::TempDir dir;
  fileHandle run;
  testsupport::ConsoleCapture capture;
  run.importPeaks(dir.write("crlf.txt", "301.1\r\n455.2\r\n").c_str());
  run.importPeaks(dir.write("oneline.txt", "100.5, 200.25").c_str());
  const std::string out = capture.takeOut();
  EXPECT_EQ(targetMasses(run), (std::vector<double>{301.1, 455.2, 100.5, 200.25}));
  EXPECT_NE(out.find("Peaks: 100.5, 200.25,\n"), std::string::npos);
}

TEST(ImportPeaks, RejectedFirstLines) {
  testsupport::TempDir dir;
  fileHandle run;
  run.addPeaks("1.5");
  for (const std::string& content : {std::string("\n301.1\n"),
                                     std::string("\xEF\xBB\xBF"
                                                 "301.1\n"),
                                     std::string("\x01"
                                                 "301.1\n"),
                                     std::string()}) {
    testsupport::ConsoleCapture capture;
    EXPECT_EQ(run.importPeaks(dir.write("bad.txt", content).c_str()), -1);
    EXPECT_EQ(capture.takeOut(), "BAD FILE\n");
  }
  EXPECT_EQ(targetMasses(run), (std::vector<double>{1.5}));
}

TEST(ImportPeaks, LongLineReadWhole) {
  testsupport::TempDir dir;
  std::string line;
  for (int i = 0; i < 20000; ++i) line += std::to_string(100 + i) + ".5,";
  fileHandle run;
  testsupport::ConsoleCapture capture;
  run.importPeaks(dir.write("long.txt", line + "\n").c_str());
  ASSERT_EQ(run.targetPeaks.size(), 20000u);
  EXPECT_EQ(run.targetPeaks.back().mz, 20099.5);
}

TEST(ImportPeaks, UnopenableFileAddsEmptyList) {
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(run.importPeaks("/nonexistent/targets.txt"), 0);
  EXPECT_EQ(capture.takeOut(), "Peaks: \n");
  EXPECT_TRUE(run.targetPeaks.empty());
}

TEST(ImportPeaks, FolderIsRejected) {
  testsupport::TempDir dir;
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(run.importPeaks(dir.path().c_str()), -1);
  EXPECT_EQ(capture.takeOut(), "BAD FILE\n");
}
