#ifndef TORVA_INPUT_ZLIB_INFLATE_H
#define TORVA_INPUT_ZLIB_INFLATE_H

#include <cstddef>
#include <vector>

// Inflates one zlib stream of `size` bytes. Stops as soon as more than `limit`
// bytes have come out (at most limit + 1 are kept), so a stream that inflates
// to far more than expected costs no more memory than the limit. Returns
// false, with `out` empty, when the data is not a complete valid zlib stream
// (unless the limit was passed first, which counts as success).
bool inflateLimited(const unsigned char* data, std::size_t size, std::size_t limit, std::vector<char>& out);

#endif
