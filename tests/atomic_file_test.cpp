#include "util/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/test_support.h"

using testsupport::TempDir;

namespace {

// The names in a folder other than `keep`: temporary files left behind show here.
std::size_t entriesBesides(const std::string& folder, const std::string& keep) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    count += entry.path().filename() != keep ? 1 : 0;
  return count;
}

}  // namespace

TEST(AtomicFile, NameShowsOnlyTheCompleteFile) {
  TempDir dir;
  const std::string path = dir.write("report.tsv", "earlier\n");
  chmod(path.c_str(), 0640);
  AtomicFile file;
  ASSERT_TRUE(file.open(path));
  EXPECT_TRUE(file.hadEarlierFile());
  file.write("new ");
  file.write(std::string("text\n"));
  EXPECT_EQ(testsupport::readFile(path), "earlier\n");  // not yet replaced
  EXPECT_TRUE(file.commit());
  EXPECT_TRUE(file.commit());
  EXPECT_EQ(testsupport::readFile(path), "new text\n");
  EXPECT_EQ(entriesBesides(dir.path(), "report.tsv"), 0u);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // the earlier file's permissions
}

TEST(AtomicFile, UncommittedOrFailedFileLeavesTheEarlierOne) {
  TempDir dir;
  const std::string path = dir.write("report.tsv", "earlier\n");
  {
    AtomicFile abandoned;  // an exception or an early return: never committed
    ASSERT_TRUE(abandoned.open(path));
    abandoned.write("half");
  }
  {
    AtomicFile failed;
    ASSERT_TRUE(failed.open(path));
    failed.write("half");
    failed.fail(28);  // ENOSPC, as a write through stream() would find it
    EXPECT_FALSE(failed.commit());
    EXPECT_EQ(failed.failureText(), "cannot write '" + path + "': No space left on device; the earlier '" +
                                        path + "' is left as it was");
  }
  EXPECT_EQ(testsupport::readFile(path), "earlier\n");
  EXPECT_EQ(entriesBesides(dir.path(), "report.tsv"), 0u);
}

TEST(AtomicFile, DevicesAreWrittenInPlaceAndMissingFoldersFail) {
  AtomicFile sink;
  ASSERT_TRUE(sink.open("/dev/null"));  // never replaced by a regular file
  sink.write("x");
  EXPECT_TRUE(sink.commit());
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  TempDir dir;
  std::string error;
  EXPECT_FALSE(writeWholeFile(dir.file("missing/r.tsv"), "x", error));
  EXPECT_EQ(error, "cannot write '" + dir.file("missing/r.tsv") + "': No such file or directory");
  EXPECT_TRUE(writeWholeFile(dir.file("r.tsv"), "whole\n", error));
  EXPECT_EQ(testsupport::readFile(dir.file("r.tsv")), "whole\n");
}
