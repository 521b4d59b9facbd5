#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

using testsupport::lines;
using testsupport::readFile;
using testsupport::spectrum;
using testsupport::TempDir;

// Fields of a tab-terminated line; the empty text after the last tab is dropped.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    result.push_back(line.substr(start, tab - start));
  }
  EXPECT_EQ(start, line.size()) << "line does not end with a tab";
  return result;
}

std::string writeMap(fileHandle& run) {
  TempDir dir;
  const std::string path = dir.file("map.tsv");
  EXPECT_TRUE(run.exportMap(path.c_str()));
  return readFile(path);
}

}  // namespace

TEST(BinnedMap, HeadLineListsLowerEdges) {
  fileHandle run;
  const std::string text = writeMap(run);
  ASSERT_EQ(lines(text).size(), 1u);
  const std::vector<std::string> head = fields(lines(text)[0]);
  ASSERT_EQ(head.size(), 501u);
  EXPECT_EQ(head[0], "");
  EXPECT_EQ(head[1], "400");
  EXPECT_EQ(head[2], "401");
  EXPECT_EQ(head[500], "899");
}

TEST(BinnedMap, BinEdgesAreOpenBelowAndClosedAbove) {
  fileHandle run;
  run.scans.push_back(spectrum(0, 83.456, 0,
                               {{399.5, 1},
                                {400.0, 2},
                                {401.0, 4},
                                {450.2, 8.25},
                                {450.9, 16},
                                {451.0, 0.5},
                                {700.5, -3},
                                {700.7, 3},
                                {900.0, 32},
                                {900.01, 64}}));
  const std::vector<std::string> row = fields(lines(writeMap(run))[1]);
  ASSERT_EQ(row.size(), 501u);
  EXPECT_EQ(row[0], "83.46");
  EXPECT_EQ(row[1], "4.00");    // (400, 401]: 401.0 only; 400.0 is in no bin
  EXPECT_EQ(row[51], "24.75");  // (450, 451]: two peaks summed, 451.0 included
  EXPECT_EQ(row[52], "0.0");
  EXPECT_EQ(row[301], "0.00");   // occupied, summing to zero
  EXPECT_EQ(row[500], "32.00");  // (899, 900]: 900.0; 900.01 is ignored
  int occupied = 0;
  for (std::size_t b = 1; b < row.size(); ++b) occupied += row[b] != "0.0";
  EXPECT_EQ(occupied, 4);
}

TEST(BinnedMap, SpectrumWithoutPeaksGivesEmptyCells) {
  fileHandle run;
  run.scans.push_back(spectrum(0, 12.345, 0, {}));
  run.scans.push_back(spectrum(0, 13.0, 0, {{500.5, 7}}));
  const std::vector<std::string> rows = lines(writeMap(run));
  ASSERT_EQ(rows.size(), 3u);
  std::string expected = "12.35\t";  // held unit, not minutes
  for (int b = 0; b < 500; ++b) expected += "0.0\t";
  EXPECT_EQ(rows[1], expected);
  EXPECT_EQ(fields(rows[2])[101], "7.00");
}

TEST(BinnedMap, UnwritableFileReportsFailure) {
  fileHandle run;
  run.scans.push_back(spectrum(0, 1, 0, {{450.5, 1}}));
  TempDir dir;
  for (const std::string& path : {dir.file("missing/map.tsv"), std::string("/dev/full")}) {
    testsupport::ConsoleCapture capture;
    EXPECT_FALSE(run.exportMap(path.c_str()));
    EXPECT_EQ(capture.takeOut(), "");
    const std::string err = capture.takeErr();
    EXPECT_NE(err.find("cannot write report file '" + path + "'"), std::string::npos) << err;
  }
}
