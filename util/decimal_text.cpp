#include "util/decimal_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/console.h"

namespace {

constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};

// Writes `value` in decimal into the end of `buffer`; returns the first digit.
char* writeDigits(char* end, std::uint64_t value, int minimumDigits) {
  char* cursor = end;
  do {
    *--cursor = static_cast<char>('0' + value % 10);
    value /= 10;
    --minimumDigits;
  } while (value != 0 || minimumDigits > 0);
  return cursor;
}

}  // namespace

void appendFixed(std::string& out, double value, int digits) {
  const double magnitude = std::fabs(value);
  if (digits < 0 || digits > 9 || !(magnitude < 9007199254740992.0)) {  // 2^53; NaN and inf too
    out += console::fixed(value, digits);
    return;
  }
  // magnitude = mantissa x 2^exponent exactly, with an integer mantissa below 2^53,
  // read off the bits (subnormals and zero have no hidden bit).
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased != 0) mantissa |= std::uint64_t{1} << 52;
  const int exponent = (biased != 0 ? biased : 1) - 1075;

  // The value times 10^digits, rounded to an integer, ties to even. The product
  // of the mantissa and the power of ten stays below 2^83.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPowersOfTen[digits];
  unsigned __int128 rounded = 0;
  if (exponent >= 0) {
    rounded = scaled << exponent;  // an integer below 2^53 here, so exponent is small
  } else if (-exponent < 100) {
    const int shift = -exponent;
    rounded = scaled >> shift;
    const unsigned __int128 remainder = scaled - (rounded << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (remainder > half || (remainder == half && (rounded & 1) != 0)) ++rounded;
  }  // else: far below 10^-digits / 2, rounds to zero

  const std::uint64_t power = kPowersOfTen[digits];
  std::uint64_t whole = 0;
  std::uint64_t part = 0;
  if ((rounded >> 64) == 0) {  // the usual case: 64-bit division is much cheaper
    const auto narrow = static_cast<std::uint64_t>(rounded);
    if (digits == 2) {  // the reports' usual precision: division by a constant
      whole = narrow / 100;
      part = narrow % 100;
    } else {
      whole = narrow / power;
      part = narrow % power;
    }
  } else {
    whole = static_cast<std::uint64_t>(rounded / power);
    part = static_cast<std::uint64_t>(rounded % power);
  }

  char buffer[48];
  char* const end = buffer + sizeof buffer;
  char* first = end;
  if (digits > 0) {
    first = writeDigits(end, part, digits);
    *--first = '.';
  }
  first = writeDigits(first, whole, 1);
  if (std::signbit(value)) *--first = '-';
  out.append(first, static_cast<std::size_t>(end - first));
}

std::string exactDecimal(double value, int fewestDigits) {
  char text[40];
  for (int digits = fewestDigits; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}
