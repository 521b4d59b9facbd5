#ifndef TORVA_TOOLS_OUTPUT_FILE_H
#define TORVA_TOOLS_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "util/atomic_file.h"

// A file the simulators write in one pass: counts the bytes written (for the
// offsets of an index) and remembers whether any write failed. It appears
// under its name only when closed complete (util/atomic_file.h).
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path) { return file_.open(path); }

  void put(const std::string& text) {
    file_.write(text);
    written_ += text.size();
  }

  std::uint64_t written() const { return written_; }

  // Closes the file; false if it was never open or anything failed to write.
  bool close() { return file_.commit(); }

 private:
  AtomicFile file_;
  std::uint64_t written_ = 0;
};

#endif
