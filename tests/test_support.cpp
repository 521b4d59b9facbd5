#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "torva-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  const std::string full = file(name);
  std::ofstream out(full, std::ios::binary);
  out << content;
  out.close();
  // A file left short would fail the test that reads it far from the cause.
  if (!out) throw std::runtime_error("cannot write the test file " + full);
  return full;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

namespace {

std::string quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args) {
  TempDir scratch;
  std::string command = quote(program);
  for (const std::string& arg : args) command += " " + quote(arg);
  command += " >" + quote(scratch.file("out")) + " 2>" + quote(scratch.file("err")) + " </dev/null";
  const int raw = std::system(command.c_str());
  ProcessResult result;
  if (WIFEXITED(raw)) {
    result.status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    result.status = 128 + WTERMSIG(raw);
  }
  result.out = readFile(scratch.file("out"));
  result.err = readFile(scratch.file("err"));
  return result;
}

ProcessResult runTorva(const std::vector<std::string>& args) { return runProgram(torvaPath(), args); }

std::string torvaPath() { return TORVA_BINARY; }
std::string simulatorPath() { return TORVA_SIMULATOR; }

std::string realDataDir() {
  const std::string dir = TORVA_REAL_DATA;
  std::error_code ignored;
  return std::filesystem::is_directory(dir, ignored) ? dir : std::string();
}

std::string realDataSkipReason() {
  return std::string("real instrument files absent: no folder ") + TORVA_REAL_DATA +
         " (configure with -DTORVA_REAL_DATA_DIR=PATH to name the folder)";
}

std::string zlibCompress(const std::string& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
            bytes.size(), 6);
  out.resize(size);
  return out;
}

std::string base64(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const std::uint32_t v =
        (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8) | std::uint8_t(bytes[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t v = std::uint8_t(bytes[i]) << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t v = (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += "=";
  }
  return out;
}

namespace {

template <typename Word, typename Value>
std::string encode(const std::vector<Value>& values, bool bigEndian) {
  std::string out;
  for (Value value : values) {
    Word word;
    std::memcpy(&word, &value, sizeof word);
    for (std::size_t b = 0; b < sizeof word; ++b) {
      const std::size_t shift = bigEndian ? 8 * (sizeof word - 1 - b) : 8 * b;
      out += static_cast<char>((word >> shift) & 0xFF);
    }
  }
  return out;
}

}  // namespace

std::string bigEndianFloats(const std::vector<float>& values) { return encode<std::uint32_t>(values, true); }
std::string bigEndianDoubles(const std::vector<double>& values) {
  return encode<std::uint64_t>(values, true);
}
std::string littleEndianFloats(const std::vector<float>& values) {
  return encode<std::uint32_t>(values, false);
}
std::string littleEndianDoubles(const std::vector<double>& values) {
  return encode<std::uint64_t>(values, false);
}

scan spectrum(std::int64_t num, double rt, double totIonCurrent, const Peaks& peaks) {
  scan s;
  s.num = num;
  s.rt = rt;
  s.totIonCurrent = totIonCurrent;
  for (const auto& [mz, intensity] : peaks) {
    datapeak peak;
    peak.mz = mz;
    peak.intensity = intensity;
    s.peaks.push_back(peak);
  }
  return s;
}

Peaks peaksOf(const scan& spectrum) {
  Peaks result;
  for (const StoredPeak& peak : spectrum.peaks) result.emplace_back(peak.mz, peak.intensity);
  return result;
}

filterer processor(std::int32_t cutoff, double massTolerance) {
  filterer f;
  f.cutoff = cutoff;
  f.massTolerance = massTolerance;
  return f;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

}  // namespace testsupport
