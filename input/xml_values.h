#ifndef TORVA_INPUT_XML_VALUES_H
#define TORVA_INPUT_XML_VALUES_H

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

// Element names and attribute values as the readers compare and convert them:
// names byte-wise, numbers without validation (text that is not a number reads 0).
// (Compared in line: the names are short, and most comparisons end at the first bytes.)
inline bool isName(const char* name, const char* expected) {
  while (*expected != '\0' && *name == *expected) ++name, ++expected;
  return *name == *expected;
}
// N of an accession written "MS:" and seven digits, as the PSI-MS terms of
// mzML are, or -1 for any other text: equal numbers mean equal accessions.
inline long msTerm(const char* accession) {
  if (accession[0] != 'M' || accession[1] != 'S' || accession[2] != ':') return -1;
  long term = 0;
  for (int i = 3; i < 10; ++i) {
    const char c = accession[i];
    if (c < '0' || c > '9') return -1;
    term = term * 10 + (c - '0');
  }
  return accession[10] == '\0' ? term : -1;
}
inline std::int32_t readInt(const char* text) {
  return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}
// readInt's value, false (and `value` 0) when the number does not fit in 32 bits.
inline bool readInt32(const char* text, std::int32_t& value) {
  errno = 0;
  const long long read = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || read > INT32_MAX || read < INT32_MIN) {
    value = 0;
    return false;
  }
  value = static_cast<std::int32_t>(read);
  return true;
}

// strtod's value of the text first .. last-1. Plain decimals ([-]digits[.digits], the way files write their
// numbers) are converted by std::from_chars, which rounds to nearest exactly as strtod does, without strtod's
// copy and locale lookups; anything else goes to strtod.
inline double readDecimal(const char* first, const char* last) {
  const char* p = first;
  if (p < last && *p == '-') ++p;
  bool digits = false;
  while (p < last && *p >= '0' && *p <= '9') ++p, digits = true;
  if (p < last && *p == '.') {
    ++p;
    while (p < last && *p >= '0' && *p <= '9') ++p, digits = true;
  }
  if (digits && p == last && last - first <= 64) {
    double value = 0;
    const std::from_chars_result read = std::from_chars(first, last, value);
    if (read.ec == std::errc() && read.ptr == last) return value;
  }
  return std::strtod(std::string(first, last).c_str(), nullptr);
}
inline double readDouble(const char* text) {
  const std::size_t length = std::strlen(text);
  if (length > 64) return std::strtod(text, nullptr);
  return readDecimal(text, text + length);
}

#endif
