// Bounded zlib inflation of compressed peak arrays.
#include "input/zlib_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

// Ends the inflate stream however the function is left (a failed resize included).
struct InflateStream {
  z_stream stream{};
  bool ready = false;
  InflateStream() { ready = inflateInit(&stream) == Z_OK; }
  ~InflateStream() {
    if (ready) inflateEnd(&stream);
  }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
};

}  // namespace

bool inflateLimited(const unsigned char* data, std::size_t size, std::size_t limit, std::vector<char>& out) {
  out.clear();
  if (size == 0) return false;
  InflateStream inflater;
  if (!inflater.ready) return false;
  z_stream& stream = inflater.stream;

  // The output grows geometrically from a modest start, never past limit + 1,
  // so a declared size that the data does not back is never allocated.
  const std::size_t cap = limit + 1;
  std::size_t capacity = std::min(cap, std::max<std::size_t>(65536, 4 * size));
  out.resize(capacity);
  std::size_t produced = 0;
  std::size_t consumed = 0;
  int status = Z_OK;
  while (true) {
    if (produced == capacity) {
      if (capacity == cap) break;  // more than `limit` bytes: stop here
      capacity = capacity > cap / 2 ? cap : 2 * capacity;
      out.resize(capacity);
    }
    const std::size_t inChunk = std::min<std::size_t>(size - consumed, UINT_MAX);
    const std::size_t outChunk = std::min<std::size_t>(capacity - produced, UINT_MAX);
    stream.next_in = const_cast<unsigned char*>(data + consumed);
    stream.avail_in = static_cast<uInt>(inChunk);
    stream.next_out = reinterpret_cast<unsigned char*>(out.data() + produced);
    stream.avail_out = static_cast<uInt>(outChunk);
    status = inflate(&stream, Z_NO_FLUSH);
    consumed += inChunk - stream.avail_in;
    produced += outChunk - stream.avail_out;
    if (status == Z_STREAM_END) break;
    if (status != Z_OK && status != Z_BUF_ERROR) break;  // corrupt data
    // No progress possible: the input ended before the stream did.
    if (status == Z_BUF_ERROR && stream.avail_out != 0) break;
    if (consumed == size && stream.avail_out != 0) {
      status = Z_BUF_ERROR;
      break;
    }
  }

  const bool passedLimit = produced > limit;
  if (status != Z_STREAM_END && !passedLimit) {
    out.clear();
    return false;
  }
  out.resize(produced);
  return true;
}
