// Target mass lists: the -p text and the -P file, and the tokenizer they share
// with the import.
#include "import/target_list.h"

#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <fstream>

#include "report/target_table.h"
#include "util/console.h"

void tokenize(const std::string& text, std::vector<std::string>& tokens, const std::string& delimiters) {
  std::string::size_type start = text.find_first_not_of(delimiters);
  std::string::size_type end = text.find_first_of(delimiters, start);
  while (start != std::string::npos || end != std::string::npos) {
    tokens.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = text.find_first_not_of(delimiters, end);
    end = text.find_first_of(delimiters, start);
  }
}

int addTargetList(RunData& run, std::string list) {
  console::outFlush("Peaks: " + list + "\n");
  std::vector<std::string> tokens;
  tokenize(list, tokens, ",\n");
  for (const std::string& token : tokens) {
    console::outFlush(token + "\n");
    datapeak target;
    target.mz = std::strtod(token.c_str(), nullptr);
    run.targetPeaks.push_back(target);
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

int importTargetFile(RunData& run, const char* path) {
  std::string joined;
  std::ifstream in(path);
  if (!in.is_open()) {
    addTargetList(run, joined);
    return 0;
  }
  std::string line;
  std::getline(in, line);
  if (!acceptableFirstCharacter(line)) {
    console::outFlush("BAD FILE\n");
    return -1;
  }
  // Lines are joined with "," and split again by addTargetList; the loop ends at the
  // end of the file or on a read error.
  while (in.good()) {
    joined += line;
    joined += ",";
    line.clear();
    std::getline(in, line);
  }
  joined += line;
  joined += ",";
  addTargetList(run, joined);
  return 1;
}

int importTargetWindows(RunData& run, const char* path, std::string& error) {
  std::vector<TargetWindowRow> rows;
  const int result = readTargetWindowTable(path, rows, error);
  if (result != 1) return result;
  // Targets added before without a window keep spanning the whole run.
  run.targetWindows.resize(run.targetPeaks.size());
  run.targetNames.resize(run.targetPeaks.size());
  for (const TargetWindowRow& row : rows) {
    datapeak target;
    target.mz = row.mz;
    RunData::TimeWindow window;
    window.bounded = true;
    window.low = row.rtLow * 60.0;  // minutes in the file, seconds in the run
    window.high = row.rtHigh * 60.0;
    window.hasFillSpan = row.hasFillSpan;
    window.fillLow = row.fillLow * 60.0;
    window.fillHigh = row.fillHigh * 60.0;
    run.targetPeaks.push_back(target);
    run.targetWindows.push_back(window);
    run.targetNames.push_back(row.name);
  }
  return 1;
}
