#ifndef TORVA_TESTS_TEST_SUPPORT_H
#define TORVA_TESTS_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "records/records.h"
#include "util/console.h"

namespace testsupport {

// Takes everything the code under test writes through `console` for as long as
// it lives, then puts the previous sink back.
class ConsoleCapture final : public console::Sink {
 public:
  ConsoleCapture() : previous_(console::setSink(this)) {}
  ~ConsoleCapture() override { console::setSink(previous_); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  void out(const std::string& text) override { out_ += text; }
  void flush() override {}
  void err(const std::string& text) override { err_ += text; }

  // What was written to each stream since the last take.
  std::string takeOut() { return std::exchange(out_, std::string()); }
  std::string takeErr() { return std::exchange(err_, std::string()); }

 private:
  console::Sink* previous_;
  std::string out_;
  std::string err_;
};

// Peaks as (m/z, intensity) pairs.
using Peaks = std::vector<std::pair<double, double>>;

// A spectrum with the given number, time (seconds), total ion current and peaks.
scan spectrum(std::int64_t num, double rt, double totIonCurrent, const Peaks& peaks);
Peaks peaksOf(const scan& spectrum);
// A processor with the given cutoff and mass tolerance, everything else default.
filterer processor(std::int32_t cutoff = 1000, double massTolerance = 0.5);
// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to a file in the folder and returns its full path.
  std::string write(const std::string& name, const std::string& content) const;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);

// Result of running a command through the shell.
struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the built torva executable with the given arguments (each quoted).
ProcessResult runTorva(const std::vector<std::string>& args);
// Runs a program with arguments (each quoted).
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args);

// Path of the built torva executable and of the run simulator.
std::string torvaPath();
std::string simulatorPath();
// Folder of real instrument files; empty when it is absent.
std::string realDataDir();
// Why a test that needs the real files is skipped: the folder looked for, and how to name another.
std::string realDataSkipReason();

// A zlib stream of the bytes (level 6).
std::string zlibCompress(const std::string& bytes);
// Base64 of raw bytes (standard alphabet, padded).
std::string base64(const std::string& bytes);
// Big-endian bytes of 32-bit floats / 64-bit doubles.
std::string bigEndianFloats(const std::vector<float>& values);
std::string bigEndianDoubles(const std::vector<double>& values);
std::string littleEndianFloats(const std::vector<float>& values);
std::string littleEndianDoubles(const std::vector<double>& values);

}  // namespace testsupport

#endif
