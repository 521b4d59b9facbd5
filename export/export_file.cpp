#include "export/export_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool writeExportFile(const std::string& path, const std::string& content, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = path + ": cannot be written (" + std::strerror(errno) + "); check that its folder exists";
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = path + ": writing failed (" + std::strerror(written ? errno : writeErrno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = path + ": cannot be put in place (" + std::strerror(errno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string exportNumber(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}
