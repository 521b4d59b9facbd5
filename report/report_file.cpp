#include "report/report_file.h"

#include <cerrno>
#include <cstring>

#include "util/console.h"

ReportFile::ReportFile(const char* path) : path_(path) {
  file_ = std::fopen(path, "w");
  if (file_ == nullptr) {
    failed_ = true;
    errno_ = errno;
  }
}

ReportFile::~ReportFile() {
  if (!closed_) close();
}

void ReportFile::write(const std::string& text) {
  if (file_ == nullptr || failed_) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    failed_ = true;
    errno_ = errno;
  }
}

void ReportFile::endLine(const std::string& text) {
  write(text);
  if (file_ == nullptr || failed_) return;
  if (std::fflush(file_) != 0) {
    failed_ = true;
    errno_ = errno;
  }
}

bool ReportFile::close() {
  if (closed_) return !failed_;
  closed_ = true;
  if (file_ != nullptr) {
    if (std::fclose(file_) != 0 && !failed_) {
      failed_ = true;
      errno_ = errno;
    }
    file_ = nullptr;
  }
  if (failed_) {
    std::string reason = errno_ != 0 ? std::strerror(errno_) : "write failed";
    console::err("torva: cannot write report file '" + path_ + "': " + reason + "\n");
  }
  return !failed_;
}
