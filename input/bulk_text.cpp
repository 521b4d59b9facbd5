// Byte-level tests for the long base64 texts of spectrum files.
#include "input/bulk_text.h"

#if defined(TORVA_X86_VECTORS)
#include <immintrin.h>
#endif

#include <array>
#include <cstdint>
#include <cstring>

#include "util/cpu_features.h"

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
    // Most tags differ from the name at once.
    if ((compared == 0 || data[at + 1] == name[0]) &&
        std::memcmp(data + at + 1, name.data(), compared) == 0 &&
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

namespace {

#if defined(TORVA_X86_VECTORS)
// Sixteen bytes at a time: a byte is text when it lies in one of the ranges
// A-Z, a-z, /-9 (slash and digits), or is +, =, space, tab, line feed or
// carriage return. Bytes from 0x80 on compare as negative and lie in none.
// `lineEnds` is set when a line feed or carriage return was passed.
std::size_t textEndSse2(const char* data, std::size_t from, std::size_t to, bool& lineEnds) {
  const __m128i upperLow = _mm_set1_epi8('A' - 1), upperHigh = _mm_set1_epi8('Z' + 1);
  const __m128i lowerLow = _mm_set1_epi8('a' - 1), lowerHigh = _mm_set1_epi8('z' + 1);
  const __m128i digitLow = _mm_set1_epi8('/' - 1), digitHigh = _mm_set1_epi8('9' + 1);
  const __m128i plus = _mm_set1_epi8('+'), equals = _mm_set1_epi8('='), space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t'), lineFeed = _mm_set1_epi8('\n'),
                carriageReturn = _mm_set1_epi8('\r');
  const auto within = [](__m128i v, __m128i low, __m128i high) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, low), _mm_cmplt_epi8(v, high));
  };
  __m128i breaks = _mm_setzero_si128();
  while (from + 16 <= to) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    const __m128i lineBreak = _mm_or_si128(_mm_cmpeq_epi8(v, lineFeed), _mm_cmpeq_epi8(v, carriageReturn));
    __m128i text = _mm_or_si128(within(v, upperLow, upperHigh), within(v, lowerLow, lowerHigh));
    text = _mm_or_si128(text, _mm_or_si128(within(v, digitLow, digitHigh), lineBreak));
    text = _mm_or_si128(text, _mm_or_si128(_mm_cmpeq_epi8(v, plus), _mm_cmpeq_epi8(v, equals)));
    text = _mm_or_si128(text, _mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(text));
    if (mask != 0xFFFF) {
      const unsigned before = (1u << __builtin_ctz(~mask)) - 1;  // the text bytes before the stop
      if ((static_cast<unsigned>(_mm_movemask_epi8(lineBreak)) & before) != 0) lineEnds = true;
      from += static_cast<std::size_t>(__builtin_ctz(~mask));
      break;
    }
    breaks = _mm_or_si128(breaks, lineBreak);
    from += 16;
  }
  if (_mm_movemask_epi8(breaks) != 0) lineEnds = true;
  return from;
}

__attribute__((target("avx2"))) inline __m256i within(__m256i v, __m256i low, __m256i high) {
  return _mm256_and_si256(_mm256_cmpgt_epi8(v, low), _mm256_cmpgt_epi8(high, v));
}

// The same, thirty-two bytes at a time, where the processor has AVX2.
__attribute__((target("avx2"))) std::size_t textEndAvx2(const char* data, std::size_t from, std::size_t to,
                                                        bool& lineEnds) {
  const __m256i upperLow = _mm256_set1_epi8('A' - 1), upperHigh = _mm256_set1_epi8('Z' + 1);
  const __m256i lowerLow = _mm256_set1_epi8('a' - 1), lowerHigh = _mm256_set1_epi8('z' + 1);
  const __m256i digitLow = _mm256_set1_epi8('/' - 1), digitHigh = _mm256_set1_epi8('9' + 1);
  const __m256i plus = _mm256_set1_epi8('+'), equals = _mm256_set1_epi8('='), space = _mm256_set1_epi8(' ');
  const __m256i tab = _mm256_set1_epi8('\t'), lineFeed = _mm256_set1_epi8('\n');
  const __m256i carriageReturn = _mm256_set1_epi8('\r');
  __m256i breaks = _mm256_setzero_si256();
  while (from + 32 <= to) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + from));
    const __m256i lineBreak =
        _mm256_or_si256(_mm256_cmpeq_epi8(v, lineFeed), _mm256_cmpeq_epi8(v, carriageReturn));
    __m256i text = _mm256_or_si256(within(v, upperLow, upperHigh), within(v, lowerLow, lowerHigh));
    text = _mm256_or_si256(text, _mm256_or_si256(within(v, digitLow, digitHigh), lineBreak));
    text = _mm256_or_si256(text, _mm256_or_si256(_mm256_cmpeq_epi8(v, plus), _mm256_cmpeq_epi8(v, equals)));
    text = _mm256_or_si256(text, _mm256_or_si256(_mm256_cmpeq_epi8(v, space), _mm256_cmpeq_epi8(v, tab)));
    const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(text));
    if (mask != 0xFFFFFFFFu) {
      const std::uint64_t before = (std::uint64_t{1} << __builtin_ctz(~mask)) - 1;
      if ((static_cast<unsigned>(_mm256_movemask_epi8(lineBreak)) & before) != 0) lineEnds = true;
      from += static_cast<std::size_t>(__builtin_ctz(~mask));
      break;
    }
    breaks = _mm256_or_si256(breaks, lineBreak);
    from += 32;
  }
  if (_mm256_movemask_epi8(breaks) != 0) lineEnds = true;
  return from;
}
#endif

// What the vector loops leave: fewer bytes than a vector, or the first byte that is not text.
std::size_t textEndTail(const char* data, std::size_t from, std::size_t to, bool& lineEnds) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
  while (from < to && kTextBytes[bytes[from]]) {
    if (bytes[from] == '\n' || bytes[from] == '\r') lineEnds = true;
    ++from;
  }
  return from;
}

}  // namespace

bool hasWideScan() { return cpuFeatures().avx2; }

std::size_t textEndAt(int width, const char* data, std::size_t from, std::size_t to, bool& lineEnds) {
#if defined(TORVA_X86_VECTORS)
  if (width >= 32 && hasWideScan()) from = textEndAvx2(data, from, to, lineEnds);
  if (width >= 16) from = textEndSse2(data, from, to, lineEnds);
#else
  static_cast<void>(width);
#endif
  return textEndTail(data, from, to, lineEnds);
}

std::size_t textEnd(const char* data, std::size_t from, std::size_t to, bool& lineEnds) {
  return textEndAt(32, data, from, to, lineEnds);
}

std::size_t textEnd(const char* data, std::size_t from, std::size_t to) {
  bool lineEnds = false;
  return textEnd(data, from, to, lineEnds);
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
