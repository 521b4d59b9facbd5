#ifndef TORVA_INPUT_XML_VALUES_H
#define TORVA_INPUT_XML_VALUES_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Element names and attribute values as the readers compare and convert them:
// names byte-wise, numbers without validation (text that is not a number reads 0).
inline bool isName(const char* name, const char* expected) { return std::strcmp(name, expected) == 0; }
inline std::int32_t readInt(const char* text) {
  return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}
inline double readDouble(const char* text) { return std::strtod(text, nullptr); }

#endif
