#include <gtest/gtest.h>

#include <algorithm>

#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::TempDir;

namespace {

struct Key {
  double p, e, l, h;
  bool operator==(const Key& o) const { return p == o.p && e == o.e && l == o.l && h == o.h; }
};

std::ostream& operator<<(std::ostream& os, const Key& k) {
  return os << k.p << "@" << k.e << " [" << k.l << "-" << k.h << "]";
}

Key keyOf(bool srm, const std::string& filterLine, double precursorMz = 0, double lowMz = 0,
          double highMz = 0) {
  fileHandle run;
  run.SRM = srm;
  scan s;
  s.filterLine = filterLine;
  s.precursorMz = precursorMz;
  s.lowMz = lowMz;
  s.highMz = highMz;
  const fileHandle::TransitionKey k = run.transitionKey(s);
  return Key{k.precursorMz, k.collisionEnergy, k.productLow, k.productHigh};
}

// A flat mzXML document whose scans carry the given filter lines, one peak each.
std::string mzxml(const std::vector<std::string>& filterLines) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML>\n<msRun>\n";
  int num = 1;
  for (const std::string& line : filterLines) {
    const bool ms2 = line.find("ms2") != std::string::npos;
    doc += "<scan num=\"" + std::to_string(num) + "\" msLevel=\"" + (ms2 ? "2" : "1") +
           "\" peaksCount=\"1\" retentionTime=\"PT" + std::to_string(num) + ".5S\" filterLine=\"" + line +
           "\">\n";
    doc += "<peaks precision=\"32\">" +
           testsupport::base64(testsupport::bigEndianFloats({500.25f, 1000.0f})) + "</peaks>\n</scan>\n";
    ++num;
  }
  return doc + "</msRun>\n</mzXML>\n";
}

}  // namespace

TEST(TransitionKey, FullScanFilterLines) {
  EXPECT_EQ(keyOf(false, "+ c ESI Full ms2 301.10@cid35.00 [80.00-400.00]"), (Key{301.1, 0, 80, 400}));
  EXPECT_EQ(keyOf(false, "+ c ESI Full ms [100.00-1000.00]"), (Key{0, 0, 0, 0}));
  EXPECT_EQ(keyOf(false, "FTMS + p ESI Full ms [100.00-1000.00]"), (Key{0, 0, 100, 1000}));
  EXPECT_EQ(keyOf(false, "a b c d e 301.1@35 [80-400]"), (Key{301.1, 35, 80, 400}));
  EXPECT_EQ(keyOf(false, "a b c d e 301.1 [80.400]"), (Key{301.1, 0, 0, 0}));
  // Spectrum fields are not used in full-scan mode.
  EXPECT_EQ(keyOf(false, "+ c ESI Full ms", 445.5, 100, 200), (Key{0, 0, 0, 0}));
}

TEST(TransitionKey, SrmMarkersAndCollisionEnergy) {
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(keyOf(true, "+ c ESI SRM ms2 300.000@cid20.00 [150.000-151.000]"), (Key{300, 20, 150, 151}));
  EXPECT_EQ(keyOf(true, "+ c ESI SRM ms2 300.000@25.5 [150.000-151.000]"), (Key{300, 25.5, 150, 151}));
  EXPECT_EQ(capture.takeOut(), "20\n");
}

TEST(TransitionKey, SrmSpectrumFieldsFillIn) {
  testsupport::ConsoleCapture capture;
  // A range token without "-": the spectrum's own range fills in.
  EXPECT_EQ(keyOf(true, "+ c ESI SRM ms2 300.000@cid20.00 [150.000]", 0, 10, 900), (Key{300, 20, 10, 900}));
  // A precursor the file states overrides the filter line.
  EXPECT_EQ(keyOf(true, "+ c ESI SRM ms2 300.000@cid20.00 [150.000-151.000]", 301.5),
            (Key{301.5, 20, 150, 151}));
}

TEST(TransitionKey, SrmWithoutUsableMarker) {
  // No marker at all: every parsed value is 0, the spectrum fills in.
  EXPECT_EQ(keyOf(true, "FTMS + p ESI Full ms [100.00-1000.00] x", 0, 100, 1000), (Key{0, 0, 100, 1000}));
  // Markers pointing past the end of the line do not count.
  EXPECT_EQ(keyOf(true, "a b c d e f SRM", 445.1, 1, 2), (Key{445.1, 0, 1, 2}));
  EXPECT_EQ(keyOf(true, "a b c d e f ms2", 0, 1, 2), (Key{0, 0, 1, 2}));
  // The last counting marker decides; a precursor token at the end has no range token.
  EXPECT_EQ(keyOf(true, "a b ms2 100@5 [1-2] SRM x 200@7", 0, 3, 4), (Key{200, 7, 3, 4}));
  // Fewer than seven tokens.
  EXPECT_EQ(keyOf(true, "SRM ms2 300@cid20 [150-151]", 0, 5, 6), (Key{0, 0, 5, 6}));
}

TEST(ImportFile, BinaryAndFinniganProbes) {
  TempDir dir;
  fileHandle run;
  const std::string raw = dir.write("raw.mzXML", std::string("\x01\xA1", 2) + "rest of a raw file");
  const std::string named = dir.write("named.mzXML", std::string("\x00\x00\x00"
                                                                 "F\x00i\x00n\x00n",
                                                                 10));
  std::string nul(300, 'a');
  const std::string binary = dir.write("bin.mzXML", std::string("<?xml") + std::string(1, '\0') + nul);
  std::string late = std::string(256, ' ') + std::string(1, '\0');
  const std::string lateNul = dir.write("late.txt", late);
  testsupport::ConsoleCapture capture;
  EXPECT_EQ(run.importFile(raw.c_str(), 1), 0);
  EXPECT_EQ(run.importFile(named.c_str(), 1), 0);
  EXPECT_EQ(run.importFile(binary.c_str(), 1), 0);
  const std::string out = capture.takeOut();
  EXPECT_EQ(
      out, "\nFailed to read spectrum file: " + raw +
               "\nMost likely cause: using a Finnigan raw spectrum.\nUse ASCII formatted XML files ONLY!\n\n"
               "\nFailed to read spectrum file: " +
               named +
               "\nMost likely cause: using a Finnigan raw spectrum.\nUse ASCII formatted XML files ONLY!\n\n"
               "\nFailed to read spectrum file: " +
               binary +
               "\nMost likely cause: using a binary spectrum file.\nUse ASCII formatted XML files ONLY!\n\n");
  EXPECT_TRUE(run.channels.empty());
  // A NUL byte past the first 256 bytes is not looked at: the loader takes the file.
  EXPECT_EQ(run.importFile(lateNul.c_str(), 1), 1);
  EXPECT_NE(capture.takeOut().find("Opening: " + lateNul + "..."), std::string::npos);
}

TEST(ImportFolder, UnreadablePaths) {
  fileHandle run;
  EXPECT_FALSE(run.importFolder("/nonexistent/folder", 1));
}

TEST(ImportProcess, FullScanProgressLines) {
  TempDir dir;
  const std::string ms2 = "+ c ESI Full ms2 301.10@cid35.00 [80.00-400.00]";
  const std::string ms1 = "+ c ESI Full ms [100.00-1000.00]";
  const std::string path = dir.write("run.mzXML", mzxml({ms1, ms2, ms1, ms2}));
  const auto result = testsupport::runTorva({"-i", path});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("source: " + path + "\ndest: \nOpening: " + path +
                            "...Good XML file!\n"
                            "Scans: 4\nTransitions: 2\n0@0 [0-0] Scans:2\n301.1@0 [80-400] Scans:2\n"),
            std::string::npos)
      << result.out;
}

TEST(ImportProcess, SrmProgressLines) {
  TempDir dir;
  const std::string a = "+ c ESI SRM ms2 300.000@cid20.00 [150.000-151.000]";
  const std::string b = "+ c ESI SRM ms2 300.000@cid25.00 [180.000-181.000]";
  const std::string path = dir.write("srm.mzXML", mzxml({a, a, b}));
  const auto result = testsupport::runTorva({"-S", "-i", path});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Good XML file!\nScans: 3\n20\n20\n25\nTransitions: 2\n"
                            "300@20 [150-151] Scans:2\n300@25 [180-181] Scans:1\n"),
            std::string::npos)
      << result.out;
}

TEST(ImportFolder, EntriesChosenByName) {
  TempDir dir;
  const std::string doc = mzxml({"+ c ESI Full ms [100.00-1000.00]"});
  for (const char* name : {"a.mzXML", "b.xml", "c.mzdata.xml", "d.txt", "e.MZXML"}) dir.write(name, doc);
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_TRUE(run.importFolder(dir.path().c_str(), 1));
  const std::string out = capture.takeOut();
  for (const char* name : {"a.mzXML", "b.xml", "c.mzdata.xml"}) {
    EXPECT_NE(out.find("Opening: " + dir.path() + "/" + name + "..."), std::string::npos) << name;
  }
  EXPECT_EQ(out.find("d.txt"), std::string::npos);
  EXPECT_EQ(out.find("e.MZXML"), std::string::npos);
  // Every file is read as mzXML whatever its name; each holds one spectrum.
  EXPECT_EQ(run.scans.size(), 3u);
}

TEST(ImportFolder, SeveralFilesGroupEachSpectrumOnce) {
  TempDir dir;
  const std::string ms1 = "+ c ESI Full ms [100.00-1000.00]";
  const std::string ms2 = "+ c ESI Full ms2 301.10@cid35.00 [80.00-400.00]";
  dir.write("one.mzXML", mzxml({ms1, ms2}));
  dir.write("two.mzXML", mzxml({ms1, ms1, ms2}));
  fileHandle run;
  testsupport::ConsoleCapture capture;
  EXPECT_TRUE(run.importFolder((dir.path() + "/").c_str(), 1));
  const std::string out = capture.takeOut();
  ASSERT_EQ(run.scans.size(), 5u);
  ASSERT_EQ(run.channels.size(), 2u);
  EXPECT_EQ(run.channels[0].scans.size(), 3u);
  EXPECT_EQ(run.channels[1].scans.size(), 2u);
  std::vector<std::size_t> all;
  for (const channel& c : run.channels) all.insert(all.end(), c.scans.begin(), c.scans.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
  // The second file's listing shows the cumulative counts.
  EXPECT_NE(out.find("Scans: 5\nTransitions: 2\n0@0 [0-0] Scans:3\n301.1@0 [80-400] Scans:2\n"),
            std::string::npos)
      << out;
}
