// The base64 decoder of peak arrays.
#include "input/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/reference/reference_base64.h"
#include "tests/test_support.h"

namespace {

// Decodes `text` into at most `limit` bytes.
std::string decode(std::string text, std::size_t limit = 64) {
  std::string out(limit, '\0');
  const int written = b64_decode_mio(&out[0], &text[0], limit);
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace

TEST(Base64, DecodesEveryByteValue) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  EXPECT_EQ(decode(testsupport::base64(bytes), 300), bytes);
}

TEST(Base64, PaddingEndsTheOutput) {
  EXPECT_EQ(decode("QQ=="), "A");
  EXPECT_EQ(decode("QUI="), "AB");
  // A group that starts with the pad character ends decoding.
  EXPECT_EQ(decode("QUJD=AAAREVG"), "ABC");
}

TEST(Base64, IncompleteLastGroupIsDroppedWhole) {
  EXPECT_EQ(decode("QUJDRA"), "ABC");
  EXPECT_EQ(decode("QUJ"), "");
}

TEST(Base64, NeverWritesPastTheLimit) {
  std::string out = "xxxxxxxx";
  std::string text = "QUJDREVG";
  EXPECT_EQ(b64_decode_mio(&out[0], &text[0], 4), 4);
  EXPECT_EQ(out, "ABCDxxxx");
  EXPECT_EQ(b64_decode_mio(&out[0], &text[0], 0), 0);
  EXPECT_EQ(out, "ABCDxxxx");
}

TEST(Base64, SkipsXmlWhitespace) {
  EXPECT_EQ(decode("\n\t QUJD\r\n  REVG\n  "), "ABCDEF");
  EXPECT_EQ(decode("QU JD RE VG"), "ABCDEF");
  // White space between the data and its padding.
  EXPECT_EQ(decode("QUI\n="), "AB");
}

TEST(Base64, OtherCharactersMapWithoutValidation) {
  // '-' and bytes above 127 read as 63, like '/'.
  EXPECT_EQ(decode("AAA-"), decode("AAA/"));
  EXPECT_EQ(decode("AAA\xC3"), decode("AAA/"));
  // '@' lies just below 'A' and reads as 68; output bytes are cut to 8 bits.
  EXPECT_EQ(decode("@AAA"), std::string(1, static_cast<char>(0x10)) + std::string(2, '\0'));
}

// The whole-group fast path against the plain decoder: mostly clean base64
// with white space, padding, stray and high bytes sprinkled in, every limit.
TEST(Base64, AgreesWithThePlainDecoderOnMixedText) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string odd = " \t\n\r=-@[`{~\x7F\x80\xC3\xFF:";
  std::mt19937 random(11);
  for (int trial = 0; trial < 3000; ++trial) {
    std::string text;
    const int length = static_cast<int>(random() % 90);
    const unsigned oddRate = 1 + random() % 40;
    for (int i = 0; i < length; ++i) {
      text += random() % oddRate == 0 ? odd[random() % odd.size()] : alphabet[random() % alphabet.size()];
    }
    const std::size_t limit = random() % 70;
    std::string fast(limit + 8, 'x'), plain(limit + 8, 'x');
    const int fastCount = b64_decode_mio(&fast[0], text.c_str(), limit);
    const int plainCount = reference::plainBase64Decode(&plain[0], text.c_str(), limit);
    ASSERT_EQ(fastCount, plainCount) << testing::PrintToString(text) << " limit " << limit;
    ASSERT_EQ(fast, plain) << testing::PrintToString(text) << " limit " << limit;
  }
}
