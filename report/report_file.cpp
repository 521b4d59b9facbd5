#include "report/report_file.h"

#include <exception>
#include <string>

#include "util/console.h"

ReportFile::ReportFile(const char* path) : exceptionsAtOpen_(std::uncaught_exceptions()) { file_.open(path); }

ReportFile::~ReportFile() {
  if (closed_) return;
  // Left by an exception (out of memory, say): the report is not complete, and
  // the name keeps what it had.
  if (std::uncaught_exceptions() > exceptionsAtOpen_) {
    file_.discard();
    return;
  }
  close();
}

void ReportFile::write(const std::string& text) { file_.write(text); }

void ReportFile::endLine(const std::string& text) { file_.write(text); }

bool ReportFile::close() {
  if (closed_) return written_;
  closed_ = true;
  written_ = file_.commit();
  if (!written_) {
    std::string text = "torva: cannot write report file '" + file_.path() + "': " + file_.reason();
    if (file_.hadEarlierFile()) text += "; the earlier report of that name is left as it was";
    console::err(text + "\n");
  }
  return written_;
}
