// Target mass lists: the -p text and the -P file, and the tokenizer they share
// with the import.
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <fstream>

#include "run/file_handle.h"
#include "util/console.h"

void fileHandle::Tokenize(const std::string& text, std::vector<std::string>& tokens,
                          const std::string& delimiters) {
  std::string::size_type start = text.find_first_not_of(delimiters);
  std::string::size_type end = text.find_first_of(delimiters, start);
  while (start != std::string::npos || end != std::string::npos) {
    tokens.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = text.find_first_not_of(delimiters, end);
    end = text.find_first_of(delimiters, start);
  }
}

int fileHandle::addPeaks(std::string list) {
  console::outFlush("Peaks: " + list + "\n");
  std::vector<std::string> tokens;
  Tokenize(list, tokens, ",\n");
  for (const std::string& token : tokens) {
    console::outFlush(token + "\n");
    datapeak target;
    target.mz = std::strtod(token.c_str(), nullptr);
    targetPeaks.push_back(target);
  }
  return 1;
}

namespace {

// The first character of a target file must be a letter, digit, punctuation or
// white space in the C locale; anything else (an empty line, a byte-order mark,
// a control character) marks a file that is not a plain list of numbers.
bool acceptableFirstCharacter(const std::string& line) {
  if (line.empty()) return false;
  const signed char c = static_cast<signed char>(line[0]);
  if (c < 0) return false;
  const wint_t w = static_cast<wint_t>(c);
  return std::iswalnum(w) || std::iswpunct(w) || std::iswspace(w) || std::iswdigit(w);
}

}  // namespace

int fileHandle::importPeaks(const char* path) {
  std::string joined;
  std::ifstream in(path);
  if (!in.is_open()) {
    addPeaks(joined);
    return 0;
  }
  std::string line;
  std::getline(in, line);
  if (!acceptableFirstCharacter(line)) {
    console::outFlush("BAD FILE\n");
    return -1;
  }
  // Lines are joined with "," and split again by addPeaks; the loop ends at the
  // end of the file or on a read error.
  while (in.good()) {
    joined += line;
    joined += ",";
    line.clear();
    std::getline(in, line);
  }
  joined += line;
  joined += ",";
  addPeaks(joined);
  return 1;
}

namespace {

// Strict number of a target line: the whole field, finite.
bool readField(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out);
}

}  // namespace

int fileHandle::importTargetWindows(const char* path, std::string& error) {
  std::ifstream in(path);
  if (!in.is_open()) return 0;
  std::vector<datapeak> peaks;
  std::vector<TimeWindow> windows;
  std::vector<std::string> names;
  std::string line;
  long number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
      const std::string::size_type tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    datapeak target;
    TimeWindow window;
    window.bounded = true;
    if (fields.size() < 3 || fields.size() > 4 || (fields.size() == 4 && fields[3].empty()) ||
        !readField(fields[0], target.mz) || !readField(fields[1], window.low) ||
        !readField(fields[2], window.high) || !(target.mz > 0) || window.high < window.low) {
      error = "line " + std::to_string(number) +
              " is not 'mz<TAB>rt_low<TAB>rt_high' with rt_low <= rt_high (and optionally <TAB>name)";
      return -1;
    }
    window.low *= 60.0;  // minutes in the file, seconds in the run
    window.high *= 60.0;
    peaks.push_back(target);
    windows.push_back(window);
    names.push_back(fields.size() == 4 ? fields[3] : "");
  }
  // Targets added before without a window keep spanning the whole run.
  targetWindows.resize(targetPeaks.size());
  targetPeaks.insert(targetPeaks.end(), peaks.begin(), peaks.end());
  targetWindows.insert(targetWindows.end(), windows.begin(), windows.end());
  targetNames.resize(targetPeaks.size() - peaks.size());
  targetNames.insert(targetNames.end(), names.begin(), names.end());
  return 1;
}
