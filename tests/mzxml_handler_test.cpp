// The mzXML reader: scan nesting, Zoom and MS3 scans, ids, arrays, times.
#include "input/mzxml_handler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/xml_values.h"
#include "tests/test_support.h"
#include "tools/sim_random.h"
#include "util/same_bits.h"

using testsupport::base64;
using testsupport::bigEndianDoubles;
using testsupport::bigEndianFloats;
using testsupport::TempDir;

namespace {

std::string peaks32(const std::vector<float>& pairs) {
  return "<peaks precision=\"32\" byteOrder=\"network\" pairOrder=\"m/z-int\">" +
         base64(bigEndianFloats(pairs)) + "</peaks>";
}

std::string precursor(const std::string& mz) {
  return "<precursorMz precursorIntensity=\"5\" precursorCharge=\"2\">" + mz + "</precursorMz>";
}

// A scan element holding `inner`; `attributes` are written as given.
std::string scanXml(const std::string& attributes, const std::string& inner) {
  return "<scan " + attributes + ">\n" + inner + "\n</scan>\n";
}

std::string document(const std::string& scans) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML>\n<msRun scanCount=\"9\">\n"
         "<parentFile fileName=\"x.raw\" fileType=\"RAWData\"/>\n" +
         scans + "</msRun>\n</mzXML>\n";
}

struct Loaded {
  std::vector<scan> spectra;
  Header header;
  bool ok = false;
  std::string out;
  std::string err;
};

Loaded load(const std::string& xml) {
  TempDir dir;
  Loaded loaded;
  SAXMzxmlHandler handler(loaded.spectra, loaded.header);
  handler.inputFile = dir.write("run.mzXML", xml);
  testsupport::ConsoleCapture capture;
  loaded.ok = handler.parse();
  loaded.err = capture.takeErr();
  loaded.out = capture.takeOut();
  return loaded;
}

std::vector<std::int64_t> levels(const std::vector<scan>& spectra) {
  std::vector<std::int64_t> out;
  for (const scan& s : spectra) out.push_back(s.msLevel);
  return out;
}

std::vector<std::int64_t> nums(const std::vector<scan>& spectra) {
  std::vector<std::int64_t> out;
  for (const scan& s : spectra) out.push_back(s.num);
  return out;
}

std::string ms1(int num, const std::string& inner, const std::string& scanType = "Full") {
  return scanXml("num=\"" + std::to_string(num) + "\" msLevel=\"1\" peaksCount=\"1\" scanType=\"" + scanType +
                     "\" retentionTime=\"PT" + std::to_string(num) + "S\"",
                 peaks32({100.0f + num, 1000}) + inner);
}

std::string ms2(int num, const std::string& inner, int level = 2) {
  return scanXml("num=\"" + std::to_string(num) + "\" msLevel=\"" + std::to_string(level) +
                     "\" peaksCount=\"1\" retentionTime=\"PT" + std::to_string(num) + "S\"",
                 inner + peaks32({200.0f + num, 2000}));
}

}  // namespace

TEST(MzxmlHandler, NestedMs2ScansKeepFileOrder) {
  const auto loaded = load(document(ms1(1, ms2(2, precursor("301.1")) + ms2(3, "")) + ms1(4, ms2(5, ""))));
  EXPECT_TRUE(loaded.ok);
  EXPECT_EQ(levels(loaded.spectra), (std::vector<std::int64_t>{1, 2, 2, 1, 2}));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(loaded.spectra[1].precursorMz, 301.1);
  EXPECT_EQ(loaded.spectra[2].precursorMz, 0);
  ASSERT_EQ(loaded.spectra[0].peaks.size(), 1u);
  EXPECT_EQ(loaded.spectra[0].peaks[0].mz, 101);
  EXPECT_EQ(loaded.spectra[1].peaks[0].mz, 202);
  EXPECT_EQ(loaded.spectra[1].peaks[0].intensity, 2000);
  EXPECT_EQ(loaded.spectra[2].rt, 3);
  // The MS2 scans carry the scan type last read from an MS1 scan.
  EXPECT_EQ(loaded.spectra[2].scanType, "Full");
}

TEST(MzxmlHandler, FlatScansKeepFileOrder) {
  const auto loaded = load(document(ms1(1, "") + ms2(2, precursor("301.1")) + ms1(3, "") + ms2(4, "")));
  EXPECT_EQ(levels(loaded.spectra), (std::vector<std::int64_t>{1, 2, 1, 2}));
  EXPECT_EQ(loaded.spectra[1].precursorMz, 301.1);
  EXPECT_EQ(loaded.spectra[3].precursorMz, 0);
}

TEST(MzxmlHandler, ZoomScansAreDropped) {
  // Closed before the next scan.
  auto loaded = load(document(ms1(1, "") + ms1(2, "", "Zoom") + ms1(3, "")));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{1, 3}));
  // With one MS2 child: the child is appended when the zoom scan closes.
  loaded = load(document(ms1(1, ms2(2, ""), "Zoom")));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{2}));
  // With two: the first child's values are overwritten while still pending.
  loaded = load(document(ms1(1, ms2(2, "") + ms2(3, ""), "Zoom") + ms1(4, "")));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{3, 4}));
}

TEST(MzxmlHandler, Ms3InsidePendingMs2AppendsTheMs2WithoutPeaks) {
  const auto loaded =
      load(document(ms1(1, ms2(2, precursor("343.07") + ms2(3, precursor("191.05"), 3) + ms2(4, "", 3)))));
  ASSERT_EQ(levels(loaded.spectra), (std::vector<std::int64_t>{1, 2}));
  const scan& ms2Scan = loaded.spectra[1];
  EXPECT_EQ(ms2Scan.num, 2);
  EXPECT_TRUE(ms2Scan.peaks.empty());
  EXPECT_EQ(ms2Scan.precursorMz, 191.05);
}

TEST(MzxmlHandler, FlatMs3ScansAreNotAppended) {
  const auto loaded = load(document(ms1(1, "") + ms2(2, "", 3) + ms2(3, "")));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{1, 3}));
}

TEST(MzxmlHandler, DuplicateScanNumbersGetUniqueIds) {
  const auto loaded = load(document(ms1(7, "") + ms1(7, "") + ms1(8, "") + ms1(7, "")));
  std::vector<std::int64_t> ids;
  for (const scan& s : loaded.spectra) ids.push_back(s.id);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{7, 8, 9, 10}));
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{7, 7, 8, 7}));
}

TEST(MzxmlHandler, ScanAttributesAndDefaults) {
  const auto loaded = load(document(
      scanXml("num=\"12\" msLevel=\"1\" peaksCount=\"1\" polarity=\"+\" lowMz=\"70.5\" highMz=\"800\" "
              "basePeakIntensity=\"1e6\" totIonCurrent=\"5e6\" filterLine=\"FTMS + p ESI Full ms [70-800]\" "
              "retentionTime=\"PT20M30S\"",
              peaks32({1, 2})) +
      scanXml("num=\"13\" peaksCount=\"1\"", peaks32({1, 2}))));
  ASSERT_EQ(loaded.spectra.size(), 2u);
  const scan& full = loaded.spectra[0];
  EXPECT_EQ(full.polarity, "+");
  EXPECT_EQ(full.lowMz, 70.5);
  EXPECT_EQ(full.highMz, 800);
  EXPECT_EQ(full.basePeakIntensity, 1e6);
  EXPECT_EQ(full.totIonCurrent, 5e6);
  EXPECT_EQ(full.filterLine, "FTMS + p ESI Full ms [70-800]");
  EXPECT_EQ(full.rt, 1230);
  EXPECT_EQ(full.description, "run.mzXML scan 12 (charge 0)");
  // A missing msLevel reads as MS1; missing attributes read as empty or 0.
  const scan& bare = loaded.spectra[1];
  EXPECT_EQ(bare.msLevel, 1);
  EXPECT_EQ(bare.filterLine, "");
  EXPECT_EQ(bare.lowMz, 0);
  EXPECT_EQ(bare.rt, 0);
}

// Each scan's `centroided` attribute (its own, else the run's dataProcessing
// word), nested MS2 scans included; nothing said: unknown.
TEST(MzxmlHandler, CentroidedAttributeGivesEachScansRepresentation) {
  using R = SpectrumRepresentation;
  const auto scanOf = [](int num, int level, const std::string& centroided, const std::string& inner) {
    return scanXml("num=\"" + std::to_string(num) + "\" msLevel=\"" + std::to_string(level) +
                       "\" peaksCount=\"1\"" +
                       (centroided.empty() ? "" : " centroided=\"" + centroided + "\""),
                   peaks32({100.0f + num, 1000}) + inner);
  };
  const std::string scans = scanOf(1, 1, "0", scanOf(2, 2, "1", "") + scanOf(3, 2, "", "")) +
                            scanOf(4, 1, "true", "") + scanOf(5, 1, "false", "") + scanOf(6, 1, "x", "");
  const auto plain = load(document(scans));
  ASSERT_EQ(plain.spectra.size(), 6u);
  const std::vector<R> expected = {R::Profile, R::Centroid, R::Unknown, R::Centroid, R::Profile, R::Unknown};
  for (std::size_t k = 0; k < expected.size(); ++k)
    EXPECT_EQ(plain.spectra[k].representation, expected[k]) << k;

  // The run's word fills in for the scans that say nothing.
  const std::string processing =
      "<dataProcessing centroided=\"1\"><software type=\"conversion\" name=\"c\" "
      "version=\"1\"/></dataProcessing>\n";
  const auto run = load(document(processing + scans));
  ASSERT_EQ(run.spectra.size(), 6u);
  const std::vector<R> filled = {R::Profile, R::Centroid, R::Centroid, R::Centroid, R::Profile, R::Centroid};
  for (std::size_t k = 0; k < filled.size(); ++k) EXPECT_EQ(run.spectra[k].representation, filled[k]) << k;
}

TEST(MzxmlHandler, SixtyFourBitAndWrappedArrays) {
  const std::string wrapped = base64(bigEndianFloats({100, 1, 200, 2}));
  const auto loaded = load(document(
      scanXml("num=\"1\" msLevel=\"1\" peaksCount=\"2\"",
              "<peaks precision=\"64\">" + base64(bigEndianDoubles({100.25, 1, 200.5, 2})) + "</peaks>") +
      scanXml("num=\"2\" msLevel=\"1\" peaksCount=\"2\"",
              "<peaks>\n    " + wrapped.substr(0, 8) + "\n    " + wrapped.substr(8) + "\n  </peaks>")));
  ASSERT_EQ(loaded.spectra.size(), 2u);
  ASSERT_EQ(loaded.spectra[0].peaks.size(), 2u);
  EXPECT_EQ(loaded.spectra[0].peaks[1].mz, 200.5);
  ASSERT_EQ(loaded.spectra[1].peaks.size(), 2u);
  EXPECT_EQ(loaded.spectra[1].peaks[0].mz, 100);
  EXPECT_EQ(loaded.spectra[1].peaks[1].intensity, 2);
}

TEST(MzxmlHandler, CompressedArraysDecodeLikePlainOnes) {
  const std::vector<float> pairs32 = {100.5f, 1, 200.5f, 2};
  const std::vector<double> pairs64 = {100.123, 10, 200.456, 20};
  const auto loaded = load(
      document(scanXml("num=\"1\" msLevel=\"1\" peaksCount=\"2\"",
                       "<peaks compressionType=\"zlib\">" +
                           base64(testsupport::zlibCompress(bigEndianFloats(pairs32))) + "</peaks>") +
               scanXml("num=\"2\" msLevel=\"1\" peaksCount=\"2\"",
                       "<peaks precision=\"64\" compressionType=\"zlib\">" +
                           base64(testsupport::zlibCompress(bigEndianDoubles(pairs64))) + "</peaks>") +
               scanXml("num=\"3\" msLevel=\"1\" peaksCount=\"0\"",
                       "<peaks precision=\"64\" compressionType=\"zlib\" compressedLen=\"0\"></peaks>") +
               scanXml("num=\"4\" msLevel=\"1\" peaksCount=\"2\"",
                       "<peaks compressionType=\"none\">" + base64(bigEndianFloats(pairs32)) + "</peaks>")));
  ASSERT_EQ(loaded.spectra.size(), 4u);
  ASSERT_EQ(loaded.spectra[0].peaks.size(), 2u);
  EXPECT_EQ(loaded.spectra[0].peaks[1].mz, 200.5);
  ASSERT_EQ(loaded.spectra[1].peaks.size(), 2u);
  EXPECT_EQ(loaded.spectra[1].peaks[0].mz, static_cast<float>(100.123));
  EXPECT_EQ(loaded.spectra[1].peaks[1].intensity, 20);
  EXPECT_TRUE(loaded.spectra[2].peaks.empty());
  ASSERT_EQ(loaded.spectra[3].peaks.size(), 2u);
  EXPECT_EQ(loaded.spectra[3].peaks[1].intensity, loaded.spectra[0].peaks[1].intensity);
}

TEST(MzxmlHandler, MalformedXmlKeepsEarlierSpectra) {
  const std::string xml = document(ms1(1, "") + ms1(2, ""));
  const auto loaded = load(xml.substr(0, xml.find("<scan num=\"2\"")) + "<scan num=\"2\" <\n");
  EXPECT_FALSE(loaded.ok);
  EXPECT_EQ(nums(loaded.spectra), (std::vector<std::int64_t>{1}));
  EXPECT_NE(loaded.err.find("run.mzXML("), std::string::npos);
  EXPECT_NE(loaded.err.find("Syntax error parsing XML."), std::string::npos);
}

TEST(MzxmlHandler, LeavesTheHeaderAlone) {
  const auto loaded = load(document(ms1(1, "")));
  EXPECT_EQ(loaded.header.fileName, "");
  EXPECT_EQ(loaded.header.spectrumCount, 0);
}

TEST(MzxmlHandler, ManyScansWithOneNumberStayFast) {
  std::string scans;
  for (int i = 0; i < 30000; ++i) scans += "<scan num=\"5\" msLevel=\"1\"></scan>";
  const auto loaded = load(document(scans));
  ASSERT_EQ(loaded.spectra.size(), 30000u);
  EXPECT_EQ(loaded.spectra.back().id, 5 + 29999);
}

TEST(MzxmlRetentionTime, DurationsAndOtherText) {
  EXPECT_EQ(parseRetentionTime("PT1234.5S"), 1234.5);
  EXPECT_EQ(parseRetentionTime("PT20M30S"), 1230);
  EXPECT_EQ(parseRetentionTime("P1DT2H3M4.5S"), 86400 + 7200 + 180 + 4.5);
  EXPECT_EQ(parseRetentionTime("PT0.178247608184814S"), 0.178247608184814);
  EXPECT_EQ(parseRetentionTime("P2D"), 172800);
  EXPECT_EQ(parseRetentionTime("PT1H"), 3600);
  // Not a duration of that form: drop the last character, read from the third.
  EXPECT_EQ(parseRetentionTime("PT1.5e2S"), 150);
  EXPECT_EQ(parseRetentionTime("PT"), 0);
  EXPECT_EQ(parseRetentionTime("PT12"), 1);
  EXPECT_EQ(parseRetentionTime("XX42Y"), 42);
  EXPECT_EQ(parseRetentionTime("PTS"), 0);
  EXPECT_EQ(parseRetentionTime(""), 0);
}

// Attribute numbers: the decimal fast path must give strtod's value bit for bit,
// and anything that is not a plain decimal must still read as strtod reads it.
TEST(XmlValues, NumbersReadAsStrtodReadsThem) {
  const auto expectStrtod = [](const std::string& text) {
    const double expected = std::strtod(text.c_str(), nullptr);
    EXPECT_TRUE(sameBits(readDouble(text.c_str()), expected)) << text;
    EXPECT_TRUE(sameBits(readDecimal(text.data(), text.data() + text.size()), expected)) << text;
  };
  for (const char* text : {"0",
                           "-0",
                           "-0.0",
                           "5.",
                           ".5",
                           "-.5",
                           "1234.5678",
                           "0.1",
                           "0.30000000000000004",
                           "9007199254740993",
                           "179769313486231570814527423731704356798070567525844996598917",
                           "0.000000000000000000000000000000000000000000000000000000000000001",
                           " 12.5",
                           "+3",
                           "1e3",
                           "1.5E-2",
                           "0x1p3",
                           "inf",
                           "-nan",
                           "12abc",
                           "",
                           "-",
                           ".",
                           "1.2.3",
                           "98.76543210987654321098765432109876543210987654321098765432109876543210"}) {
    expectStrtod(text);
  }
  SimRandom random(2024);
  for (int k = 0; k < 20000; ++k) {
    std::string text = random.below(2) == 0 ? "-" : "";
    const std::uint64_t whole = random.below(std::uint64_t{1} << (random.below(60) + 1));
    text += std::to_string(whole);
    if (random.below(4) != 0) {
      text += '.';
      for (std::uint64_t d = random.below(20); d > 0; --d) text += static_cast<char>('0' + random.below(10));
    }
    expectStrtod(text);
  }
}

TEST(MzxmlProcess, SixtyFourBitLengthMismatchEndsTheRun) {
  TempDir dir;
  const std::string path = dir.write(
      "short64.mzXML",
      document(scanXml("num=\"1\" msLevel=\"1\" peaksCount=\"2\"",
                       "<peaks precision=\"64\">" + base64(bigEndianDoubles({100, 1, 200})) + "</peaks>")));
  const auto result = testsupport::runTorva({"-i", path});
  EXPECT_EQ(result.status, 1);
  const std::string message =
      " decoded size 24 and required size 32 dont match:\n Cause: possible corrupted file.\n";
  ASSERT_GE(result.out.size(), message.size());
  EXPECT_EQ(result.out.substr(result.out.size() - message.size()), message);
}
