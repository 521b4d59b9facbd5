// Plainly written markup read past expat.
#include "input/quick_markup.h"

#if defined(TORVA_X86_VECTORS)
#include <emmintrin.h>
#endif

#include <array>
#include <cstring>

namespace {

// Byte classes of markup read past expat.
enum : unsigned char {
  kNameStart = 1,  // may begin a name (ASCII only)
  kNameChar = 2,   // may go on in a name
  kSpace = 4,      // white space between attributes
  kValue = 8,      // may stand in a quoted value as it is (printable ASCII but "<" and "&")
  kText = 16,      // may stand in text as it is (kValue but "]", and white space)
};
constexpr std::array<unsigned char, 256> makeByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (int c = 0x20; c <= 0x7E; ++c) {
    if (c != '<' && c != '&') classes[c] |= kValue;
    if (c != '<' && c != '&' && c != ']') classes[c] |= kText;
  }
  for (int c : {' ', '\t', '\n', '\r'}) classes[c] |= kSpace | kText;
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    if (letter) classes[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') classes[c] |= kNameChar;
  }
  return classes;
}
constexpr std::array<unsigned char, 256> kByteClasses = makeByteClasses();
inline bool is(char c, unsigned char kind) {
  return (kByteClasses[static_cast<unsigned char>(c)] & kind) != 0;
}

// Line breaks as XML counts them, of white space at data[p] (a line feed, or
// a carriage return without one after it).
inline std::size_t breakAt(const char* data, std::size_t p, std::size_t to) {
  return data[p] == '\n' || (data[p] == '\r' && (p + 1 >= to || data[p + 1] != '\n')) ? 1 : 0;
}

// The first byte from p on that may not stand in a value quoted by `quote`
// as it is (the closing quote, if the value is plainly written), or `to`.
// Sixteen bytes at a time while they fit: a byte may stand when it lies in
// 0x20-0x7E and is neither "<", "&" nor the quote.
std::size_t valueEnd(const char* data, std::size_t p, std::size_t to, char quote) {
#if defined(TORVA_X86_VECTORS)
  const __m128i belowSpace = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F);
  const __m128i less = _mm_set1_epi8('<'), ampersand = _mm_set1_epi8('&'), quotes = _mm_set1_epi8(quote);
  for (; p + 16 <= to; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
    // Bytes from 0x80 on compare as negative, below the space.
    __m128i stop = _mm_or_si128(_mm_cmpgt_epi8(belowSpace, v), _mm_cmpeq_epi8(v, del));
    stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(v, less), _mm_cmpeq_epi8(v, ampersand)));
    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, quotes));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
    if (mask != 0) return p + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (p < to && data[p] != quote && is(data[p], kValue)) ++p;
  return p;
}

}  // namespace

std::size_t QuickMarkup::readStartTag(const char* data, std::size_t at, std::size_t to, bool& empty,
                                      std::size_t& lineBreaks, bool& cut) {
  constexpr std::size_t kMostAttributes = 32;
  std::size_t p = at + 1;
  cut = false;
  // Where the data ends inside a tag that is plainly written so far, `cut` is set.
  const auto cutOff = [&cut] {
    cut = true;
    return std::size_t{0};
  };
  if (p >= to) return cutOff();
  if (!is(data[p], kNameStart)) return 0;
  while (p < to && is(data[p], kNameChar)) ++p;
  state_.tagText.assign(data + at + 1, p - at - 1).push_back('\0');
  state_.offsets.clear();
  lineBreaks = 0;
  while (true) {
    // The tag's end, or white space and then an attribute or the end.
    if (p < to && data[p] == '>') {
      empty = false;
      ++p;
      break;
    }
    if (p + 1 < to && data[p] == '/' && data[p + 1] == '>') {
      empty = true;
      p += 2;
      break;
    }
    if (p >= to || (data[p] == '/' && p + 1 >= to)) return cutOff();
    if (!is(data[p], kSpace)) return 0;
    for (; p < to && is(data[p], kSpace); ++p) lineBreaks += breakAt(data, p, to);
    if (p < to && (data[p] == '>' || data[p] == '/')) continue;
    // name="value" or name='value'
    if (p >= to) return cutOff();
    if (!is(data[p], kNameStart) || state_.offsets.size() >= 2 * kMostAttributes) return 0;
    const std::size_t nameBegin = p;
    while (p < to && is(data[p], kNameChar)) ++p;
    const std::size_t nameEnd = p;
    if (p >= to || (data[p] == '=' && p + 1 >= to)) return cutOff();
    if (data[p] != '=' || (data[p + 1] != '"' && data[p + 1] != '\'')) return 0;
    const char quote = data[p + 1];
    p += 2;
    const std::size_t valueBegin = p;
    p = valueEnd(data, p, to, quote);
    if (p >= to) return cutOff();
    if (data[p] != quote) return 0;
    const std::size_t valueEnd = p++;
    // A repeated name is an error for expat to report. (A name's length is
    // the distance to its value, less the NUL after it.)
    const std::size_t nameLength = nameEnd - nameBegin;
    for (std::size_t i = 0; i < state_.offsets.size(); i += 2) {
      const char* seen = state_.tagText.data() + state_.offsets[i];
      if (state_.offsets[i + 1] - state_.offsets[i] - 1 == nameLength && seen[0] == data[nameBegin] &&
          std::memcmp(seen, data + nameBegin, nameLength) == 0) {
        return 0;
      }
    }
    state_.offsets.push_back(state_.tagText.size());
    state_.tagText.append(data + nameBegin, nameLength).push_back('\0');
    state_.offsets.push_back(state_.tagText.size());
    state_.tagText.append(data + valueBegin, valueEnd - valueBegin).push_back('\0');
  }
  state_.attributes.clear();
  for (std::size_t offset : state_.offsets) state_.attributes.push_back(state_.tagText.data() + offset);
  state_.attributes.push_back(nullptr);
  return p;
}

std::size_t QuickMarkup::readEndTag(const char* data, std::size_t at, std::size_t to,
                                    std::size_t& lineBreaks) const {
  if (state_.openStarts.empty()) return 0;
  const std::size_t start = state_.openStarts.back();
  const std::size_t length = state_.open.size() - start - 1;
  std::size_t p = at + 2;
  if (to - p < length || std::memcmp(data + p, state_.open.data() + start, length) != 0) return 0;
  p += length;
  lineBreaks = 0;
  for (; p < to && is(data[p], kSpace); ++p) lineBreaks += breakAt(data, p, to);
  return p < to && data[p] == '>' ? p + 1 : 0;
}

bool QuickMarkup::endTagCutOff(const char* data, std::size_t at, std::size_t to) {
  std::size_t p = at + 2;
  if (p < to && !is(data[p], kNameStart)) return false;
  while (p < to && is(data[p], kNameChar)) ++p;
  while (p < to && is(data[p], kSpace)) ++p;
  return p >= to;
}

bool QuickMarkup::plainText(const char* data, std::size_t from, std::size_t to, std::size_t& lineBreaks,
                            bool& carriageReturn) {
  lineBreaks = 0;
  carriageReturn = false;
  for (std::size_t p = from; p < to; ++p) {
    if (!is(data[p], kText)) return false;
    if (data[p] == '\n' || data[p] == '\r') {
      lineBreaks += breakAt(data, p, to);
      carriageReturn = carriageReturn || data[p] == '\r';
    }
  }
  return true;
}

void QuickMarkup::openTag() {
  state_.openStarts.push_back(state_.open.size());
  state_.open.append(state_.tagText.c_str(), state_.tagText.find('\0') + 1);
}

void QuickMarkup::closeInnermost() {
  state_.open.resize(state_.openStarts.back());
  state_.openStarts.pop_back();
}

std::string QuickMarkup::takeOpenTags() {
  std::string tags;
  for (std::size_t start : state_.openStarts) {
    tags += '<';
    tags += state_.open.c_str() + start;
    tags += '>';
  }
  state_.open.clear();
  state_.openStarts.clear();
  return tags;
}
