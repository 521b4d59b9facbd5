// Input folders: which entries are runs, in what order they are read, and the
// statuses and messages of inputs of which nothing could be read.
#include "import/run_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_support.h"

using testsupport::TempDir;

namespace {

std::string example() {
  return testsupport::readFile(std::string(TORVA_SOURCE_DIR) + "/examples/example.mzXML");
}

}  // namespace

TEST(RunFolder, EntryNamesDecideNotTheFolderPath) {
  for (const char* run : {"a.mzXML", "b.xml", "c.mzML", "d.MZML.GZ", "e.mzXML.gz", "f.mzxml.gz"})
    EXPECT_TRUE(isRunName(run)) << run;
  for (const char* other : {".", "..", "readme.txt", "run.raw", "mzML", "notes.mzML.txt"})
    EXPECT_FALSE(isRunName(other)) << other;
}

// Runs come in byte order of their names, whatever order they were made in;
// FIFOs and folders with a run's name are named and never opened (a FIFO
// would block the run forever).
TEST(RunFolder, RegularFilesInByteOrder) {
  TempDir top;
  const std::string folder = top.path() + "/xml_runs";  // the folder's own name holds "xml"
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  for (const char* name : {"b.mzXML", "B.mzML", "a.mzML", "readme.txt", "Z.xml"}) {
    std::FILE* file = std::fopen((folder + "/" + name).c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  ASSERT_EQ(mkfifo((folder + "/pipe.mzXML").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((folder + "/sub.mzML").c_str(), 0755), 0);
  ASSERT_EQ(symlink("a.mzML", (folder + "/link.mzML").c_str()), 0);
  ASSERT_EQ(symlink("gone.mzML", (folder + "/dangling.mzML").c_str()), 0);
  std::vector<std::string> runs, skipped;
  ASSERT_TRUE(listRunFiles(folder, "p/", runs, skipped));
  EXPECT_EQ(runs, (std::vector<std::string>{"p/B.mzML", "p/Z.xml", "p/a.mzML", "p/b.mzXML", "p/link.mzML"}));
  EXPECT_EQ(skipped, (std::vector<std::string>{
                         "p/dangling.mzML: not read: it cannot be examined (a dangling link?)",
                         "p/pipe.mzXML: not read: it is a FIFO", "p/sub.mzML: not read: it is a folder"}));
  EXPECT_FALSE(listRunFiles(top.path() + "/none", "", runs, skipped));
}

// The same two runs made in either order give the same reports.
TEST(RunFolderProcess, ResultDoesNotDependOnCreationOrder) {
  std::string summaries[2];
  for (int order = 0; order < 2; ++order) {
    TempDir dir;
    const std::string folder = dir.path() + "/runs";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string first = order == 0 ? "one.mzXML" : "two.mzXML";
    const std::string second = order == 0 ? "two.mzXML" : "one.mzXML";
    std::string shifted = example();
    for (std::size_t at = shifted.find("retentionTime=\"PT"); at != std::string::npos;
         at = shifted.find("retentionTime=\"PT", at + 1))
      shifted.insert(at + 17, "1");  // later times in the second run
    dir.write("runs/" + first, first == "one.mzXML" ? example() : shifted);
    dir.write("runs/" + second, second == "one.mzXML" ? example() : shifted);
    const auto result = testsupport::runTorva({"-i", folder, "-s", dir.file("s.tsv")});
    ASSERT_EQ(result.status, 0) << result.err;
    summaries[order] = testsupport::readFile(dir.file("s.tsv"));
  }
  EXPECT_EQ(summaries[0], summaries[1]);
}

// Inputs of which nothing could be read end with status 2 and a line on
// standard error; standard output keeps the lines it always had.
TEST(RunFolderProcess, NothingReadIsAFailure) {
  TempDir dir;
  mkdir(dir.file("empty").c_str(), 0755);
  mkdir(dir.file("notes").c_str(), 0755);
  dir.write("notes/readme.txt", "not a run\n");
  mkdir(dir.file("broken").c_str(), 0755);
  dir.write("broken/run.mzXML", "");
  chmod(dir.file("broken/run.mzXML").c_str(), 0);
  struct Case {
    std::string input;
    std::string err;
  };
  const std::string none =
      ": no run in the folder (no regular file whose name contains .mzXML or xml, or ends in .mzML, .mzML.gz "
      "or "
      ".mzXML.gz)\n";
  std::vector<Case> cases = {{dir.file("empty"), dir.file("empty") + none},
                             {dir.file("notes"), dir.file("notes") + none}};
  if (geteuid() != 0)  // root opens any file
    cases.push_back(
        {dir.file("broken"), dir.file("broken/run.mzXML") + ": no spectra read: it cannot be opened\n"});
  for (const Case& c : cases) {
    const auto result = testsupport::runTorva({"-i", c.input, "-s", dir.file("s.tsv")});
    EXPECT_EQ(result.status, 2) << c.input;
    EXPECT_EQ(result.err, c.err);
    EXPECT_NE(result.out.find("Done\n"), std::string::npos);
  }
}

// A report inside the input folder under a name the import reads would
// replace one of the runs (or be read by the next run): refused before any work.
TEST(RunFolderProcess, ReportThatTheImportWouldReadIsRefused) {
  TempDir dir;
  mkdir(dir.file("fold").c_str(), 0755);
  dir.write("fold/b.mzML", example());
  for (const char* report : {"fold/b.mzML", "fold/new.mzXML", "fold/s.xml"}) {
    const auto result = testsupport::runTorva({"-i", dir.file("fold"), "-s", dir.file(report)});
    EXPECT_EQ(result.status, 2) << report;
    EXPECT_EQ(result.err, "torva: -s " + dir.file(report) +
                              ": the report would overwrite a run of the input folder, or be read as one\n");
  }
  EXPECT_EQ(testsupport::readFile(dir.file("fold/b.mzML")), example());
  // A report of another name in the folder is no run.
  EXPECT_EQ(testsupport::runTorva({"-i", dir.file("fold"), "-s", dir.file("fold/summary.tsv")}).status, 0);
}

// --ms-level that keeps nothing is named; the run goes on.
TEST(RunFolderProcess, MsLevelThatKeepsNothingIsNamed) {
  TempDir dir;
  const std::string run = dir.write("run.mzXML", example());
  const auto result = testsupport::runTorva({"-i", run, "--ms-level", "3", "-s", dir.file("s.tsv")});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("torva: warning: --ms-level 3 keeps none of the 240 spectra of '" + run + "'\n"),
            std::string::npos)
      << result.err;
}
