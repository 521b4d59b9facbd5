// The mzData reader: ids, cvParams, separate arrays, byte order, Header.
#include "input/mzdata_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/array_limits.h"
#include "tests/test_support.h"

using testsupport::base64;
using testsupport::bigEndianDoubles;
using testsupport::bigEndianFloats;
using testsupport::littleEndianDoubles;
using testsupport::littleEndianFloats;
using testsupport::TempDir;

namespace {

std::string cv(const std::string& name, const std::string& value) {
  return "<cvParam cvLabel=\"psi\" name=\"" + name + "\" value=\"" + value + "\"/>";
}

// One array element; `dataAttributes` go on its `data` element.
std::string array(const std::string& element, const std::string& arrayAttributes,
                  const std::string& dataAttributes, const std::string& bytes) {
  return "<" + element + arrayAttributes + "><data" + dataAttributes + ">" + base64(bytes) + "</data></" +
         element + ">";
}

std::string spectrum(int id, const std::string& params, const std::string& arrays, int msLevel = 1) {
  return "<spectrum id=\"" + std::to_string(id) + "\"><spectrumDesc><spectrumSettings>" +
         "<spectrumInstrument msLevel=\"" + std::to_string(msLevel) +
         "\" mzRangeStart=\"50\" mzRangeStop=\"2000\">" + params +
         "</spectrumInstrument></spectrumSettings>" + "</spectrumDesc>" + arrays + "</spectrum>";
}

// Two-peak m/z and intensity arrays, 32-bit little-endian.
std::string littleArrays(float mz, float intensity) {
  return array("mzArrayBinary", "", " precision=\"32\" endian=\"little\" length=\"2\"",
               littleEndianFloats({mz, mz + 1})) +
         array("intenArrayBinary", "", " precision=\"32\" endian=\"little\" length=\"2\"",
               littleEndianFloats({intensity, intensity + 1}));
}

std::string document(const std::string& spectra, int count = 2) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mzData version=\"1.05\">\n<description><admin>"
         "<sampleName/><sourceFile><nameOfFile>run.RAW</nameOfFile><pathToFile/>"
         "<fileType>Xcalibur RAW</fileType></sourceFile></admin><instrument>"
         "<instrumentName>LCQ</instrumentName><instrumentName> Deca</instrumentName><source>" +
         cv("IonizationType", "ESI") + "</source><analyzerList count=\"1\"><analyzer>" +
         cv("AnalyzerType", "Ion Trap") + "</analyzer></analyzerList><detector>" + cv("DetectorType", "EM") +
         "</detector></instrument></description>\n<spectrumList count=\"" + std::to_string(count) + "\">\n" +
         spectra + "\n</spectrumList>\n</mzData>\n";
}

struct Loaded {
  std::vector<scan> spectra;
  Header header;
  std::string err;         // standard error of the parse
  bool arraysCut = false;  // an array was cut (the run ends with status 2)
  std::string path;
};

Loaded load(const std::string& xml) {
  TempDir dir;
  Loaded loaded;
  SAXMzdataHandler handler(loaded.spectra, loaded.header);
  handler.inputFile = dir.write("run.mzData.xml", xml);
  testsupport::ConsoleCapture capture;
  handler.parse();
  loaded.err = capture.takeErr();
  loaded.arraysCut = handler.jobSide.arraysCut;
  loaded.path = handler.inputFile;
  return loaded;
}

std::vector<double> mzOf(const scan& s) {
  std::vector<double> out;
  for (const StoredPeak& p : s.peaks) out.push_back(p.mz);
  return out;
}

std::vector<double> intensityOf(const scan& s) {
  std::vector<double> out;
  for (const StoredPeak& p : s.peaks) out.push_back(p.intensity);
  return out;
}

}  // namespace

TEST(MzdataHandler, SpectrumIdsAndNumbers) {
  const auto loaded =
      load(document(spectrum(10, "", littleArrays(100, 5)) + spectrum(11, "", littleArrays(200, 6), 2)));
  ASSERT_EQ(loaded.spectra.size(), 2u);
  EXPECT_EQ(loaded.spectra[0].num, 10);
  EXPECT_EQ(loaded.spectra[0].id, 1);
  EXPECT_EQ(loaded.spectra[1].num, 11);
  EXPECT_EQ(loaded.spectra[1].id, 2);
  EXPECT_EQ(loaded.spectra[1].msLevel, 2);
  EXPECT_EQ(loaded.spectra[0].lowMz, 50);
  EXPECT_EQ(loaded.spectra[0].highMz, 2000);
  EXPECT_EQ(mzOf(loaded.spectra[0]), (std::vector<double>{100, 101}));
  EXPECT_EQ(intensityOf(loaded.spectra[1]), (std::vector<double>{6, 7}));
  EXPECT_EQ(loaded.spectra[1].description, "run.mzData.xml scan 11 (charge 0)");
}

TEST(MzdataHandler, ByteOrderAndPrecisionOfEachArray) {
  const std::string doubles = array("mzArrayBinary", "", " precision=\"64\" endian=\"little\" length=\"2\"",
                                    littleEndianDoubles({300.5, 301.5})) +
                              array("intenArrayBinary", "", " precision=\"64\" endian=\"big\" length=\"2\"",
                                    bigEndianDoubles({7, 8}));
  // No endian on the data: the order of the previous array (big) holds.
  const std::string carried =
      array("mzArrayBinary", "", " precision=\"32\" length=\"2\"", bigEndianFloats({400, 401})) +
      array("intenArrayBinary", "", " length=\"2\"", bigEndianFloats({9, 10}));
  // The order set on the array element itself.
  const std::string onArray = array("mzArrayBinary", " endian=\"little\" precision=\"32\"", " length=\"2\"",
                                    littleEndianFloats({500, 501})) +
                              array("intenArrayBinary", "", " length=\"2\"", littleEndianFloats({11, 12}));
  const auto loaded =
      load(document(spectrum(1, "", doubles) + spectrum(2, "", carried) + spectrum(3, "", onArray), 3));
  ASSERT_EQ(loaded.spectra.size(), 3u);
  EXPECT_EQ(mzOf(loaded.spectra[0]), (std::vector<double>{300.5, 301.5}));
  EXPECT_EQ(intensityOf(loaded.spectra[0]), (std::vector<double>{7, 8}));
  EXPECT_EQ(mzOf(loaded.spectra[1]), (std::vector<double>{400, 401}));
  EXPECT_EQ(intensityOf(loaded.spectra[1]), (std::vector<double>{9, 10}));
  EXPECT_EQ(mzOf(loaded.spectra[2]), (std::vector<double>{500, 501}));
  EXPECT_EQ(intensityOf(loaded.spectra[2]), (std::vector<double>{11, 12}));
}

TEST(MzdataHandler, LittleEndianByDefault) {
  const std::string arrays = array("mzArrayBinary", "", " length=\"1\"", littleEndianFloats({123})) +
                             array("intenArrayBinary", "", " length=\"1\"", littleEndianFloats({4}));
  const auto loaded = load(document(spectrum(1, "", arrays), 1));
  ASSERT_EQ(loaded.spectra.size(), 1u);
  EXPECT_EQ(mzOf(loaded.spectra[0]), (std::vector<double>{123}));
}

TEST(MzdataHandler, CvParamsAndTimesInSeconds) {
  const auto loaded = load(document(
      spectrum(1,
               cv("ScanMode", "MassScan") + cv("Polarity", "Positive") + cv("TimeInMinutes", "12.5") +
                   cv("CollisionEnergy", "35") + cv("MassToChargeRatio", "445.12"),
               littleArrays(100, 5)) +
          // No time parameter: the previous spectrum's time carries over.
          spectrum(2, cv("mz", "500.25"), littleArrays(100, 5)) +
          spectrum(3, cv("time.min", "0.5"), littleArrays(100, 5)),
      3));
  ASSERT_EQ(loaded.spectra.size(), 3u);
  const scan& first = loaded.spectra[0];
  EXPECT_EQ(first.rt, 750);
  EXPECT_EQ(first.scanType, "MassScan");
  EXPECT_EQ(first.polarity, "Positive");
  EXPECT_EQ(first.collisionEnergy, 35);
  EXPECT_EQ(first.precursorMz, 445.12);
  EXPECT_EQ(loaded.spectra[1].rt, 750);
  EXPECT_EQ(loaded.spectra[1].precursorMz, 500.25);
  EXPECT_EQ(loaded.spectra[2].rt, 30);
  // The spectrumInstrument start resets the precursor m/z.
  EXPECT_EQ(loaded.spectra[2].precursorMz, 0);
}

TEST(MzdataHandler, PolarityParameterSetsPrecursorCharge) {
  std::vector<scan> spectra;
  Header header;
  SAXMzdataHandler handler(spectra, header);
  const char* plus[] = {"name", "polarity", "value", "+", nullptr};
  const char* text[] = {"name", "polarity", "value", "positive", nullptr};
  const char* three[] = {"name", "polarity", "value", "3", nullptr};
  handler.startElement("cvParam", three);
  EXPECT_EQ(handler.precursorCharge, 3);
  handler.startElement("cvParam", plus);
  EXPECT_EQ(handler.precursorCharge, 0);
  handler.startElement("cvParam", text);
  EXPECT_EQ(handler.precursorCharge, 2);
}

// acqSpecification's spectrumType: "discrete" centroids, "continuous" profile;
// each spectrum starts unknown.
TEST(MzdataHandler, SpectrumTypeGivesTheRepresentation) {
  const auto withType = [](int id, const std::string& type) {
    const std::string acquisition = type.empty() ? std::string()
                                                 : "<acqSpecification spectrumType=\"" + type +
                                                       "\" methodOfCombination=\"sum\" count=\"1\">"
                                                       "<acquisition number=\"1\"/></acqSpecification>";
    return "<spectrum id=\"" + std::to_string(id) + "\"><spectrumDesc><spectrumSettings>" + acquisition +
           "<spectrumInstrument msLevel=\"1\" mzRangeStart=\"50\" mzRangeStop=\"2000\"/></spectrumSettings>"
           "</spectrumDesc>" +
           littleArrays(100, 10) + "</spectrum>";
  };
  const auto loaded =
      load(document(withType(1, "continuous") + withType(2, "discrete") + withType(3, ""), 3));
  ASSERT_EQ(loaded.spectra.size(), 3u);
  EXPECT_EQ(loaded.spectra[0].representation, SpectrumRepresentation::Profile);
  EXPECT_EQ(loaded.spectra[1].representation, SpectrumRepresentation::Centroid);
  EXPECT_EQ(loaded.spectra[2].representation, SpectrumRepresentation::Unknown);
}

TEST(MzdataHandler, HeaderWrittenWhenTheSpectrumListEnds) {
  const auto loaded = load(document(spectrum(1, "", littleArrays(100, 5)), 250));
  EXPECT_EQ(loaded.header.fileName, "run.RAW");
  EXPECT_EQ(loaded.header.fileType, "Xcalibur RAW");
  EXPECT_EQ(loaded.header.instrument, "LCQ Deca");
  EXPECT_EQ(loaded.header.ionisation, "ESI");
  EXPECT_EQ(loaded.header.analyzer, "Ion Trap");
  EXPECT_EQ(loaded.header.detector, "EM");
  EXPECT_EQ(loaded.header.spectrumCount, 250);
  EXPECT_EQ(loaded.header.firstSpectrum, 1);
  EXPECT_EQ(loaded.header.lastSpectrum, 250);
}

TEST(MzdataHandler, DocumentEndingInsideTheListLeavesTheHeader) {
  const std::string xml = document(spectrum(1, "", littleArrays(100, 5)), 250);
  const auto loaded = load(xml.substr(0, xml.find("</spectrumList>")));
  EXPECT_EQ(loaded.spectra.size(), 1u);
  EXPECT_EQ(loaded.header.spectrumCount, 0);
  EXPECT_EQ(loaded.header.fileName, "");
}

// Array text past what its length can use, and text of an array without a
// length past what any spectrum may hold, is not kept: the cut is named with
// the file and the spectrum, the spectra beside it are read as usual.
TEST(MzdataHandler, ArrayTextBoundedByItsLength) {
  std::vector<float> many(4000, 1.0f);
  const std::string extra =
      array("mzArrayBinary", "", " precision=\"32\" length=\"2\"", littleEndianFloats(many)) +
      array("intenArrayBinary", "", " precision=\"32\" length=\"2\"", littleEndianFloats({5, 6}));
  // Text for more values than a spectrum may have, in an array without a length.
  const std::string huge = "<mzArrayBinary><data precision=\"32\">" +
                           std::string(base64CharBound(encodedByteBound(kMaxArrayValues, 4)) + 4096, 'A') +
                           "</data></mzArrayBinary>" +
                           array("intenArrayBinary", "", " precision=\"32\"", littleEndianFloats({5}));
  struct Case {
    const char* name;
    std::string arrays;
    std::vector<double> mz;  // of the cut spectrum, 7
    std::string message;     // after "torva: FILE: scan 7: "
  };
  const Case cases[] = {
      {"more text than length 2 can use",
       extra,
       {1, 1},
       "its peak array holds far more data than its 2 declared peaks (length) use; the rest was not read\n"},
      {"no length, more text than any spectrum may hold",
       huge,
       {},
       "its peak array without a length holds more text than the 2097152 values read per spectrum use; the "
       "rest "
       "was not read\n"},
  };
  for (const Case& c : cases) {
    const auto loaded = load(document(spectrum(6, "", littleArrays(100, 5)) + spectrum(7, "", c.arrays) +
                                          spectrum(8, "", littleArrays(200, 6)),
                                      3));
    ASSERT_EQ(loaded.spectra.size(), 3u) << c.name;
    EXPECT_EQ(mzOf(loaded.spectra[1]), c.mz) << c.name;
    EXPECT_EQ(mzOf(loaded.spectra[2]), (std::vector<double>{200, 201})) << c.name;
    EXPECT_EQ(loaded.err, "torva: " + loaded.path + ": scan 7: " + c.message) << c.name;
    EXPECT_TRUE(loaded.arraysCut) << c.name;
  }
  // Text within its bound is no cut.
  const auto whole = load(document(spectrum(1, "", littleArrays(100, 5)), 1));
  EXPECT_EQ(whole.err, "");
  EXPECT_FALSE(whole.arraysCut);
}
