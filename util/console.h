#ifndef TORVA_UTIL_CONSOLE_H
#define TORVA_UTIL_CONSOLE_H

#include <string>

// The one place through which the tool writes to its standard streams.
// Progress lines and messages go to standard output, flushed when a line ends;
// diagnostics that are not part of the tool's regular output go to standard error.
namespace console {

// Where the text goes. The default sink writes to the process's standard
// streams; another one (a test's capture, say) may take its place.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void out(const std::string& text) = 0;  // standard output, buffered
  virtual void flush() = 0;                       // flushes standard output
  virtual void err(const std::string& text) = 0;  // standard error, after flushing output
};

// Installs `sink` (nullptr: the standard streams again) and returns the one it
// replaces. Not meant to be swapped while other threads write.
Sink* setSink(Sink* sink);

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
