#include "input/numpress_extent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <libmsnumpress/MSNumpress.hpp>
#include <random>
#include <vector>

namespace {

namespace numpress = ms::numpress::MSNumpress;

// What libmsnumpress writes for the bytes, into room for two values a byte;
// -1 when it refuses them as corrupt.
long decodedCount(NumpressKind kind, const std::vector<unsigned char>& bytes, std::vector<double>* values) {
  std::vector<double> out(2 * bytes.size() + 2);
  try {
    std::size_t count = 0;
    if (kind == NumpressKind::Linear) count = numpress::decodeLinear(bytes.data(), bytes.size(), out.data());
    if (kind == NumpressKind::Pic) count = numpress::decodePic(bytes.data(), bytes.size(), out.data());
    if (kind == NumpressKind::Slof) count = numpress::decodeSlof(bytes.data(), bytes.size(), out.data());
    out.resize(count);
    if (values != nullptr) *values = out;
    return static_cast<long>(count);
  } catch (const char*) {
    return -1;
  }
}

std::vector<unsigned char> encoded(NumpressKind kind, const std::vector<double>& values) {
  std::vector<unsigned char> bytes(values.size() * 5 + 16);
  std::size_t size = 0;
  if (kind == NumpressKind::Linear) {
    size = numpress::encodeLinear(values.data(), values.size(), bytes.data(),
                                  numpress::optimalLinearFixedPoint(values.data(), values.size()));
  } else if (kind == NumpressKind::Pic) {
    size = numpress::encodePic(values.data(), values.size(), bytes.data());
  } else {
    size = numpress::encodeSlof(values.data(), values.size(), bytes.data(),
                                numpress::optimalSlofFixedPoint(values.data(), values.size()));
  }
  bytes.resize(size);
  return bytes;
}

const NumpressKind kKinds[] = {NumpressKind::Linear, NumpressKind::Pic, NumpressKind::Slof};

}  // namespace

// The count sizes the decoder's output, so it must never be below what the
// decoder writes: random bytes (most of them corrupt) of every length.
TEST(NumpressExtent, CountIsWhatTheDecoderWrites) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 200000; ++trial) {
    const NumpressKind kind = kKinds[trial % 3];
    std::vector<unsigned char> bytes(random() % 48);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random() & (trial % 2 == 0 ? 0xFF : 0x88));
    if (kind == NumpressKind::Slof && (bytes.size() < 8 || (bytes.size() - 8) % 2 != 0)) continue;
    const long decoded = decodedCount(kind, bytes, nullptr);
    if (decoded < 0) continue;
    ASSERT_EQ(static_cast<std::size_t>(decoded), numpressValueCount(kind, bytes.data(), bytes.size()))
        << "kind " << static_cast<int>(kind) << " size " << bytes.size();
  }
}

TEST(NumpressExtent, CutKeepsTheFirstValuesExactly) {
  std::vector<double> values;
  for (int i = 0; i < 300; ++i) values.push_back(100.0 + i * 0.37 + (i % 7) * 1000.0 * (i % 3));
  for (const NumpressKind kind : kKinds) {
    const std::vector<unsigned char> whole = encoded(kind, values);
    std::vector<double> all;
    ASSERT_EQ(decodedCount(kind, whole, &all), 300);
    for (const std::size_t keep : {0, 1, 2, 3, 17, 150, 299, 300, 1000}) {
      std::vector<char> bytes(whole.begin(), whole.end());
      EXPECT_EQ(cutNumpressToValues(kind, bytes, keep), keep < 300) << keep;
      const std::vector<unsigned char> cut(bytes.begin(), bytes.end());
      std::vector<double> first;
      const std::size_t expected = std::min<std::size_t>(keep, 300);
      ASSERT_EQ(decodedCount(kind, cut, &first), static_cast<long>(expected))
          << "kind " << static_cast<int>(kind) << " keep " << keep;
      EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin())) << keep;
    }
  }
}
