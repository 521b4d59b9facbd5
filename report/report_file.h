#ifndef TORVA_REPORT_REPORT_FILE_H
#define TORVA_REPORT_REPORT_FILE_H

#include <cstdio>
#include <string>

// One report file: created or truncated on construction, written line by line
// (each line flushed), and checked when it closes. A file that cannot be created
// swallows every write, as a failed stream would.
class ReportFile {
 public:
  explicit ReportFile(const char* path);
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  // Writes text without flushing.
  void write(const std::string& text);
  // Writes text that ends a line, then flushes.
  void endLine(const std::string& text);
  // Closes the file; true when it was created and every byte reached it.
  // Otherwise prints one line on standard error naming the file and the reason.
  bool close();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  bool closed_ = false;
  int errno_ = 0;
};

#endif
