#ifndef TORVA_UTIL_ATOMIC_FILE_H
#define TORVA_UTIL_ATOMIC_FILE_H

#include <cstdio>
#include <string>

// An output file that appears under its name only when it is complete. It is
// written to a temporary file in the same folder (".NAME.tmp" and six random
// characters) and renamed to its name by commit(); a file that is not
// committed (a failed write, an exception, a crash) never replaces what was
// there before. A killed process can leave the temporary file behind, never a
// cut file under the final name.
//
// A path that names something other than a regular file (/dev/null, a FIFO, a
// terminal) is written directly, as it cannot be replaced.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false (with reason() set) when it cannot be.
  bool open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  std::FILE* stream() const { return file_; }
  // Writes bytes; false once any write has failed.
  bool write(const char* data, std::size_t size);
  bool write(const std::string& text) { return write(text.data(), text.size()); }
  // Notes a failure found by the caller (a write through stream()).
  void fail(int error);

  // Flushes the file to the disk, closes it and renames it to its name. On any
  // failure the temporary file is removed, the name keeps what it had, and
  // false is returned with reason() set. A second call returns the first one's answer.
  bool commit();
  // Closes and removes the temporary file; the name keeps what it had.
  void discard();

  const std::string& path() const { return path_; }
  // Why the file could not be written ("No space left on device").
  std::string reason() const;
  // Whether a file stood under the name when the file was opened (it is then
  // left as it was whenever commit() fails).
  bool hadEarlierFile() const { return hadEarlier_; }
  // The message for a failed file: what failed, why, and what stays under its name.
  std::string failureText() const;

 private:
  std::string path_;
  std::string temp_;  // empty when written directly
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  bool done_ = false;
  bool committed_ = false;
  bool hadEarlier_ = false;
  int errno_ = 0;
};

// Writes `text` whole to `path` through an AtomicFile; false with `error` set
// to AtomicFile::failureText() when it could not be written.
bool writeWholeFile(const std::string& path, const std::string& text, std::string& error);

#endif
