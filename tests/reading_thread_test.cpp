// Decoding beside the parser against decoding in the parser's own thread: the
// same spectra, chromatograms, messages and failures, for whole files of every
// kind the readers take, broken ones included.
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
};

template <typename Handler>
void parseWith(Handler& handler, const std::string& path, bool beside, Reading& reading) {
  handler.inputFile = path;
  handler.decodeBesideParser = beside;
  testsupport::ConsoleCapture capture;
  try {
    reading.ok = handler.parse();
  } catch (const InputError& error) {
    reading.failure = error.what();
  }
  reading.out = capture.takeOut();
  reading.err = capture.takeErr();
}

Reading read(const std::string& path, bool beside) {
  Reading reading;
  Header header;
  if (isMzmlRoot(readDocumentStart(path).root)) {
    SAXMzmlHandler handler(reading.spectra, header, reading.chromatograms);
    parseWith(handler, path, beside, reading);
  } else {
    SAXMzxmlHandler handler(reading.spectra, header);
    parseWith(handler, path, beside, reading);
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

// `text` with its first occurrence of `from` replaced.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

TEST(ReadingThread, GivesWhatReadingInTheParsersThreadGives) {
  testsupport::TempDir dir;
  std::vector<std::string> files;
  // Enough spectra for progress dots and many handed-over batches.
  const std::vector<std::vector<std::string>> forms = {
      {}, {"-b", "64", "-z"}, {"-u"}, {"-N"}, {"-N", "-z", "-b", "64"}, {"-m", "srm", "-t", "7", "-k", "1"}};
  int n = 0;
  for (const auto& form : forms) {
    for (const char* suffix : {".mzXML", ".mzML", ".mzML.gz"}) {
      const std::string path = dir.file("run" + std::to_string(n++) + suffix);
      std::vector<std::string> args = {"-o", path, "-n", "1100", "-k", "12", "-c", "3", "-s", "3"};
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

  // Broken files: a 64-bit array shorter than declared halfway (the run stops
  // there), arrays that do not decode, files cut off inside a spectrum, gzip
  // data cut short.
  const std::string wide = testsupport::readFile(files[3]);
  const std::size_t half = wide.find("<scan num=\"1001\"");
  ASSERT_NE(half, std::string::npos);
  files.push_back(dir.write(
      "short64.mzXML",
      wide.substr(0, half) + replaced(wide.substr(half), "peaksCount=\"12\"", "peaksCount=\"13\"")));
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

  for (const std::string& path : files) {
    const Reading inThread = read(path, false);
    const Reading beside = read(path, true);
    expectSame(beside, inThread, path);
  }
}
