// Value counts of MS-Numpress arrays.
#include "input/numpress_extent.h"

namespace {

// Header bytes before the half-byte coded values of Linear (fixed point and
// the first two values, four bytes each).
constexpr std::size_t kLinearHeader = 16;
constexpr std::size_t kSlofHeader = 8;

// Walks half-byte coded integers from byte `start`. Stops after `maxValues`
// values (then `cutHalf` is the half-byte where the next value starts) or at
// the end, where the decoder stops too: a last low half-byte of zero is padding.
std::size_t walkHalfBytes(const unsigned char* data, std::size_t size, std::size_t start,
                          std::size_t maxValues, std::size_t& cutHalf) {
  std::size_t half = 2 * start;
  std::size_t values = 0;
  while (half / 2 < size) {
    const std::size_t byte = half / 2;
    const bool low = (half & 1) != 0;
    if (byte == size - 1 && low && (data[byte] & 0xF) == 0) break;
    if (values == maxValues) break;
    const unsigned head = low ? (data[byte] & 0xFu) : (data[byte] >> 4);
    const unsigned leading = head <= 8 ? head : head - 8;
    half += 1 + (8 - leading);
    ++values;
  }
  cutHalf = half;
  return values;
}

}  // namespace

std::size_t numpressValueCount(NumpressKind kind, const unsigned char* data, std::size_t size) {
  std::size_t ignored = 0;
  switch (kind) {
    case NumpressKind::Slof:
      return size < kSlofHeader ? 0 : (size - kSlofHeader) / 2;
    case NumpressKind::Pic:
      return walkHalfBytes(data, size, 0, static_cast<std::size_t>(-1), ignored);
    case NumpressKind::Linear:
      if (size < 12) return 0;
      if (size < kLinearHeader) return 1;
      return 2 + walkHalfBytes(data, size, kLinearHeader, static_cast<std::size_t>(-1), ignored);
  }
  return 0;
}

bool cutNumpressToValues(NumpressKind kind, std::vector<char>& bytes, std::size_t maxValues) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  std::size_t keep = size;
  std::size_t cutHalf = 2 * size;
  switch (kind) {
    case NumpressKind::Slof:
      if (size >= kSlofHeader && (size - kSlofHeader) / 2 > maxValues) keep = kSlofHeader + 2 * maxValues;
      break;
    case NumpressKind::Pic:
      walkHalfBytes(data, size, 0, maxValues, cutHalf);
      break;
    case NumpressKind::Linear:
      if (maxValues < 2) {
        if (size > 12 && maxValues == 1) keep = 12;
        if (size > 8 && maxValues == 0) keep = 8;
      } else if (size > kLinearHeader) {
        walkHalfBytes(data, size, kLinearHeader, maxValues - 2, cutHalf);
      }
      break;
  }
  if (cutHalf < 2 * size) {
    keep = (cutHalf + 1) / 2;
    // A value that ends in the high half of the last byte kept: its low half,
    // zero, is the padding the decoder stops at.
    if ((cutHalf & 1) != 0) bytes[keep - 1] = static_cast<char>(bytes[keep - 1] & 0xF0);
  }
  if (keep >= size) return false;
  bytes.resize(keep);
  return true;
}
