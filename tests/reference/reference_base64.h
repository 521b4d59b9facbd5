#ifndef TORVA_TESTS_REFERENCE_REFERENCE_BASE64_H
#define TORVA_TESTS_REFERENCE_REFERENCE_BASE64_H

#include <cstddef>

// The peak-array base64 decoder in its plain form, one character at a time:
// XML white space skipped, an incomplete last group dropped, a group starting
// with '=' ending the data, any other character mapped by the ranges of its
// signed code. The decoder in input/ must give the same bytes and count.
namespace reference {

inline int plainBase64Decode(char* dest, const char* src, std::size_t destSize) {
  auto valueOf = [](char c) {
    const signed char code = static_cast<signed char>(c);
    if (code >= 'a') return code - 71;
    if (code >= 'A') return code - 65;
    if (code >= '0') return code + 4;
    if (code == '+') return 62;
    return 63;
  };
  auto next = [](const char*& cursor) {
    while (*cursor == ' ' || *cursor == '\t' || *cursor == '\n' || *cursor == '\r') ++cursor;
    const char c = *cursor;
    if (c != '\0') ++cursor;
    return c;
  };
  const char* cursor = src;
  std::size_t written = 0;
  while (written < destSize) {
    char group[4];
    for (char& c : group) {
      c = next(cursor);
      if (c == '\0') return static_cast<int>(written);
    }
    if (group[0] == '=') break;
    const int first = valueOf(group[0]);
    const int second = valueOf(group[1]);
    const int third = valueOf(group[2]);
    const int fourth = valueOf(group[3]);
    dest[written++] = static_cast<char>(((first << 2) | (second >> 4)) & 0xFF);
    if (written >= destSize || group[2] == '=') break;
    dest[written++] = static_cast<char>(((second << 4) | (third >> 2)) & 0xFF);
    if (written >= destSize || group[3] == '=') break;
    dest[written++] = static_cast<char>(((third << 6) | fourth) & 0xFF);
  }
  return static_cast<int>(written);
}

}  // namespace reference

#endif
