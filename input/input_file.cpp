// Reading spectrum files, plain or gzip-compressed, through zlib's gz functions.
#include "input/input_file.h"

#include <zlib.h>

#include <climits>

namespace {

gzFile handleOf(void* file) { return static_cast<gzFile>(file); }

}  // namespace

InputFile::~InputFile() {
  if (file_ != nullptr) gzclose_r(handleOf(file_));
}

bool InputFile::open(const std::string& path) {
  if (file_ != nullptr) gzclose_r(handleOf(file_));
  path_ = path;
  gzFile file = gzopen(path.c_str(), "rb");
  file_ = file;
  if (file == nullptr) return false;
  // Larger buffers than zlib's 8 KiB default halve the calls on big runs.
  gzbuffer(file, 1 << 17);
  return true;
}

long InputFile::read(char* buffer, std::size_t size) {
  if (file_ == nullptr) return -1;
  if (size > INT_MAX) size = INT_MAX;
  return gzread(handleOf(file_), buffer, static_cast<unsigned>(size));
}

bool InputFile::compressed() const { return file_ != nullptr && gzdirect(handleOf(file_)) == 0; }

bool InputFile::damaged() const {
  if (file_ == nullptr) return true;
  int code = Z_OK;
  gzerror(handleOf(file_), &code);
  return code != Z_OK;
}

std::string InputFile::error() const {
  if (file_ == nullptr) return "cannot be opened";
  int code = Z_OK;
  const char* text = gzerror(handleOf(file_), &code);
  if (code == Z_ERRNO) return "cannot be read";
  if (text == nullptr || *text == '\0') return "cannot be read";
  // zlib names the file first; the callers already do.
  std::string message(text);
  if (message.compare(0, path_.size() + 2, path_ + ": ") == 0) message.erase(0, path_.size() + 2);
  return message;
}
