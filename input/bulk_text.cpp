// Byte-level tests for the long base64 texts of spectrum files.
#include "input/bulk_text.h"

#include <array>
#include <cstring>

namespace bulk_text {

namespace {

// Bytes that may go on in a run of text: the base64 alphabet and white space.
constexpr std::array<bool, 256> makeTextBytes() {
  std::array<bool, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (char c : {'+', '/', '=', ' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kTextBytes = makeTextBytes();

// Calls visit(p) for every p in first .. last-1 that holds the byte c.
template <typename Visit>
void forEachByte(const char* first, const char* last, char c, Visit visit) {
  while (first < last) {
    const void* found = std::memchr(first, c, static_cast<std::size_t>(last - first));
    if (found == nullptr) return;
    const char* p = static_cast<const char*>(found);
    visit(p);
    first = p + 1;
  }
}

bool endsName(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '>' || c == '/'; }

}  // namespace

std::size_t findOpener(const char* data, std::size_t from, std::size_t to, const std::string& name) {
  const std::size_t length = name.size();
  while (from < to) {
    const void* found = std::memchr(data + from, '<', to - from);
    if (found == nullptr) return to;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    const std::size_t available = to - at - 1;
    const std::size_t compared = available < length ? available : length;
    if (std::memcmp(data + at + 1, name.data(), compared) == 0 &&
        (available <= length || endsName(data[at + 1 + length]))) {
      return at;
    }
    from = at + 1;
  }
  return to;
}

std::size_t tagEnd(const char* data, std::size_t at, std::size_t to) {
  char quote = 0;
  for (std::size_t i = at; i < to; ++i) {
    const char c = data[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return 0;
}

std::size_t textEnd(const char* data, std::size_t from, std::size_t to) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
  while (from + 4 <= to && kTextBytes[bytes[from]] && kTextBytes[bytes[from + 1]] &&
         kTextBytes[bytes[from + 2]] && kTextBytes[bytes[from + 3]]) {
    from += 4;
  }
  while (from < to && kTextBytes[bytes[from]]) ++from;
  return from;
}

std::size_t lineBreaks(const char* data, std::size_t from, std::size_t to) {
  const char* const last = data + to;
  std::size_t count = 0;
  forEachByte(data + from, last, '\n', [&](const char*) { ++count; });
  // A carriage return is a break of its own unless a line feed follows it.
  forEachByte(data + from, last, '\r', [&](const char* p) { count += p + 1 == last || p[1] != '\n'; });
  return count;
}

std::string normalisedLineEnds(const char* data, std::size_t from, std::size_t to) {
  std::string text;
  text.reserve(to - from);
  for (std::size_t i = from; i < to; ++i) {
    if (data[i] != '\r') {
      text += data[i];
    } else if (i + 1 >= to || data[i + 1] != '\n') {
      text += '\n';
    }
  }
  return text;
}

}  // namespace bulk_text
