// Peak-array decoding, record assembly and titles of the shared handler core.
#include "input/spectra_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/input_error.h"
#include "tests/test_support.h"
#include "util/console.h"

using testsupport::base64;
using testsupport::bigEndianDoubles;
using testsupport::bigEndianFloats;
using testsupport::littleEndianDoubles;

namespace {

class SpectraHandlerTest : public testing::Test {
 protected:
  // Decodes `text` as one pair array of `count` peaks and returns the stdout it printed.
  std::string decodePairs(const std::string& text, int count, bool lowPrecision = true, bool zlib = false) {
    handler.text = text;
    handler.peaksCount = count;
    handler.lowPrecision = lowPrecision;
    handler.zlibCompressed = zlib;
    testsupport::ConsoleCapture capture;
    handler.pushPeaks(true, true);
    return capture.takeOut();
  }

  std::vector<scan> spectra;
  Header header;
  SAXSpectraHandler handler{spectra, header};
};

const std::vector<float> kPairs = {100.5f, 10, 200.25f, 20, 300.125f, 30};
const std::vector<double> kPairs64 = {100.123456789, 1e6, 200.5, 2.5};

}  // namespace

TEST_F(SpectraHandlerTest, BigEndianPairsSplitIntoMzAndIntensity) {
  handler.littleEndian = false;
  EXPECT_EQ(decodePairs(base64(bigEndianFloats(kPairs)), 3), "");
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.5f, 200.25f, 300.125f}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{10, 20, 30}));
}

TEST_F(SpectraHandlerTest, ShortThirtyTwoBitArrayIsZeroFilledAndLongOneCut) {
  handler.littleEndian = false;
  decodePairs(base64(bigEndianFloats(kPairs)), 4);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.5f, 200.25f, 300.125f, 0}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{10, 20, 30, 0}));
  decodePairs(base64(bigEndianFloats(kPairs)), 2);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.5f, 200.25f}));
}

TEST_F(SpectraHandlerTest, SixtyFourBitArraysInBothByteOrders) {
  handler.littleEndian = false;
  decodePairs(base64(bigEndianDoubles(kPairs64)), 2, false);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.123456789f, 200.5f}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{1e6f, 2.5f}));
  handler.littleEndian = true;
  decodePairs(base64(littleEndianDoubles(kPairs64)), 2, false);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.123456789f, 200.5f}));
}

TEST_F(SpectraHandlerTest, NoPeaksDeclaredDecodesNothing) {
  handler.jobSide.mzValues = {1};
  decodePairs(base64(bigEndianFloats(kPairs)), 0, false);  // a 64-bit length check does not apply
  EXPECT_TRUE(handler.jobSide.mzValues.empty());
}

TEST_F(SpectraHandlerTest, CompressedArraysMatchTheirPlainForms) {
  handler.littleEndian = false;
  decodePairs(base64(testsupport::zlibCompress(bigEndianFloats(kPairs))), 3, true, true);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.5f, 200.25f, 300.125f}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{10, 20, 30}));
  decodePairs(base64(testsupport::zlibCompress(bigEndianDoubles(kPairs64))), 2, false, true);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.123456789f, 200.5f}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{1e6f, 2.5f}));
}

TEST_F(SpectraHandlerTest, CompressedStreamsThatFailOrOverflow) {
  handler.littleEndian = false;
  // Corrupt data counts as no bytes: the short 32-bit array is zero-filled.
  decodePairs(base64("not a zlib stream"), 2, true, true);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{0, 0}));
  // A stream that inflates to far more than declared is cut at the declared size.
  decodePairs(base64(testsupport::zlibCompress(bigEndianFloats(kPairs) + std::string(50000000, '\0'))), 1,
              true, true);
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{100.5f}));
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{10}));
}

TEST_F(SpectraHandlerTest, DeclaredCountFarBeyondTheArrayIsCut) {
  handler.littleEndian = false;
  // Two pairs are 16 bytes; a declared count is honoured up to 16 + 65536 bytes.
  const std::string twoPairs = base64(bigEndianFloats({1, 2, 3, 4}));
  EXPECT_EQ(decodePairs(twoPairs, 8194), "");
  EXPECT_EQ(handler.jobSide.mzValues.size(), 8194u);
  EXPECT_EQ(decodePairs(twoPairs, 8195),
            " declared peaksCount 8195 exceeds the 16 bytes of its peak array: reading 2 peaks\n");
  EXPECT_EQ(handler.jobSide.mzValues, (std::vector<float>{1, 3}));
  EXPECT_EQ(decodePairs(twoPairs, 2147483647),
            " declared peaksCount 2147483647 exceeds the 16 bytes of its peak array: reading 2 peaks\n");
  EXPECT_EQ(decodePairs(base64(testsupport::zlibCompress(bigEndianFloats({1, 2, 3, 4, 5}))), 2147483647, true,
                        true),
            " declared peaksCount 2147483647 exceeds the 20 bytes of its peak array: reading 2 peaks\n");
  EXPECT_EQ(handler.jobSide.intensityValues, (std::vector<float>{2, 4}));
}

// A 64-bit array of the wrong length stops the reading with the message the
// driver prints, without allocating for a huge declared count, and the array
// holds nothing.
TEST_F(SpectraHandlerTest, SixtyFourBitLengthMismatchThrowsInputError) {
  handler.lowPrecision = false;
  handler.text = base64(bigEndianDoubles({1, 2, 3}));
  for (const std::int32_t count : {2, 2147483647}) {
    for (const bool zlib : {false, true}) {
      handler.peaksCount = count;
      handler.zlibCompressed = zlib;
      try {
        handler.pushPeaks(true, true);
        ADD_FAILURE() << "no error for count " << count;
      } catch (const InputError& error) {
        if (count == 2 && !zlib) {
          EXPECT_STREQ(
              error.what(),
              " decoded size 24 and required size 32 dont match:\n Cause: possible corrupted file.\n");
        }
      }
      EXPECT_TRUE(handler.jobSide.mzValues.empty());
    }
  }
}

TEST_F(SpectraHandlerTest, PushSpectrumCopiesValuesAndStopsAtShorterArray) {
  handler.inputFile = "/data/run1.mzXML";
  handler.num = 1375;
  handler.id = 9;
  handler.msLevel = 2;
  handler.rt = 12.5;
  handler.precursorMz = 301.1;
  handler.filterLine = "f";
  handler.peaksCount = 5;
  handler.jobSide.mzValues = {1, 2, 3};
  handler.jobSide.intensityValues = {10, 20};
  handler.pushSpectrum();
  ASSERT_EQ(spectra.size(), 1u);
  const scan& s = spectra[0];
  EXPECT_EQ(s.description, "run1.mzXML scan 1375 (charge 0)");
  EXPECT_EQ(s.id, 9);
  EXPECT_EQ(s.num, 1375);
  EXPECT_EQ(s.peaksCount, 5);
  EXPECT_EQ(s.msLevel, 2);
  EXPECT_EQ(s.rt, 12.5);
  EXPECT_EQ(s.precursorMz, 301.1);
  EXPECT_EQ(s.filterLine, "f");
  ASSERT_EQ(s.peaks.size(), 2u);
  EXPECT_EQ(s.peaks[1].mz, 2);
  EXPECT_EQ(s.peaks[1].intensity, 20);
}

TEST_F(SpectraHandlerTest, ProgressDotEveryTwoThousandSpectra) {
  testsupport::ConsoleCapture capture;
  for (int i = 0; i < 1999; ++i) handler.pushSpectrum();
  EXPECT_EQ(capture.takeOut(), "");
  handler.pushSpectrum();
  EXPECT_EQ(capture.takeOut(), ".");
  for (int i = 0; i < 2000; ++i) handler.pushSpectrum();
  EXPECT_EQ(capture.takeOut(), ".");
  EXPECT_EQ(spectra.size(), 4000u);
}

TEST_F(SpectraHandlerTest, TitleUsesTheBaseNameOfThePath) {
  handler.jobSide.current.num = 3;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"run.mzXML", "run.mzXML"},   {"a/b/run.mzXML", "run.mzXML"},  {"C:\\data\\run.mzXML", "run.mzXML"},
      {"/run.mzXML", "/run.mzXML"}, {"a\\b/run.mzXML", "run.mzXML"}, {"a/b\\run.mzXML", "run.mzXML"}};
  for (const auto& [path, base] : cases) {
    handler.inputFile = path;
    handler.setDescription();
    EXPECT_EQ(handler.jobSide.current.description, base + " scan 3 (charge 0)") << path;
  }
}
