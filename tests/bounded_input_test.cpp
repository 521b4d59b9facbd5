// Hostile and unusual input: peak arrays larger than declared or without a
// count, Numpress and zlib bombs, time units, scan numbers that do not fit,
// and files that are not plain XML.
#include <gtest/gtest.h>
#include <zlib.h>

#include <libmsnumpress/MSNumpress.hpp>
#include <string>
#include <vector>

#include "input/array_limits.h"
#include "input/loaders.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::ConsoleCapture;
using testsupport::TempDir;

namespace {

std::string cv(const std::string& accession, const std::string& value = "", const std::string& unit = "") {
  return "<cvParam cvRef=\"MS\" accession=\"" + accession + "\" name=\"any\" value=\"" + value + "\"" +
         (unit.empty() ? "" : " unitAccession=\"" + unit + "\"") + "/>";
}

// One binary data array: `kind` (m/z, intensity or time), its storage
// parameters and its base64 text.
std::string array(const std::string& kind, const std::string& storage, const std::string& text) {
  return "<binaryDataArray encodedLength=\"0\">" + storage + cv(kind) + "<binary>" + text +
         "</binary></binaryDataArray>";
}

std::string doubles(const std::vector<double>& values) {
  return testsupport::base64(testsupport::littleEndianDoubles(values));
}

// Numpress Pic of `count` zeros, zlib-compressed: a few bytes that decode to
// `count` values (each zero is one half-byte).
std::string picZeros(std::size_t count) {
  std::vector<double> zeros(count, 0.0);
  std::vector<unsigned char> bytes(count + 8);
  bytes.resize(ms::numpress::MSNumpress::encodePic(zeros.data(), zeros.size(), bytes.data()));
  return testsupport::base64(testsupport::zlibCompress(std::string(bytes.begin(), bytes.end())));
}

std::string spectrum(int scan, const std::string& length, const std::string& arrays) {
  return "<spectrum index=\"" + std::to_string(scan - 1) + "\" id=\"scan=" + std::to_string(scan) +
         "\" defaultArrayLength=\"" + length + "\">" + cv("MS:1000511", "1") +
         "<binaryDataArrayList count=\"2\">" + arrays + "</binaryDataArrayList></spectrum>\n";
}

std::string mzml(const std::string& spectra) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mzML><run id=\"r\"><spectrumList count=\"1\">\n" +
         spectra + "</spectrumList></run></mzML>\n";
}

std::string plainSpectrum(int scan, const std::string& length, const std::vector<double>& mz,
                          const std::vector<double>& intensity) {
  return spectrum(scan, length,
                  array("MS:1000514", cv("MS:1000523"), doubles(mz)) +
                      array("MS:1000515", cv("MS:1000523"), doubles(intensity)));
}

struct Imported {
  std::vector<std::size_t> peaks;  // per spectrum
  std::vector<std::int64_t> nums;
  std::vector<double> times;
  bool failed = false;
  std::string err;
};

Imported import(const std::string& path) {
  fileHandle run;
  ConsoleCapture capture;
  run.importFile(path.c_str(), 1);
  Imported result;
  for (const scan& s : run.scans) {
    result.peaks.push_back(s.peaks.size());
    result.nums.push_back(s.num);
    result.times.push_back(s.rt);
  }
  result.failed = run.inputFailed;
  result.err = capture.takeErr();
  return result;
}

}  // namespace

// Arrays holding more than their declared count, or more than any spectrum
// may without one: each cut is named with file and spectrum, the other
// spectra are kept, and the import counts as failed (status 2).
TEST(BoundedDecoding, CutsAreNamedAndTheOtherSpectraKept) {
  TempDir dir;
  const std::string picStorage = cv("MS:1002747");  // Numpress Pic + zlib
  struct Case {
    const char* name;
    std::string spectra;
    std::vector<std::size_t> peaks;
    std::string message;  // in standard error, after the file name
  };
  const std::size_t limit = kMaxArrayValues;
  const Case cases[] = {
      {"declared one, four present",
       plainSpectrum(1, "1", {100, 200, 300, 400}, {1, 2, 3, 4}) +
           plainSpectrum(2, "4", {1, 2, 3, 4}, {1, 2, 3, 4}),
       {1, 4},
       ": spectrum 'scan=1': an array holds more than its 1 declared values (arrayLength or "
       "defaultArrayLength); 1 are kept\n"},
      {"no count, a Numpress bomb",
       spectrum(1, "0",
                array("MS:1000514", picStorage, picZeros(limit + 1000)) +
                    array("MS:1000515", picStorage, picZeros(limit + 1000))) +
           plainSpectrum(2, "2", {1, 2}, {5, 6}),
       {limit, 2},
       ": spectrum 'scan=1': an array holds more than " + std::to_string(limit) +
           " values, the most read per array; " + std::to_string(limit) + " are kept\n"},
      {"declared two, zlib data of many more",
       spectrum(1, "2",
                array("MS:1000514", cv("MS:1000523") + cv("MS:1000574"),
                      testsupport::base64(testsupport::zlibCompress(std::string(8000000, '\0')))) +
                    array("MS:1000515", cv("MS:1000523"), doubles({7, 8}))),
       {2},
       ": spectrum 'scan=1': an array holds more than its 2 declared values (arrayLength or "
       "defaultArrayLength); 2 are kept\n"},
      {"declared two, megabytes of text",
       spectrum(1, "2",
                array("MS:1000514", cv("MS:1000523"), std::string(4 << 20, 'A')) +
                    array("MS:1000515", cv("MS:1000523"), doubles({7, 8}))),
       {2},
       ": spectrum 'scan=1': an array holds more than its 2 declared values (arrayLength or "
       "defaultArrayLength); 2 are kept\n"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write("run.mzML", mzml(c.spectra));
    const Imported read = import(path);
    EXPECT_EQ(read.peaks, c.peaks) << c.name;
    EXPECT_TRUE(read.failed) << c.name;
    EXPECT_NE(read.err.find("torva: " + path + c.message), std::string::npos) << c.name << "\n" << read.err;
  }
  // Arrays that hold what they declare are no failure.
  const std::string fine = dir.write("fine.mzML", mzml(plainSpectrum(1, "2", {1, 2}, {3, 4})));
  const Imported read = import(fine);
  EXPECT_FALSE(read.failed);
  EXPECT_EQ(read.err, "");
}

// An mzXML peak array with megabytes of text behind a peaksCount of 4: the
// text past what four peaks can use is not kept, and the peaks are read.
TEST(BoundedDecoding, MzxmlTextPastPeaksCount) {
  TempDir dir;
  const std::string peaks =
      testsupport::base64(testsupport::bigEndianFloats({100, 1, 200, 2, 300, 3, 400, 4}));
  const auto scan = [](int num, const std::string& count, const std::string& text) {
    return "<scan num=\"" + std::to_string(num) + "\" msLevel=\"1\" peaksCount=\"" + count +
           "\" retentionTime=\"PT1S\"><peaks precision=\"32\" byteOrder=\"network\">" + text +
           "</peaks></scan>\n";
  };
  const std::string doc = "<?xml version=\"1.0\"?>\n<mzXML><msRun>\n" +
                          scan(1, "4", peaks + std::string(8 << 20, 'A')) + scan(2, "1", peaks) +
                          scan(3, "4", peaks) + "</msRun></mzXML>\n";
  const std::string path = dir.write("run.mzXML", doc);
  const Imported read = import(path);
  EXPECT_EQ(read.peaks, (std::vector<std::size_t>{4, 1, 4}));
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.err,
            "torva: " + path +
                ": scan 1: its peak array holds far more data than its 4 declared peaks (peaksCount) use; "
                "the rest was not read\n"
                "torva: " +
                path +
                ": scan 2: its peak array holds more than its 1 declared peaks (peaksCount); the first 1 "
                "are kept\n");
}

// Every time unit of the ontology that mzML files use, and an unknown one.
TEST(MzmlTimes, UnitsAreConvertedAndUnknownOnesNamed) {
  TempDir dir;
  struct Case {
    const char* unit;
    const char* value;
    double seconds;
  };
  const Case cases[] = {{"UO:0000010", "90", 90},
                        {"UO:0000031", "1.5", 90},
                        {"UO:0000032", "0.025", 90},
                        {"UO:0000028", "90000", 90},
                        {"", "90", 90},
                        {"UO:0000099", "90", 90}};
  for (const Case& c : cases) {
    const std::string one =
        "<spectrum index=\"0\" id=\"scan=1\" defaultArrayLength=\"1\">" + cv("MS:1000511", "1") +
        cv("MS:1000016", c.value, c.unit) + "<binaryDataArrayList count=\"2\">" +
        array("MS:1000514", cv("MS:1000523"), doubles({100})) +
        array("MS:1000515", cv("MS:1000523"), doubles({5})) + "</binaryDataArrayList></spectrum>\n";
    const std::string path = dir.write("run.mzML", mzml(one + one));
    const Imported read = import(path);
    ASSERT_EQ(read.times.size(), 2u) << c.unit;
    EXPECT_DOUBLE_EQ(read.times[0], c.seconds) << c.unit;
    const bool known = std::string(c.unit) != "UO:0000099";
    EXPECT_EQ(
        read.err,
        known ? "" : "torva: " + path + ": unknown time unit 'UO:0000099'; its times are read as seconds\n");
  }
}

// SRM chromatogram times in hours and milliseconds.
TEST(MzmlTimes, ChromatogramTimeArrays) {
  TempDir dir;
  for (const auto& [unit, scale] :
       {std::pair<std::string, double>{"UO:0000032", 3600.0}, {"UO:0000028", 0.001}}) {
    const std::string doc =
        "<?xml version=\"1.0\"?>\n<mzML><run id=\"r\"><chromatogramList count=\"1\">"
        "<chromatogram index=\"0\" id=\"SRM SIC 300,150\" defaultArrayLength=\"2\">" +
        cv("MS:1001473") + "<precursor><isolationWindow>" + cv("MS:1000827", "300") +
        "</isolationWindow></precursor><product><isolationWindow>" + cv("MS:1000827", "150") +
        "</isolationWindow></product><binaryDataArrayList count=\"2\">" +
        "<binaryDataArray encodedLength=\"0\">" + cv("MS:1000523") + cv("MS:1000595", "", unit) + "<binary>" +
        doubles({1, 2}) + "</binary></binaryDataArray>" +
        array("MS:1000515", cv("MS:1000523"), doubles({5, 6})) +
        "</binaryDataArrayList></chromatogram></chromatogramList></run></mzML>\n";
    const std::string path = dir.write("srm.mzML", doc);
    std::vector<scan> spectra;
    Header header;
    std::vector<SrmChromatogram> chromatograms;
    ConsoleCapture quiet;
    loadmzml loader(spectra, header, chromatograms);
    std::string name = path;
    ASSERT_TRUE(loader.open(name));
    loader.get();
    ASSERT_EQ(chromatograms.size(), 1u);
    EXPECT_EQ(chromatograms[0].times, (std::vector<double>{1 * scale, 2 * scale})) << unit;
  }
}

// A scan number too large for 32 bits is named and replaced by the
// spectrum's position, never wrapped.
TEST(ScanNumbers, TooLargeIsNamedNotWrapped) {
  TempDir dir;
  const std::string mzmlPath = dir.write(
      "run.mzML",
      mzml("<spectrum index=\"6\" id=\"scan=99999999999999\" defaultArrayLength=\"1\">" +
           cv("MS:1000511", "1") + "<binaryDataArrayList count=\"2\">" +
           array("MS:1000514", cv("MS:1000523"), doubles({100})) +
           array("MS:1000515", cv("MS:1000523"), doubles({5})) + "</binaryDataArrayList></spectrum>\n"));
  Imported read = import(mzmlPath);
  EXPECT_EQ(read.nums, (std::vector<std::int64_t>{7}));
  EXPECT_EQ(read.err, "torva: " + mzmlPath +
                          ": spectrum 'scan=99999999999999': its scan number does not fit in 32 bits; it is "
                          "numbered 7 by its position\n");

  const std::string peaks = testsupport::base64(testsupport::bigEndianFloats({100, 1}));
  const std::string mzxmlPath =
      dir.write("run.mzXML",
                "<?xml version=\"1.0\"?>\n<mzXML><msRun>\n"
                "<scan num=\"5\" msLevel=\"1\" peaksCount=\"1\"><peaks precision=\"32\">" +
                    peaks +
                    "</peaks></scan>\n<scan num=\"99999999999999\" msLevel=\"1\" peaksCount=\"1\"><peaks "
                    "precision=\"32\">" +
                    peaks + "</peaks></scan>\n</msRun></mzXML>\n");
  read = import(mzxmlPath);
  EXPECT_EQ(read.nums, (std::vector<std::int64_t>{5, 2}));
  EXPECT_EQ(read.err,
            "torva: " + mzxmlPath +
                ": scan number 99999999999999 does not fit in 32 bits; it is numbered 2 by its position\n");
}

// UTF-16 documents and gzip inside gzip: standard output as for any binary
// file, and standard error says what the file is.
TEST(InputKinds, Utf16AndNestedGzipAreNamed) {
  TempDir dir;
  std::string wide = "\xFF\xFE";
  for (const char c : std::string("<?xml version=\"1.0\"?>\n<mzXML></mzXML>\n"))
    wide += std::string(1, c) + '\0';
  const std::string once = testsupport::readFile(testsupport::TempDir().write("x", ""));
  struct Case {
    std::string path;
    const char* what;
  };
  const std::string inner = dir.file("inner.mzXML.gz");
  {
    gzFile file = gzopen(inner.c_str(), "wb");
    const std::string doc = "<?xml version=\"1.0\"?>\n<mzXML></mzXML>\n";
    gzwrite(file, doc.data(), static_cast<unsigned>(doc.size()));
    gzclose(file);
  }
  const std::string outer = dir.file("outer.mzXML.gz");
  {
    const std::string bytes = testsupport::readFile(inner);
    gzFile file = gzopen(outer.c_str(), "wb");
    gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(file);
  }
  const Case cases[] = {{dir.write("wide.mzXML", wide),
                         "it is UTF-16 text; convert it to UTF-8 first (iconv -f UTF-16 -t UTF-8)"},
                        {outer, "it is gzip data inside gzip data; decompress it once (gunzip) first"}};
  for (const Case& c : cases) {
    const auto result = testsupport::runTorva({"-i", c.path, "-s", dir.file("s.tsv")});
    EXPECT_EQ(result.status, 255) << c.path;
    EXPECT_NE(result.out.find("Use ASCII formatted XML files ONLY!"), std::string::npos);
    EXPECT_EQ(result.err, "torva: " + c.path + ": no spectra read: " + c.what + "\n");
  }
}

// SRM chromatograms beside spectra are not read without -S: named, not dropped in silence.
TEST(MzmlTimes, SrmChromatogramsBesideSpectraAreNamed) {
  TempDir dir;
  const std::string chromatogram =
      "<chromatogramList count=\"1\"><chromatogram index=\"0\" id=\"SRM SIC 300,150\" "
      "defaultArrayLength=\"1\">" +
      cv("MS:1001473") + "<binaryDataArrayList count=\"2\">" +
      array("MS:1000595", cv("MS:1000523"), doubles({1})) +
      array("MS:1000515", cv("MS:1000523"), doubles({5})) +
      "</binaryDataArrayList></chromatogram></chromatogramList>";
  std::string doc = mzml(plainSpectrum(1, "1", {100}, {5}));
  doc.insert(doc.find("</run>"), chromatogram);
  const std::string path = dir.write("both.mzML", doc);
  const Imported read = import(path);
  EXPECT_EQ(read.peaks, (std::vector<std::size_t>{1}));
  EXPECT_EQ(read.err,
            "torva: warning: " + path + " also holds 1 SRM chromatograms, which are not read without -S\n");
}
