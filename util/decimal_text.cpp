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

// "00" to "99", two characters each.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

// Writes `value` in decimal into the end of `buffer`, at least `minimumDigits`
// digits (zeros in front); returns the first digit. Two digits at a time.
char* writeDigits(char* end, std::uint64_t value, int minimumDigits) {
  char* cursor = end;
  while (value >= 100) {
    const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--cursor = kDigitPairs[pair + 1];
    *--cursor = kDigitPairs[pair];
    minimumDigits -= 2;
  }
  do {
    *--cursor = static_cast<char>('0' + value % 10);
    value /= 10;
    --minimumDigits;
  } while (value != 0 || minimumDigits > 0);
  return cursor;
}

}  // namespace

namespace {

// The magnitude times 100 rounded to an integer as printf rounds it, when the
// double product tells it: below 2^52 every half-integer is a double, and
// rounding to a double keeps order, so the rounded product lies on the same
// side of each half-integer as the exact one, or on it. Unless it is on one (a
// tie, or too close to tell), both round to the same integer, with no tie.
bool hundredths(double magnitude, std::uint64_t& rounded) {
  if (!(magnitude < 35184372088832.0)) return false;  // 2^45: magnitude x 100 stays below 2^52
  const double p = magnitude * 100.0;
  const auto below = static_cast<std::uint64_t>(p);        // p >= 0: truncation is the floor
  const double fraction = p - static_cast<double>(below);  // exact: both lie in p's binade or below
  if (fraction == 0.5) return false;
  rounded = below + (fraction > 0.5 ? 1 : 0);
  return true;
}

// The magnitude (finite, below 2^53) times 10^digits, rounded to an integer,
// ties to even, from its exact binary value.
unsigned __int128 scaledExactly(double magnitude, int digits) {
  // magnitude = mantissa x 2^exponent exactly, with an integer mantissa below 2^53,
  // read off the bits (subnormals and zero have no hidden bit).
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased != 0) mantissa |= std::uint64_t{1} << 52;
  const int exponent = (biased != 0 ? biased : 1) - 1075;

  // The product of the mantissa and the power of ten stays below 2^83.
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
  return rounded;
}

}  // namespace

void appendFixed(std::string& out, double value, int digits) {
  const double magnitude = std::fabs(value);
  if (digits < 0 || digits > 9 || !(magnitude < 9007199254740992.0)) {  // 2^53; NaN and inf too
    out += console::fixed(value, digits);
    return;
  }
  const std::uint64_t power = kPowersOfTen[digits];
  std::uint64_t whole = 0;
  std::uint64_t part = 0;
  std::uint64_t cents = 0;
  if (digits == 2 && hundredths(magnitude, cents)) {  // the reports' usual precision
    whole = cents / 100;
    part = cents % 100;
  } else {
    const unsigned __int128 rounded = scaledExactly(magnitude, digits);
    if ((rounded >> 64) == 0) {  // the usual case: 64-bit division is much cheaper
      whole = static_cast<std::uint64_t>(rounded) / power;
      part = static_cast<std::uint64_t>(rounded) % power;
    } else {
      whole = static_cast<std::uint64_t>(rounded / power);
      part = static_cast<std::uint64_t>(rounded % power);
    }
  }

  char buffer[48];
  char* const end = buffer + sizeof buffer;
  char* first = end;
  if (digits == 2) {
    first -= 3;
    first[0] = '.';
    first[1] = kDigitPairs[part * 2];
    first[2] = kDigitPairs[part * 2 + 1];
  } else if (digits > 0) {
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
