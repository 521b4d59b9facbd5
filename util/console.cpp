#include "util/console.h"

#include <cstdio>

namespace console {

void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void outFlush(const std::string& text) {
  out(text);
  std::fflush(stdout);
}

void flush() { std::fflush(stdout); }

void err(const std::string& text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string general(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string fixed(double value, int digits) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
  return buffer;
}

}  // namespace console
