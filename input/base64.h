#ifndef TORVA_INPUT_BASE64_H
#define TORVA_INPUT_BASE64_H

#include <cstddef>

// Decodes base64 text `src` (NUL-terminated) into at most `destSize` bytes of
// `dest`; returns the number of bytes written. XML white space is skipped.
int b64_decode_mio(char* dest, const char* src, std::size_t destSize);

#endif
