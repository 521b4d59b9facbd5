// Decoding beside the parser, with the arrays' text and mzML's parameter
// elements taken past expat, against decoding in the parser's own thread with
// every byte through expat: the same
// spectra, chromatograms, messages and failures, for whole files of every kind
// the readers take, broken and oddly written ones included.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "input/document_root.h"
#include "input/input_error.h"
#include "input/mzml_handler.h"
#include "input/mzxml_handler.h"
#include "tests/test_support.h"
#include "util/same_bits.h"

namespace {

struct Reading {
  std::vector<scan> spectra;
  std::vector<SrmChromatogram> chromatograms;
  bool ok = false;
  std::string failure;  // the exception's message
  std::string out;
  std::string err;
  std::uint64_t bulkTextBytes = 0;
};

// `fast`: the readers as they run (decoding beside the parser, array text past
// expat); otherwise decoding in the parser's thread and all text through expat.
template <typename Handler>
void parseWith(Handler& handler, const std::string& path, bool fast, Reading& reading) {
  handler.inputFile = path;
  handler.decodeBesideParser = fast;
  if (!fast) handler.bulkTextElement.clear();
  if (!fast) handler.quickMarkup = false;
  testsupport::ConsoleCapture capture;
  try {
    reading.ok = handler.parse();
  } catch (const InputError& error) {
    reading.failure = error.what();
  }
  reading.bulkTextBytes = handler.bulkTextBytes;
  reading.out = capture.takeOut();
  reading.err = capture.takeErr();
}

Reading read(const std::string& path, bool fast) {
  Reading reading;
  Header header;
  if (isMzmlRoot(readDocumentStart(path).root)) {
    SAXMzmlHandler handler(reading.spectra, header, reading.chromatograms);
    parseWith(handler, path, fast, reading);
  } else {
    SAXMzxmlHandler handler(reading.spectra, header);
    parseWith(handler, path, fast, reading);
  }
  return reading;
}

void expectSame(const Reading& a, const Reading& b, const std::string& where) {
  EXPECT_EQ(a.ok, b.ok) << where;
  EXPECT_EQ(a.failure, b.failure) << where;
  EXPECT_EQ(a.out, b.out) << where;
  EXPECT_EQ(a.err, b.err) << where;
  ASSERT_EQ(a.spectra.size(), b.spectra.size()) << where;
  for (std::size_t i = 0; i < a.spectra.size(); ++i) {
    const scan& x = a.spectra[i];
    const scan& y = b.spectra[i];
    const std::string at = where + " spectrum " + std::to_string(i);
    EXPECT_EQ(x.description, y.description) << at;
    EXPECT_EQ(x.id, y.id) << at;
    EXPECT_EQ(x.num, y.num) << at;
    EXPECT_EQ(x.peaksCount, y.peaksCount) << at;
    EXPECT_EQ(x.msLevel, y.msLevel) << at;
    EXPECT_EQ(x.filterLine, y.filterLine) << at;
    EXPECT_EQ(x.polarity, y.polarity) << at;
    EXPECT_EQ(x.scanType, y.scanType) << at;
    for (auto [u, v] : {std::pair{x.rt, y.rt},
                        {x.lowMz, y.lowMz},
                        {x.highMz, y.highMz},
                        {x.totIonCurrent, y.totIonCurrent},
                        {x.basePeakIntensity, y.basePeakIntensity},
                        {x.precursorMz, y.precursorMz},
                        {x.collisionEnergy, y.collisionEnergy}}) {
      EXPECT_TRUE(sameBits(u, v)) << at;
    }
    ASSERT_EQ(x.peaks.size(), y.peaks.size()) << at;
    for (std::size_t k = 0; k < x.peaks.size(); ++k) {
      ASSERT_TRUE(sameBits(x.peaks[k].mz, y.peaks[k].mz) &&
                  sameBits(x.peaks[k].intensity, y.peaks[k].intensity))
          << at << " peak " << k;
    }
  }
  ASSERT_EQ(a.chromatograms.size(), b.chromatograms.size()) << where;
  for (std::size_t i = 0; i < a.chromatograms.size(); ++i) {
    EXPECT_EQ(a.chromatograms[i].nativeId, b.chromatograms[i].nativeId) << where;
    EXPECT_EQ(a.chromatograms[i].times, b.chromatograms[i].times) << where;
    EXPECT_EQ(a.chromatograms[i].intensities, b.chromatograms[i].intensities) << where;
  }
}

// `doc` with the text of every array element (after "<peaks" or "<binary>",
// up to the next "<") changed by `change`.
template <typename Change>
std::string withArrayText(const std::string& doc, Change change) {
  std::string out;
  std::size_t at = 0;
  while (true) {
    std::size_t open = doc.find("<peaks", at);
    const std::size_t binary = doc.find("<binary>", at);
    if (binary < open) open = binary;
    if (open == std::string::npos) break;
    const std::size_t textBegin = doc.find('>', open) + 1;
    const std::size_t textEnd = doc.find('<', textBegin);
    out.append(doc, at, textBegin - at);
    out += change(doc.substr(textBegin, textEnd - textBegin));
    at = textEnd;
  }
  return out + doc.substr(at);
}

// Lines of 76 characters ended by `end`.
std::string wrapped(const std::string& text, const std::string& end) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 76) out += text.substr(i, 76) + end;
  return out;
}

// `text` with its first occurrence of `from` replaced.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Generated runs of every form the readers take, long enough for progress
// dots and many handed-over batches; the first `fullScanRuns` are full scan.
const std::size_t fullScanRuns = 15;
void generateRuns(const testsupport::TempDir& dir, std::vector<std::string>& files) {
  const std::vector<std::vector<std::string>> forms = {
      {}, {"-b", "64", "-z"}, {"-u"}, {"-N"}, {"-N", "-z", "-b", "64"}, {"-m", "srm", "-t", "7", "-k", "1"}};
  int n = 0;
  for (const auto& form : forms) {
    for (const char* suffix : {".mzXML", ".mzML", ".mzML.gz"}) {
      const std::string path = dir.file("run" + std::to_string(n++) + suffix);
      // 100 peaks: arrays long enough to be taken past expat.
      std::vector<std::string> args = {"-o", path, "-n", "1100", "-k", "100", "-c", "3", "-s", "3"};
      args.insert(args.end(), form.begin(), form.end());
      ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(), args).status, 0);
      files.push_back(path);
    }
  }
  const std::string srm = dir.file("chromatograms.mzML");
  ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(),
                                    {"-o", srm, "-m", "srm", "-n", "300", "-t", "6", "-c", "3", "-C"})
                .status,
            0);
  files.push_back(srm);
}

// Each file read both ways; the first `bulkRuns` must have had their arrays taken past expat.
void expectSameReading(const std::vector<std::string>& files, std::size_t bulkRuns = 0) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Reading plain = read(files[i], false);
    const Reading fast = read(files[i], true);
    expectSame(fast, plain, files[i]);
    if (i < bulkRuns) {
      EXPECT_GT(fast.bulkTextBytes, 10000u) << files[i];
    }
  }
}

}  // namespace

TEST(ReadingThread, GivesWhatReadingInTheParsersThreadGives) {
  testsupport::TempDir dir;
  std::vector<std::string> files;
  generateRuns(dir, files);
  ASSERT_FALSE(HasFatalFailure());
  // Broken files: a 64-bit array shorter than declared halfway (the run stops
  // there), arrays that do not decode, files cut off inside a spectrum, gzip
  // data cut short.
  const std::string wide = testsupport::readFile(files[3]);
  const std::size_t half = wide.find("<scan num=\"1001\"");
  ASSERT_NE(half, std::string::npos);
  files.push_back(dir.write(
      "short64.mzXML",
      wide.substr(0, half) + replaced(wide.substr(half), "peaksCount=\"100\"", "peaksCount=\"101\"")));
  const std::string mzml = testsupport::readFile(files[4]);
  const std::size_t middle = mzml.find("<spectrum ", mzml.size() / 2);
  ASSERT_NE(middle, std::string::npos);
  files.push_back(
      dir.write("undecodable.mzML",
                mzml.substr(0, middle) + replaced(mzml.substr(middle), "<binary>", "<binary>!!!!")));
  files.push_back(dir.write("cut.mzXML", wide.substr(0, wide.size() / 2)));
  files.push_back(dir.write("cut.mzML", mzml.substr(0, mzml.size() / 3)));
  const std::string gzipped = testsupport::readFile(files[2]);
  files.push_back(dir.write("cut.mzML.gz", gzipped.substr(0, gzipped.size() / 2)));

  // The full-scan runs' arrays go past expat (SRM arrays hold one peak).
  expectSameReading(files, fullScanRuns);
}

namespace {

// The generated run whose forms the odd files below are made from: 64-bit,
// zlib-compressed arrays of 100 peaks, as mzXML or mzML.
std::string baseRun(const testsupport::TempDir& dir, const char* suffix) {
  const std::string path = dir.file(std::string("base") + suffix);
  const std::vector<std::string> args = {"-o", path, "-n", "1100", "-k", "100", "-c",
                                         "3",  "-s", "3",  "-b",   "64", "-z"};
  EXPECT_EQ(testsupport::runProgram(testsupport::simulatorPath(), args).status, 0);
  return testsupport::readFile(path);
}

// Array text as other writers leave it, or as a hand-edited file may: lines
// ended by CR LF or CR, a comment, CDATA, a character reference or a byte
// XML forbids inside it (an error whose line must count the text's lines),
// cut off inside wrapped text, array tags in a comment or with ">" in an
// attribute value or longer than any read, other declared encodings, UTF-16.
std::vector<std::string> oddlyWrittenFiles(const testsupport::TempDir& dir, const std::string& source,
                                           bool mzxml) {
  std::vector<std::string> files;
  const std::string* doc = &source;
  const std::string ext = mzxml ? ".mzXML" : ".mzML";
  const std::string crlf = withArrayText(*doc, [](const std::string& t) { return wrapped(t, "\r\n"); });
  const std::string cr = withArrayText(*doc, [](const std::string& t) { return wrapped(t, "\r"); });
  int k = 0;
  const auto odd = [&](const std::string& text) {
    files.push_back(dir.write("odd" + std::to_string(k++) + ext, text));
  };
  odd(crlf);
  odd(cr);
  odd(crlf.substr(0, crlf.size() / 2 + 37));
  // Inserted past the 512 bytes that a text needs to be taken past expat.
  const auto inside = [](const std::string& t, const std::string& x) {
    const std::size_t at = t.size() > 520 ? 520 : 0;
    return t.substr(0, at) + x + t.substr(at);
  };
  odd(withArrayText(*doc, [&](const std::string& t) { return inside(t, "<!-- x -->\n"); }));
  odd(withArrayText(*doc, [](const std::string& t) { return "<![CDATA[" + t + "]]>"; }));
  odd(withArrayText(*doc, [&](const std::string& t) { return inside(t, "&#x20;"); }));
  odd(replaced(crlf, "=\r\n<", "=\r\n\x01<"));
  odd(cr.substr(0, cr.size() / 3) + replaced(cr.substr(cr.size() / 3), "\r", "\r\x01"));
  odd(replaced(*doc, "<scan ", "<!-- <peaks>AAAA</peaks> <binary> --><scan "));
  odd(replaced(*doc, "<spectrum ", "<!-- <peaks>AAAA</peaks> <binary> --><spectrum "));
  odd(replaced(*doc, "<peaks ", "<peaks note=\"a>b\" "));
  odd(replaced(*doc, "<peaks ", "<peaks note=\"" + std::string(70000, 'x') + "\" "));
  odd(replaced(*doc, "<binary>", "<binary note=\"" + std::string(70000, 'x') + "\">"));
  odd(replaced(*doc, "encoding=\"ISO-8859-1\"", "encoding=\"us-ascii\""));
  odd(replaced(*doc, "encoding=\"utf-8\"", "encoding=\"windows-1252\""));
  // Parameter elements that the mzML reader must leave to expat: in a
  // comment or CDATA, after the root, with a repeated attribute, an entity,
  // a line break or tab inside, single quotes, a document type that could
  // add attributes, and a byte XML forbids after many taken past expat.
  const std::size_t half = doc->size() / 2;
  const auto later = [&](const std::string& from, const std::string& to) {
    return doc->substr(0, half) + replaced(doc->substr(half), from, to);
  };
  if (mzxml) {
    // The same for scan start tags, read past expat in mzXML.
    odd(later("<scan ", "<!-- <scan num=\"99999\" msLevel=\"1\"> -->\n<scan "));
    odd(later("<scan ", "<scan retentionTime=\"PT1S\" "));
    odd(later("msLevel=\"", "msLevel=\"&#50;"));
    odd(later("<scan ", "<scan\t"));
    odd(later("<scan ", "<scan\r\n "));
    odd(later("<scan ", "<scan num=\"424242\" msLevel=\"1\" peaksCount=\"0\"/>\n<scan "));
    odd(replaced(*doc, "<mzXML", "<!DOCTYPE mzXML [<!ATTLIST scan polarity CDATA \"-\">]>\n<mzXML"));
    odd(later("<scan ", "\x01<scan "));
  }
  if (!mzxml) {
    const std::string param =
        "<cvParam cvRef=\"MS\" accession=\"MS:1000511\" name=\"ms level\" value=\"7\"/>";
    odd(later("<cvParam ", "<!-- " + param + " -->\n<cvParam "));
    odd(later("<binary>", "<binary><![CDATA[" + param + "]]>"));
    odd(replaced(*doc, "</mzML>", "</mzML>\n" + param));
    odd(later("<cvParam ", "<cvParam value=\"1\" value=\"2\"/>\n<cvParam "));
    odd(later("value=\"", "value=\"&#50;"));
    odd(later("<cvParam ", "<cvParam\n "));
    odd(later("<cvParam ", "<cvParam\t"));
    odd(later("accession=\"MS:1000511\"", "accession='MS:1000511'"));
    odd(replaced(*doc, "<mzML ", "<!DOCTYPE mzML [<!ATTLIST cvParam value CDATA \"7\">]>\n<mzML "));
    odd(later("<cvParam ", "\x01<cvParam "));
  }
  // Any markup is read past expat where it is plainly written: an end tag
  // that does not match, or with white space, a comment between tags, text
  // with a reference or "]", other names, values with bytes outside
  // printable ASCII, an element opened by expat (a
  // reference in an attribute) around elements read past it, line ends of
  // CR LF or CR throughout (and a file of them cut short, or with a byte
  // XML forbids, where an error's line counts).
  const std::string open = mzxml ? "<peaks " : "<scanList ";
  const std::string close = mzxml ? "</scan>" : "</scanList>";
  odd(later(close, "</wrong>"));
  odd(later(close, close.substr(0, close.size() - 1) + " \n>"));
  odd(later(open, "<!-- c -->" + open));
  odd(later(open, "<note>a &amp; b ] c\r\n</note>\n" + open));
  odd(later(open, "<x:a.b-c k=\"v\" j='w'/>" + open));
  odd(later(open,
            "<v a=\"" + std::string(20, 'x') + "\x7F\" b=\"\xC2\xB5" + std::string(20, 'y') + "\"/>" + open));
  odd(later(open, "<wrap n=\"&#49;\">\n<inner a=\"1\">text</inner>\n</wrap>" + open));
  for (const char* end : {"\r\n", "\r"}) {
    std::string lines;
    for (char c : *doc) c == '\n' ? lines += end : lines += c;
    odd(lines);
    odd(lines.substr(0, lines.size() / 2 + 11));
    odd(lines.substr(0, lines.size() / 2) + replaced(lines.substr(lines.size() / 2), "<", "\x01<"));
  }
  std::string utf16 = "\xFF\xFE";
  for (char c : replaced(replaced(*doc, "ISO-8859-1", "UTF-16"), "utf-8", "UTF-16")) (utf16 += c) += '\0';
  odd(utf16);
  return files;
}

}  // namespace

// The real files read past expat as expat reads them.
TEST(ReadingThread, RealFilesReadAsExpatReadsThem) {
  std::vector<std::string> files;
  const std::string real = testsupport::realDataDir();
  for (const std::string& folder : {real, real.empty() ? std::string() : real + "/mzml"}) {
    std::error_code ignored;
    if (folder.empty() || !std::filesystem::is_directory(folder, ignored)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".mzXML") != std::string::npos || name.find(".mzML") != std::string::npos) {
        files.push_back(entry.path().string());
      }
    }
  }
  if (files.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  expectSameReading(files);
}

// Files written as other writers leave them or as a hand edit may, read past
// expat as expat reads them: mzXML, then mzML.
TEST(ReadingThread, OddlyWrittenMzxmlReadsAsExpatReadsIt) {
  testsupport::TempDir dir;
  const std::string wide = baseRun(dir, ".mzXML");
  ASSERT_FALSE(HasFailure());
  expectSameReading(oddlyWrittenFiles(dir, wide, true));
}

TEST(ReadingThread, OddlyWrittenMzmlReadsAsExpatReadsIt) {
  testsupport::TempDir dir;
  const std::string mzml = baseRun(dir, ".mzML");
  ASSERT_FALSE(HasFailure());
  expectSameReading(oddlyWrittenFiles(dir, mzml, false));
}
