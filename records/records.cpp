#include "records/records.h"

Header::~Header() = default;

char filterLinePolarity(const std::string& filterLine) {
  std::size_t start = 0;
  while (start < filterLine.size()) {
    std::size_t end = filterLine.find(' ', start);
    if (end == std::string::npos) end = filterLine.size();
    if (end == start + 1 && (filterLine[start] == '+' || filterLine[start] == '-')) return filterLine[start];
    start = end + 1;
  }
  return '?';
}

char spectrumPolarity(const scan& spectrum, char fromFilterLine) {
  if (fromFilterLine == '+' || fromFilterLine == '-') return fromFilterLine;
  const std::string& stated = spectrum.polarity;
  if (stated == "+" || stated == "positive" || stated == "Positive") return '+';
  if (stated == "-" || stated == "negative" || stated == "Negative") return '-';
  return '?';
}

char spectrumPolarity(const scan& spectrum) {
  return spectrumPolarity(spectrum, filterLinePolarity(spectrum.filterLine));
}
