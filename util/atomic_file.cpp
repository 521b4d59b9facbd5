// Output files that replace their name only when complete.
#include "util/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The folder part of a path ("" for a bare name) and the name part.
void splitPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
}

// The permissions a new file gets from the process's umask, read once: reading it means setting it for a
// moment, which files written on other threads meanwhile must not see.
mode_t newFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(022);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

AtomicFile::~AtomicFile() {
  if (!done_) discard();
}

bool AtomicFile::open(const std::string& path) {
  path_ = path;
  struct stat existing;
  const bool exists = stat(path.c_str(), &existing) == 0;
  hadEarlier_ = exists && S_ISREG(existing.st_mode);
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device, FIFO or terminal: written in place.
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) fail(errno);
    return file_ != nullptr;
  }
  std::string folder;
  std::string name;
  splitPath(path, folder, name);
  std::string pattern = folder + "." + name + ".tmp" + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) {
    fail(errno);
    return false;
  }
  temp_ = buffer.data();
  // The file gets the permissions the earlier file had, or a new file's.
  fchmod(fd, hadEarlier_ ? static_cast<mode_t>(existing.st_mode & 07777) : newFileMode());
  file_ = fdopen(fd, "w");
  if (file_ == nullptr) {
    fail(errno);
    close(fd);
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  return true;
}

bool AtomicFile::write(const char* data, std::size_t size) {
  if (file_ == nullptr || failed_) return false;
  if (size > 0 && std::fwrite(data, 1, size, file_) != size) fail(errno);
  return !failed_;
}

void AtomicFile::fail(int error) {
  if (failed_) return;
  failed_ = true;
  errno_ = error;
}

bool AtomicFile::commit() {
  if (done_) return committed_;
  done_ = true;
  if (file_ == nullptr) {
    if (!failed_) fail(EBADF);
    return false;
  }
  if (!failed_ && std::fflush(file_) != 0) fail(errno);
  if (!failed_ && std::ferror(file_)) fail(EIO);
  if (!failed_ && !temp_.empty() && fsync(fileno(file_)) != 0) fail(errno);
  if (std::fclose(file_) != 0 && !failed_) fail(errno);
  file_ = nullptr;
  if (!failed_ && !temp_.empty() && std::rename(temp_.c_str(), path_.c_str()) != 0) fail(errno);
  if (failed_ && !temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  committed_ = !failed_;
  return committed_;
}

void AtomicFile::discard() {
  done_ = true;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

std::string AtomicFile::reason() const { return errno_ != 0 ? std::strerror(errno_) : "write failed"; }

std::string AtomicFile::failureText() const {
  std::string text = "cannot write '" + path_ + "': " + reason();
  if (hadEarlier_) text += "; the earlier '" + path_ + "' is left as it was";
  return text;
}

bool writeWholeFile(const std::string& path, const std::string& text, std::string& error) {
  AtomicFile file;
  if (!file.open(path) || !file.write(text) || !file.commit()) {
    file.discard();
    error = file.failureText();
    return false;
  }
  return true;
}
