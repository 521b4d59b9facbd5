#ifndef TORVA_UTIL_CONSOLE_H
#define TORVA_UTIL_CONSOLE_H

#include <string>

// The one place through which the tool writes to its standard streams.
// Progress lines and messages go to standard output, flushed when a line ends;
// diagnostics that are not part of the tool's regular output go to standard error.
namespace console {

// Writes text to standard output without flushing.
void out(const std::string& text);
// Writes text to standard output and flushes it.
void outFlush(const std::string& text);
// Flushes standard output.
void flush();
// Writes text to standard error (unbuffered).
void err(const std::string& text);

// A double in the stream's default notation: up to six significant digits,
// fixed or scientific, whichever is shorter, without trailing zeros (%g).
std::string general(double value);
// A double in fixed notation with the given number of digits after the point (%.Nf).
std::string fixed(double value, int digits);

}  // namespace console

#endif
