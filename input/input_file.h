#ifndef TORVA_INPUT_INPUT_FILE_H
#define TORVA_INPUT_INPUT_FILE_H

#include <cstddef>
#include <string>

// One spectrum file opened for reading. A file that starts with the gzip
// signature (1F 8B) is decompressed while it is read; any other file is read
// as it is. Closed when the object goes away.
class InputFile {
 public:
  InputFile() = default;
  explicit InputFile(const std::string& path) { open(path); }
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  // Reads up to `size` bytes; returns the number read, 0 at the end of the
  // data, or -1 when the file cannot be read on (damaged gzip data included).
  long read(char* buffer, std::size_t size);
  // True once a read has found gzip data.
  bool compressed() const;
  // True when the data could not be read to its end: a read error, or gzip
  // data that is damaged or cut short.
  bool damaged() const;
  // What went wrong, for messages.
  std::string error() const;

 private:
  void* file_ = nullptr;  // zlib's gzFile
  std::string path_;
};

#endif
