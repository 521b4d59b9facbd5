// The built executable: standard output and exit status of the command line's
// early exits.
#include <gtest/gtest.h>

#include "driver/run_sequence.h"
#include "tests/test_support.h"

using testsupport::runTorva;

TEST(DriverProcess, NoArgumentsPrintsUsage) {
  const auto result = runTorva({});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, usageText());
}

TEST(DriverProcess, UsageTextLines) {
  const std::string usage = usageText();
  EXPECT_EQ(usage.rfind("TORVA: ", 0), 0u);
  EXPECT_NE(usage.find(" 1.1 (18-Nov-11) \n"), std::string::npos);
  EXPECT_NE(usage.find("\nUsage:TORVA <-i source_file> [-o trans_file] [-m map_file] [-s summary_file] \n"),
            std::string::npos);
  EXPECT_NE(usage.find("       \t[-C ]   'cutoff' intensity cutoff for peak detection (10,000)\n"),
            std::string::npos);
  const std::string last =
      "./TORVA  -i /home/guest/raw_data/example.mzXML -s /home/guest/output/example.txt -c -l -d \n";
  EXPECT_EQ(usage.substr(usage.size() - last.size()), last);
}

TEST(DriverProcess, HelpAndOptionErrorsPrintUsage) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"-h", "-i", "x"}, {"-z"}, {"-i"}}) {
    const auto result = runTorva(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, usageText());
  }
}

TEST(DriverProcess, MissingInputOption) {
  const auto result = runTorva({"-s", "summary.tsv", "-C", "5"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Please enter input file (-i).\n");
}

TEST(DriverProcess, UnreadableInputPath) {
  const auto result = runTorva({"-i", "/nonexistent/run.mzXML"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "\n" + std::string(bannerText()) + "\n\nsource: /nonexistent/run.mzXML\ndest: \n" +
                            "Cannot read mzXML file\n");
}

TEST(DriverProcess, SummaryPathShownAsDest) {
  const auto result = runTorva({"-i", "/nonexistent", "-s", "/tmp/s.tsv"});
  EXPECT_EQ(result.status, 255);
  EXPECT_NE(result.out.find("source: /nonexistent\ndest: /tmp/s.tsv\n"), std::string::npos);
}
