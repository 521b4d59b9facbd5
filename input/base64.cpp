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

// The 64 characters of the alphabet with their values; every other character
// maps to kOther and is left to the character-by-character path.
constexpr unsigned char kOther = 0x80;
struct AlphabetTable {
  unsigned char value[256];
  constexpr AlphabetTable() : value() {
    for (unsigned char& v : value) v = kOther;
    for (int c = 'A'; c <= 'Z'; ++c) value[c] = static_cast<unsigned char>(c - 'A');
    for (int c = 'a'; c <= 'z'; ++c) value[c] = static_cast<unsigned char>(c - 'a' + 26);
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<unsigned char>(c - '0' + 52);
    value[static_cast<unsigned char>('+')] = 62;
    value[static_cast<unsigned char>('/')] = 63;
  }
};
constexpr AlphabetTable kAlphabet;

// Decodes whole groups of four alphabet characters while three more bytes fit,
// stopping before the first group that holds anything else (white space,
// padding, the terminator, a stray character). Such a group gives exactly what
// the character-by-character path gives for it, so the two can take turns.
// Never reads past the terminator: each character is tested before the next
// is read.
void decodePlainGroups(const char*& cursor, char* dest, std::size_t& written, std::size_t destSize) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(cursor);
  while (destSize - written >= 3) {
    const unsigned first = kAlphabet.value[in[0]];
    if (first & kOther) break;
    const unsigned second = kAlphabet.value[in[1]];
    if (second & kOther) break;
    const unsigned third = kAlphabet.value[in[2]];
    if (third & kOther) break;
    const unsigned fourth = kAlphabet.value[in[3]];
    if (fourth & kOther) break;
    const unsigned bits = first << 18 | second << 12 | third << 6 | fourth;
    dest[written] = static_cast<char>(bits >> 16);
    dest[written + 1] = static_cast<char>(bits >> 8 & 0xFF);
    dest[written + 2] = static_cast<char>(bits & 0xFF);
    written += 3;
    in += 4;
  }
  cursor = reinterpret_cast<const char*>(in);
}

}  // namespace

int b64_decode_mio(char* dest, const char* src, std::size_t destSize) {
  const char* cursor = src;
  std::size_t written = 0;
  while (written < destSize) {
    decodePlainGroups(cursor, dest, written, destSize);
    if (written >= destSize) break;
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
