// Base64 decoding of peak arrays.
#include "input/base64.h"

namespace {

bool isXmlWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Value of one base64 character, by ranges of its (signed) code. Characters
// outside the alphabet are not rejected; they map by the same ranges, and
// anything below '0' other than '+' (bytes above 127 included) gives 63.
int valueOf(char c) {
  const signed char code = static_cast<signed char>(c);
  if (code >= 'a') return code - 71;
  if (code >= 'A') return code - 65;
  if (code >= '0') return code + 4;
  if (code == '+') return 62;
  return 63;
}

// Next character of the source that is not XML white space (a wrapped or
// indented array is still one base64 run). Stops at the NUL terminator.
char nextCharacter(const char*& cursor) {
  while (isXmlWhiteSpace(*cursor)) ++cursor;
  const char c = *cursor;
  if (c != '\0') ++cursor;
  return c;
}

}  // namespace

int b64_decode_mio(char* dest, const char* src, std::size_t destSize) {
  const char* cursor = src;
  std::size_t written = 0;
  while (written < destSize) {
    char group[4];
    for (char& c : group) {
      c = nextCharacter(cursor);
      // An incomplete last group is dropped whole.
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
