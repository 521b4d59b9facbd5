#ifndef TORVA_UTIL_DECIMAL_TEXT_H
#define TORVA_UTIL_DECIMAL_TEXT_H

#include <string>

// Appends `value` in fixed notation with `digits` digits after the point,
// byte for byte what console::fixed (printf "%.*f") writes, without going
// through printf for the common case: a finite value below 2^53 and at most
// nine digits. The exact binary value is rounded to the nearest multiple of
// 10^-digits, ties to even, as printf does in the default rounding mode; a
// negative value (or -0) keeps its minus sign even when it rounds to zero.
// Other values go through printf.
void appendFixed(std::string& out, double value, int digits);

// The shortest "%.Ng" text, N from `fewestDigits` up to 17, that reads back as
// exactly `value` (17 significant digits always do). More fewest digits keep
// moderately large whole numbers out of exponent notation (100000, not 1e+05).
std::string exactDecimal(double value, int fewestDigits = 1);

#endif
