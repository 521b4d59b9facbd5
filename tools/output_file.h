#ifndef TORVA_TOOLS_OUTPUT_FILE_H
#define TORVA_TOOLS_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

// A file the simulators write in one pass: counts the bytes written (for the
// offsets of an index) and remembers whether any write failed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }

  void put(const std::string& text) {
    if (file_ == nullptr || failed_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    written_ += text.size();
  }

  std::uint64_t written() const { return written_; }

  // Closes the file; false if it was never open or anything failed to write.
  bool close() {
    if (file_ == nullptr) return false;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed && !failed_;
  }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

#endif
