// The built executable: standard output and exit status of the command line's
// early exits, and the long options, warnings and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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
  EXPECT_EQ(result.status, 2);  // nothing was done
  EXPECT_EQ(result.out, "Please enter input file (-i).\n");
}

TEST(DriverProcess, UnreadableInputPath) {
  const auto result = runTorva({"-i", "/nonexistent/run.mzXML"});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "\n" + std::string(bannerText()) + "\n\nsource: /nonexistent/run.mzXML\ndest: \n" +
                            "Cannot read mzXML file\n");
  EXPECT_NE(result.err.find("torva: cannot read input '/nonexistent/run.mzXML': No such file or directory\n"),
            std::string::npos)
      << result.err;
}

TEST(DriverProcess, SummaryPathShownAsDest) {
  const auto result = runTorva({"-i", "/nonexistent", "-s", "/tmp/s.tsv"});
  EXPECT_EQ(result.status, 255);
  EXPECT_NE(result.out.find("source: /nonexistent\ndest: /tmp/s.tsv\n"), std::string::npos);
}

// The command line a chemist types: long options, warnings, refusals and the
// progress display, on small simulated runs.
namespace {

using testsupport::ProcessResult;
using testsupport::readFile;
using testsupport::TempDir;

// A small full-scan run (MS1 with nested MS2 scans) in `dir`.
std::string smallRun(const TempDir& dir, const std::vector<std::string>& extra = {}) {
  const std::string path = dir.file("run.mzXML");
  std::vector<std::string> args = {"-o", path, "-n", "60", "-k", "60", "-c", "4", "-s", "3"};
  args.insert(args.end(), extra.begin(), extra.end());
  const ProcessResult made = testsupport::runProgram(testsupport::simulatorPath(), args);
  EXPECT_EQ(made.status, 0) << made.err;
  return path;
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

TEST(CommandLine, HelpAndVersion) {
  const ProcessResult help = runTorva({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, helpText());
  // Every option is listed, with a unit or default where it takes a value.
  for (const char* option : {"-i PATH",
                             "-s PATH",
                             "-o PATH",
                             "-m PATH",
                             "-p MZ",
                             "-P PATH",
                             "-C N",
                             "-M DA",
                             "--ppm X",
                             "-T MIN",
                             "-S ",
                             "-d ",
                             "-l ",
                             "-c ",
                             "-n ",
                             "--ms-level N",
                             "--map-range LOW:HIGH:WIDTH",
                             "--threads N",
                             "--quiet",
                             "--help",
                             "--version",
                             "(default 10000)",
                             "(default 0.5)",
                             "(default 400:900:1)"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const ProcessResult version = runTorva({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "TORVA 1.1 (18-Nov-11)\n");
  // The short -h keeps its usage text and status.
  EXPECT_EQ(runTorva({"-h"}).status, 1);
}

TEST(CommandLine, WarningsGoToStandardErrorAndTheRunGoesOn) {
  TempDir dir;
  const std::string run = smallRun(dir);
  const std::string table = dir.write("targets.csv", "mz,rt_min\n118.0863,2.5\n");
  const std::vector<std::string> summary = {"-i", run, "-s", dir.file("s.tsv")};
  const struct {
    std::vector<std::string> args;
    std::string warning;
  } cases[] = {
      {with(summary, {"-C", "1e5"}), "torva: warning: -C 1e5: read as 1\n"},
      {with(summary, {"-C", "4294977296"}), "torva: warning: -C 4294977296: read as 10000\n"},
      {with(summary, {"-M", "5ppm"}), "torva: warning: -M 5ppm: read as 5 daltons (for ppm use --ppm)\n"},
      {with(summary, {"-T", "x"}), "torva: warning: -T x: read as 0 minutes\n"},
      {with(summary, {"-p", "118.0863;138.0549"}),
       "torva: warning: -p: '118.0863;138.0549' is not a number: read as the mass 118.086; separate masses "
       "with "
       "commas\n"},
      {with(summary, {"-p", "118.0863,abc"}),
       "torva: warning: -p: 'abc' is not a number: read as the mass 0\n"},
      {with(summary, {"-P", table}), "torva: warning: target file '" + table +
                                         "' looks like a table: its first line 'mz,rt_min' is a header, and "
                                         "every field of every line is read as a mass\n"},
      {with(summary, {"summary.tsv"}),
       "torva: warning: extra argument 'summary.tsv' ignored (every value needs its option letter)\n"},
      {with(summary, {"-S", "-l"}),
       "torva: warning: -d and -l work on full-scan data only and are ignored with -S\n"},
      {{"-i", run}, "torva: warning: no report requested (-s, -o or -m): the run writes no file\n"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = runTorva(c.args);
    EXPECT_EQ(result.status, 0) << c.warning;
    EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("warning"), std::string::npos);
    EXPECT_NE(result.out.find("Done\n"), std::string::npos);
  }
  // A clean command line warns about nothing.
  EXPECT_EQ(runTorva(with(summary, {"-p", "118.0863, 138.0549\r"})).err, "");
}

TEST(CommandLine, MistakesAreRefusedBeforeAnyWork) {
  TempDir dir;
  const std::string run = smallRun(dir);
  const std::string before = readFile(run);
  const std::string report = dir.file("report.tsv");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"-i", run, "-s", run}, "-s " + run + ": the report would overwrite the input file"},
      {{"-i", run, "-o", dir.path() + "/./run.mzXML"}, "the report would overwrite the input file"},
      {{"-i", run, "-P", run + ".truth.tsv", "-m", run + ".truth.tsv"},
       "the report would overwrite the target file"},
      {{"-i", run, "-s", report, "-o", report},
       "-s " + report + ": the same file as the -o report; each report needs its own file"},
      {{"-i", run, "-m", dir.file("no/such/map.tsv")},
       "-m " + dir.file("no/such/map.tsv") + ": cannot write the report: its folder '" + dir.file("no/such") +
           "' does not exist"},
      {{"-i", run, "-s", dir.path()}, "cannot write the report: it is a folder"},
      {{"-i", run, "-s", run + "/s.tsv"}, "cannot write the report: its folder '" + run + "' does not exist"},
      {{"-i", run, "--threads", "0"}, "--threads 0: needs a whole number of threads from 1 to 256"},
      {{"-i", run, "--threads", "2x"}, "--threads 2x"},
      {{"-i", run, "--ppm", "-5"}, "--ppm -5: needs a number of ppm above 0"},
      {{"-i", run, "--ms-level", "one"}, "--ms-level one: needs an MS level of 1 or more"},
      {{"-i", run, "--map-range", "900:400:1"}, "--map-range 900:400:1: needs LOW:HIGH:WIDTH"},
      {{"-i", run, "--map-range", "100:200"}, "--map-range 100:200: needs LOW:HIGH:WIDTH"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = runTorva(c.args);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_EQ(result.out, "") << c.message;
    EXPECT_NE(result.err.find("torva: "), std::string::npos);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(readFile(run), before);
  EXPECT_FALSE(std::ifstream(report).good());
}

TEST(CommandLine, ThreadCountLeavesEveryReportUnchanged) {
  TempDir dir;
  const std::string run = smallRun(dir);
  std::string expected;
  for (const char* threads : {"", "1", "3"}) {
    std::vector<std::string> args = {"-i", run, "-s", dir.file("s.tsv"), "-o", dir.file("o.tsv"), "-c", "-d"};
    if (*threads != '\0') args = with(args, {"--threads", threads});
    const ProcessResult result = runTorva(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string reports = result.out + readFile(dir.file("s.tsv")) + readFile(dir.file("o.tsv"));
    if (expected.empty()) expected = reports;
    EXPECT_EQ(reports, expected) << "--threads " << threads;
  }
}

TEST(CommandLine, MsLevelKeepsOneLevelAtImport) {
  TempDir dir;
  const std::string run = smallRun(dir);
  // The simulated run nests one MS2 scan in each of its 60 MS1 scans.
  const ProcessResult all = runTorva({"-i", run, "-s", dir.file("s.tsv")});
  EXPECT_NE(all.out.find("Scans: 120\nTransitions: 2\n"), std::string::npos) << all.out;
  for (const char* level : {"1", "2"}) {
    const ProcessResult kept = runTorva({"-i", run, "-s", dir.file("s.tsv"), "--ms-level", level});
    EXPECT_EQ(kept.status, 0);
    EXPECT_NE(kept.out.find("Scans: 60\nTransitions: 1\n"), std::string::npos) << kept.out;
  }
  const std::string real = testsupport::realDataDir();
  if (real.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  const ProcessResult dda =
      runTorva({"-i", real + "/orbi_dda_filterline.mzXML", "--ms-level", "1", "-s", dir.file("s.tsv")});
  EXPECT_EQ(dda.status, 0);
  // Its MS2 scans would form a second channel.
  EXPECT_NE(dda.out.find("Scans: 736\nTransitions: 1\n0@0 [70-800] Scans:736\n"), std::string::npos)
      << dda.out;
}

TEST(CommandLine, MapRangeSetsTheBins) {
  TempDir dir;
  const std::string run = smallRun(dir);
  ASSERT_EQ(runTorva({"-i", run, "-m", dir.file("default.tsv")}).status, 0);
  ASSERT_EQ(runTorva({"-i", run, "-m", dir.file("same.tsv"), "--map-range", "400:900:1"}).status, 0);
  EXPECT_EQ(readFile(dir.file("same.tsv")), readFile(dir.file("default.tsv")));

  ASSERT_EQ(runTorva({"-i", run, "-m", dir.file("low.tsv"), "--map-range", "50:150.5:0.5"}).status, 0);
  const std::vector<std::string> lines = splitLines(readFile(dir.file("low.tsv")));
  ASSERT_EQ(lines.size(), 121u);  // the header and one row per spectrum
  EXPECT_EQ(lines[0].substr(0, 12), "\t50\t50.5\t51\t");
  EXPECT_EQ(lines[0].substr(lines[0].size() - 11), "\t149.5\t150\t");
  // 201 bins, each field followed by a tab.
  for (const std::string& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 202) << line;
}

// A workflow with nothing to search asks for the summary of no features; it is
// the head line a run that finds nothing writes, and nothing is read.
TEST(CommandLine, EmptySummaryIsTheHeadOfARunWithoutFeatures) {
  TempDir dir;
  const auto empty = runTorva({"--empty-summary", dir.file("empty.tsv")});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "");
  const std::string run = smallRun(dir);
  ASSERT_EQ(runTorva({"-i", run, "-p", "5000", "-s", dir.file("none.tsv")}).status, 0);
  EXPECT_EQ(readFile(dir.file("empty.tsv")), readFile(dir.file("none.tsv")));
  EXPECT_EQ(readFile(dir.file("empty.tsv")),
            "mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n");
  const auto unwritable = runTorva({"--empty-summary", dir.file("no/such/folder.tsv")});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_NE(unwritable.err.find("cannot write report file"), std::string::npos) << unwritable.err;
}

TEST(CommandLine, PpmFindsHighResolutionMassesWithinTenPpm) {
  TempDir dir;
  // 300 compounds over 600 MS1 scans of 400 peaks: ions of different
  // compounds often lie within half a dalton of each other.
  const std::string run = dir.file("hr.mzXML");
  ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(),
                                    {"-o", run, "-n", "600", "-k", "400", "-c", "300", "-s", "5"})
                .status,
            0);
  std::vector<double> truth;
  std::string targets;
  for (const std::string& line : splitLines(readFile(run + ".truth.tsv"))) {
    const std::string::size_type tab = line.find('\t');
    if (line.rfind("compound", 0) == 0) continue;
    const std::string mz = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    truth.push_back(std::atof(mz.c_str()));
    targets += mz + ",";
  }
  ASSERT_EQ(truth.size(), 300u);
  const ProcessResult result = runTorva({"-i", run, "-p", targets, "--ppm", "10", "-s", dir.file("s.tsv")});
  ASSERT_EQ(result.status, 0) << result.err;
  std::size_t rows = 0, within = 0;
  for (const std::string& line : splitLines(readFile(dir.file("s.tsv")))) {
    if (line.rfind("mass", 0) == 0) continue;
    ++rows;
    const double mass = std::atof(line.c_str());
    for (double mz : truth) {
      if (std::fabs(mass - mz) <= 10e-6 * mz) {
        ++within;
        break;
      }
    }
  }
  EXPECT_GE(rows, 285u);  // 95 % of the compounds are reported
  EXPECT_GE(within, rows * 95 / 100) << within << " of " << rows;
}

TEST(CommandLine, ProgressOnlyOnATerminal) {
  TempDir dir;
  const std::string run = smallRun(dir);
  const std::vector<std::string> args = {"-i", run, "-s", dir.file("s.tsv")};
  // Standard error redirected to a file: no progress.
  EXPECT_EQ(runTorva(args).err, "");
  // On a pseudo-terminal (script(1) runs the command on one).
  if (testsupport::runProgram("script", {"-qec", "true", "/dev/null"}).status != 0)
    GTEST_SKIP() << "script(1) is missing or cannot open a pseudo-terminal here (is /dev/pts mounted?)";
  const auto onTerminal = [&](const std::vector<std::string>& words) {
    std::string command = "'" + testsupport::torvaPath() + "'";
    for (const std::string& word : words) command += " '" + word + "'";
    return testsupport::runProgram("script", {"-qec", command, "/dev/null"});
  };
  const ProcessResult shown = onTerminal(args);
  EXPECT_EQ(shown.status, 0);
  for (const char* phase :
       {"\rimport [", "] 100% of 1 files\033[K: 120 spectra in 2 channels", "\rchromatograms and peaks [",
        "\rreports [", "torva: 120 spectra, 2 channels, "}) {
    EXPECT_NE(shown.out.find(phase), std::string::npos) << phase << "\n" << shown.out;
  }
  EXPECT_NE(shown.out.find(" MB\r\n"), std::string::npos);  // the closing line ends with the peak memory
  const ProcessResult quiet = onTerminal(with(args, {"--quiet"}));
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out.find("\rimport ["), std::string::npos);
  EXPECT_EQ(quiet.out.find("peak memory"), std::string::npos);
}
