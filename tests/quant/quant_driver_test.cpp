// torva's targeted quantitation options, run as a user would: refusals before
// any work, a rejected list named with its line, and a run asking only for it.
#include <gtest/gtest.h>

#include "report/quant_table.h"
#include "tests/test_support.h"

using testsupport::runTorva;
using testsupport::TempDir;

namespace {

const std::string kList =
    "compound\tprecursor_mz\trt\trt_window\trole\n"
    "c1\t990.698\t0.39\t0.3\tquantifier\n"
    "c1\t991.702\t0.39\t0.3\tqualifier\n"
    "nothing\t512.3456\t\t\tquantifier\n";

std::string example() { return std::string(TORVA_SOURCE_DIR) + "/examples/example.mzXML"; }

}  // namespace

TEST(QuantDriver, RefusesIncompleteOrClashingOptionsBeforeReading) {
  TempDir dir;
  const std::string list = dir.write("targets.tsv", kList);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--quant", list}, "--quant needs --quant-out"},
      {{"--quant-out", dir.file("q.tsv")}, "--quant-out needs --quant"},
      {{"--quant", list, "--quant-out", dir.file("q.tsv"), "--quant-traces", dir.file("q.tsv")}, "same file"},
      {{"--quant", list, "--quant-out", list}, "would overwrite the --quant file"},
      {{"--quant", list, "--quant-out", dir.file("none/q.tsv")}, "cannot write the report"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", example()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testsupport::ProcessResult result = runTorva(args);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

TEST(QuantDriver, ARejectedListIsNamedWithItsLineAndFailsTheRun) {
  TempDir dir;
  const std::string list = dir.write("targets.tsv", "compound\tprecursor_mz\nc1\tabc\n");
  const testsupport::ProcessResult result =
      runTorva({"-i", example(), "--quant", list, "--quant-out", dir.file("q.tsv")});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("targets.tsv:2: precursor_mz 'abc' is not a number"), std::string::npos)
      << result.err;
}

TEST(QuantDriver, AQuantOnlyRunListsEveryTransitionInListOrder) {
  TempDir dir;
  const std::string list = dir.write("targets.tsv", kList);
  const testsupport::ProcessResult result =
      runTorva({"-i", example(), "--ppm", "10", "--quant", list, "--quant-out", dir.file("q.tsv"),
                "--quant-traces", dir.file("t.tsv")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err.find("no report requested"), std::string::npos);
  const std::vector<TargetResult> rows = readQuantTable(dir.file("q.tsv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].status, TargetStatus::Found);
  EXPECT_NEAR(rows[0].rt, 0.39, 0.02);
  EXPECT_EQ(rows[1].status, TargetStatus::Found);
  EXPECT_GT(rows[1].ionRatio, 0.2);
  EXPECT_LT(rows[1].ionRatio, 1.0);
  EXPECT_EQ(rows[2].compound, "nothing");
  EXPECT_EQ(rows[2].status, TargetStatus::NotFound);
  EXPECT_EQ(readQuantTraces(dir.file("t.tsv")).size(), 3u);
}
