// Cohort alignment: grouping, retention-time correction, and torva-align's
// tables and gap filling on small hand-made cohorts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "align/cohort_input.h"
#include "align/grouping.h"
#include "align/rt_correction.h"
#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

GroupMember member(double mz, double rt, double area, std::size_t sample) {
  return GroupMember{mz, rt, area, sample, 0};
}

// Groups as "sample:area" lists, for comparison.
std::vector<std::vector<std::string>> shape(const std::vector<std::vector<GroupMember>>& groups) {
  std::vector<std::vector<std::string>> out;
  for (const auto& group : groups) {
    out.emplace_back();
    for (const GroupMember& m : group)
      out.back().push_back(std::to_string(m.sample) + ":" + std::to_string(int(m.area)));
  }
  return out;
}

}  // namespace

TEST(Grouping, SplitsByMassThenTimeKeepingOneFeaturePerSample) {
  const MassTolerance tenPpm{10, 0};
  std::size_t setAside = 0;
  const auto groups = groupMembers(
      {
          member(300.0000, 5.00, 1, 0),
          member(300.0020, 5.05, 2, 1),  // 6.7 ppm apart: one compound
          member(300.0060, 5.02, 3, 2),  // 13 ppm from its neighbour: another
          member(300.0000, 5.30, 4, 1),  // same mass, 0.25 min later
          member(500.0000, 2.00, 5, 0),
          member(500.0001, 2.01, 9, 0),  // sample 0 twice: the larger stays
          member(500.0002, 2.02, 7, 1),
      },
      tenPpm, 0.1, &setAside);
  EXPECT_EQ(shape(groups),
            (std::vector<std::vector<std::string>>{{"0:1", "1:2"}, {"1:4"}, {"2:3"}, {"0:9", "1:7"}}));
  EXPECT_EQ(setAside, 1u);
  EXPECT_EQ((MassTolerance{10, 0.01}).at(500), 0.01);  // the larger tolerance counts
}

TEST(RtCorrection, RecoversShiftAndWaveMonotoneAndInvertible) {
  // A sample running 0.1 min late with a wave of 0.04 min over a 30-minute run.
  const auto drift = [](double t) { return 0.1 + 0.04 * std::sin(2 * M_PI * t / 30.0); };
  std::vector<std::pair<double, double>> anchors;
  for (int i = 0; i < 300; ++i) {
    const double cohort = 1.0 + 28.0 * i / 299.0;
    anchors.emplace_back(cohort + drift(cohort), cohort);
  }
  anchors.emplace_back(10.0, 14.0);  // one mismatched anchor changes nothing
  const RtCorrection c = fitRtCorrection(anchors, 0.0, 30.0, 0.1);
  for (double t = 1.5; t < 28.5; t += 0.25) EXPECT_NEAR(c.apply(t + drift(t)), t, 0.01) << t;
  for (std::size_t g = 1; g < c.corrected().size(); ++g) EXPECT_GE(c.corrected()[g], c.corrected()[g - 1]);
  for (double t : {-1.0, 0.0, 7.3, 29.9, 35.0}) EXPECT_NEAR(c.invert(c.apply(t)), t, 1e-9) << t;
  const RtCorrection identity = fitRtCorrection({}, 0.0, 5.0, 0.5);
  EXPECT_EQ(identity.apply(3.21), 3.21);
  EXPECT_EQ(identity.measured().size(), 11u);
}

// Three samples, the third 0.2 min late: the same compounds line up after
// correction; the gap of sample c is filled from its gap-filling report.
TEST(TorvaAlign, TablesTargetsAndFilling) {
  TempDir dir;
  const std::string head = "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n";
  const auto line = [](const char* mz, double rt, const char* area,
                       const char* channel = "0.0[100.0000-1000.0000]") {
    return std::string(mz) + "\t" + std::to_string(rt) + "\t" + area + "\t1\t1\t2\t" + channel + "\n";
  };
  const auto summary = [&](double late, bool withLast) {
    std::string text = head;
    for (int k = 0; k < 8; ++k) {
      text += line(std::to_string(200.0 + 50 * k).c_str(), 2.0 + 2 * k + late, "1000.50000");
    }
    text += line("301.00000", 4.0, "5.0", "301.0@35.0[100.0000-400.0000]");  // MS2 channel: ignored
    if (withLast) text += line("777.77700", 9.0 + late, "42.00000");
    return text;
  };
  dir.write("sheet.tsv", "sample\tfile\tgroup\na\ta.mzXML\tx\nb\tb.mzXML\tx\nc\tc.mzXML\ty\n");
  ::mkdir(dir.file("s").c_str(), 0777);
  dir.write("s/a.tsv", summary(0, true));
  dir.write("s/b.tsv", summary(0, true));
  dir.write("s/c.tsv", summary(0.2, false));
  const std::vector<std::string> common = {"--sheet", dir.file("sheet.tsv"), "--summaries", dir.file("s")};
  const auto align = [&](std::vector<std::string> extra, const std::string& out) {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--out", dir.file(out)});
    args.insert(args.end(), extra.begin(), extra.end());
    return testsupport::runProgram(TORVA_ALIGN, args);
  };
  ProcessResult result = align({}, "first");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string features = testsupport::readFile(dir.file("first/features.tsv"));
  EXPECT_EQ(features.substr(0, features.find('\n', features.find('\n') + 1) + 1),
            "feature_id\tmz\trt\tn_samples\ta\tb\tc\nF0001\t200.00000\t2.0000\t3\t1000.50000\t1000."
            "50000\t1000.50000\n");
  EXPECT_NE(features.find("\nF0008\t550.00000\t16.0000\t3\t"), std::string::npos);
  EXPECT_NE(features.find("\nF0009\t777.77700\t9.0000\t2\t42.00000\t42.00000\t\n"), std::string::npos);
  EXPECT_EQ(features.find("F0010"), std::string::npos);
  EXPECT_NE(
      testsupport::readFile(dir.file("first/feature_rt.tsv")).find("\nF0001\t2.00000\t2.00000\t2.20000\n"),
      std::string::npos);
  EXPECT_EQ(testsupport::readFile(dir.file("first/samples.tsv")),
            "sample\tfile\tgroup\na\ta.mzXML\tx\nb\tb.mzXML\tx\nc\tc.mzXML\ty\n");
  EXPECT_EQ(testsupport::readFile(dir.file("first/targets/a.tsv")), "");
  // Sample c's window for the compound at 9.0 lies 0.2 min later in its own time.
  EXPECT_EQ(testsupport::readFile(dir.file("first/targets/c.tsv")), "777.777000\t9.1000\t9.3000\n");
  EXPECT_EQ(align({}, "second").status, 0);
  EXPECT_EQ(testsupport::readFile(dir.file("second/features.tsv")), features);

  ::mkdir(dir.file("f").c_str(), 0777);
  dir.write("f/a.tsv", head);
  dir.write("f/b.tsv", head);
  dir.write("f/c.tsv", head + line("777.77500", 9.5, "9.9") + line("777.77690", 9.21, "7.00000"));
  result = align({"--filled", dir.file("f")}, "final");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(testsupport::readFile(dir.file("final/features.tsv"))
                .find("\nF0009\t777.77700\t9.0000\t2\t42.00000\t42.00000\t7.00000\n"),
            std::string::npos);
  EXPECT_NE(testsupport::readFile(dir.file("final/gap_filled.tsv")).find("\nF0009\t0\t0\t1\n"),
            std::string::npos);
  const std::string correction = testsupport::readFile(dir.file("final/rt_correction.tsv"));
  EXPECT_EQ(correction.rfind("sample\trt\trt_corrected\na\t0.0000\t0.0000\n", 0), 0u);
  EXPECT_NE(correction.find("\nc\t5.0000\t4.8000\n"), std::string::npos);

  dir.write("bad.tsv", "name\tfile\nx\ty\n");
  result = testsupport::runProgram(
      TORVA_ALIGN, {"--sheet", dir.file("bad.tsv"), "--summaries", dir.file("s"), "--out", dir.file("bad")});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("'sample' and 'file'"), std::string::npos);
}

// Sample names become file names in the output folder (targets/NAME.tsv) and
// are read as NAME.tsv from the summaries folder: a name that would reach
// outside them is refused before anything is read or written.
TEST(TorvaAlign, SampleNamesThatCannotBeFileNamesAreRefused) {
  TempDir dir;
  const std::string victim = dir.write("victim.tsv", "keep me\n");
  struct Case {
    std::string name;
    const char* reason;
  };
  const Case cases[] = {{"../victim", "it contains '/'"},
                        {"..", "it contains '..'"},
                        {"a\x01"
                         "b",
                         "it contains a control character"},
                        {"sub/dir", "it contains '/'"}};
  for (const Case& c : cases) {
    dir.write("sheet.tsv", "sample\tfile\n" + c.name + "\tx.mzML\n");
    const auto result = testsupport::runProgram(TORVA_ALIGN, {"--sheet", dir.file("sheet.tsv"), "--summaries",
                                                              dir.file("s"), "--out", dir.file("out")});
    EXPECT_EQ(result.status, 2) << c.name;
    EXPECT_NE(result.err.find("line 2: sample name"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/targets")));
  }
  EXPECT_EQ(testsupport::readFile(victim), "keep me\n");
  EXPECT_EQ(sampleNameProblem("sample_01.b+c-d"), "");
}

// A bad value is named with its option, however the two were given.
TEST(TorvaAlign, BadValueNamesItsOption) {
  const std::vector<std::string> base = {"--sheet", "s.tsv", "--summaries", "s", "--out", "o"};
  struct Case {
    std::vector<std::string> given;
    const char* message;
  };
  const Case cases[] = {
      {{"--max-drift", "abc"}, "torva-align: bad value 'abc' for --max-drift; see torva-align --help\n"},
      {{"--max-drift=abc"}, "torva-align: bad value 'abc' for --max-drift; see torva-align --help\n"},
      {{"--grid", "0"}, "torva-align: bad value '0' for --grid; see torva-align --help\n"},
      {{"--anchor-fraction", "1.5"},
       "torva-align: bad value '1.5' for --anchor-fraction; see torva-align --help\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = base;
    arguments.insert(arguments.end(), c.given.begin(), c.given.end());
    const auto result = testsupport::runProgram(TORVA_ALIGN, arguments);
    EXPECT_EQ(result.status, 2) << c.given[0];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.message);
  }
}
