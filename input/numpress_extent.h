#ifndef TORVA_INPUT_NUMPRESS_EXTENT_H
#define TORVA_INPUT_NUMPRESS_EXTENT_H

#include <cstddef>
#include <vector>

// The values an MS-Numpress array holds, found without decoding it: each value
// of the Linear and Pic encodings is a half-byte head that tells how many
// half-bytes follow; Slof takes two bytes a value. The count is the exact
// number libmsnumpress's decoder writes (or an upper bound when the data is
// corrupt), so the decoder's output can be sized by it instead of by two values
// per byte of input.
enum class NumpressKind { Linear, Pic, Slof };

// The values `decode` would write for these bytes.
std::size_t numpressValueCount(NumpressKind kind, const unsigned char* data, std::size_t size);

// Shortens `bytes` so that it decodes to at most `maxValues` values (the first
// ones, unchanged); true when anything was cut.
bool cutNumpressToValues(NumpressKind kind, std::vector<char>& bytes, std::size_t maxValues);

#endif
