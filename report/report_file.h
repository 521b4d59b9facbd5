#ifndef TORVA_REPORT_REPORT_FILE_H
#define TORVA_REPORT_REPORT_FILE_H

#include <string>

#include "util/atomic_file.h"

// One report file, written line by line to a temporary file in its folder and
// renamed to its name when it closes complete (util/atomic_file.h): a run that
// fails or is killed never leaves a cut report under the name, and an earlier
// report there stays as it was. A report that is not closed is closed by the
// destructor, unless an exception is leaving: then it is discarded. A file
// that cannot be created swallows every write, as a failed stream would.
class ReportFile {
 public:
  explicit ReportFile(const char* path);
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool isOpen() const { return file_.isOpen(); }
  // Writes text without flushing.
  void write(const std::string& text);
  // Writes text that ends a line.
  void endLine(const std::string& text);
  // Closes the file and gives it its name; true when it was created and every
  // byte reached it. Otherwise prints one line on standard error naming the
  // file, the reason and the earlier file left in place.
  bool close();

 private:
  AtomicFile file_;
  int exceptionsAtOpen_ = 0;
  bool closed_ = false;
  bool written_ = false;
};

#endif
