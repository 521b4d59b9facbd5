// Spectra of different polarity never share a channel, whichever way the file
// states the polarity; runs of one polarity are grouped as before.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "store/file_handle.h"
#include "tests/test_support.h"

namespace {

// An mzXML document of MS1 scans; each entry gives the scan's filter line
// (none when empty) and its polarity attribute (none when empty).
std::string mzxml(const std::vector<std::pair<std::string, std::string>>& scans) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<mzXML>\n<msRun>\n";
  int num = 1;
  for (const auto& s : scans) {
    doc += "<scan num=\"" + std::to_string(num) + "\" msLevel=\"1\" peaksCount=\"1\" retentionTime=\"PT" +
           std::to_string(num) + ".5S\"" + (s.first.empty() ? "" : " filterLine=\"" + s.first + "\"") +
           (s.second.empty() ? "" : " polarity=\"" + s.second + "\"") + ">\n<peaks precision=\"32\">" +
           testsupport::base64(testsupport::bigEndianFloats({500.25f, 1000.0f})) + "</peaks>\n</scan>\n";
    ++num;
  }
  return doc + "</msRun>\n</mzXML>\n";
}

std::string mzmlSpectrum(int index, const std::string& polarityAccession) {
  const auto cv = [](const std::string& accession, const std::string& value) {
    return "<cvParam cvRef=\"MS\" accession=\"" + accession + "\" name=\"any\" value=\"" + value + "\"/>";
  };
  const auto array = [&cv](const std::string& kind, double value) {
    return "<binaryDataArray encodedLength=\"0\">" + cv("MS:1000523", "") + cv(kind, "") + "<binary>" +
           testsupport::base64(testsupport::littleEndianDoubles({value})) + "</binary></binaryDataArray>";
  };
  return "<spectrum index=\"" + std::to_string(index) + "\" id=\"scan=" + std::to_string(index + 1) +
         "\" defaultArrayLength=\"1\">" + cv("MS:1000511", "1") +
         (polarityAccession.empty() ? "" : cv(polarityAccession, "")) + "<scanList count=\"1\"><scan>" +
         cv("MS:1000016", std::to_string(index + 1)) + "</scan></scanList><binaryDataArrayList count=\"2\">" +
         array("MS:1000514", 500.25) + array("MS:1000515", 1000.0) + "</binaryDataArrayList></spectrum>\n";
}

std::string mzml(const std::vector<std::string>& polarities) {
  std::string spectra;
  for (std::size_t i = 0; i < polarities.size(); ++i)
    spectra += mzmlSpectrum(static_cast<int>(i), polarities[i]);
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mzML xmlns=\"http://psi.hupo.org/ms/mzml\"><run "
         "id=\"r\"><spectrumList count=\"" +
         std::to_string(polarities.size()) + "\">\n" + spectra + "</spectrumList></run></mzML>\n";
}

}  // namespace

TEST(ChannelPolarity, NeverSharedWhateverStatesIt) {
  const std::string plus = "FTMS + p ESI Full ms [100.0000-1000.0000]";
  const std::string minus = "FTMS - p ESI Full ms [100.0000-1000.0000]";
  const struct {
    std::string name;
    std::string file;
    std::string document;
    std::vector<std::size_t> channelSizes;
    std::vector<char> channelPolarities;
  } cases[] = {
      {"filter lines",
       "a.mzXML",
       mzxml({{plus, ""}, {minus, ""}, {plus, ""}, {minus, ""}, {plus, ""}}),
       {3, 2},
       {'+', '-'}},
      {"filter line over attribute", "b.mzXML", mzxml({{plus, "-"}, {minus, "+"}}), {1, 1}, {'+', '-'}},
      {"attribute alone", "c.mzXML", mzxml({{"", "+"}, {"", "-"}, {"", "-"}}), {1, 2}, {'+', '-'}},
      {"one polarity", "d.mzXML", mzxml({{plus, "+"}, {plus, "+"}, {plus, "+"}}), {3}, {'+'}},
      {"not stated", "e.mzXML", mzxml({{"", ""}, {"", ""}}), {2}, {'?'}},
      {"mzML terms", "f.mzML", mzml({"MS:1000130", "MS:1000129", "MS:1000130"}), {2, 1}, {'+', '-'}},
      {"mzML without polarity", "g.mzML", mzml({"", ""}), {2}, {'?'}},
  };
  for (const auto& c : cases) {
    testsupport::TempDir dir;
    const std::string path = dir.write(c.file, c.document);
    fileHandle run;
    testsupport::ConsoleCapture capture;
    ASSERT_TRUE(run.importFolder(path.c_str(), 1)) << c.name;
    ASSERT_EQ(run.channels.size(), c.channelSizes.size()) << c.name;
    for (std::size_t k = 0; k < run.channels.size(); ++k) {
      EXPECT_EQ(run.channels[k].scans.size(), c.channelSizes[k]) << c.name;
      EXPECT_EQ(run.channels[k].polarity, c.channelPolarities[k]) << c.name;
    }
  }
}

TEST(ChannelPolarity, RealPolaritySwitchingRun) {
  const std::string path =
      std::string(TORVA_REAL_DATA) + "/mzml/thermo_sq_polswitch_numpress_linear_zlib_msconvert.mzML";
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) GTEST_SKIP() << "real file absent: " << path;
  std::fclose(probe);
  fileHandle run;
  testsupport::ConsoleCapture capture;
  ASSERT_TRUE(run.importFolder(path.c_str(), 1));
  // Six Q1MS scans, "+ c ESI" and "- c ESI" in turn: one channel each.
  ASSERT_EQ(run.channels.size(), 2u);
  EXPECT_EQ(run.channels[0].scans.size(), 3u);
  EXPECT_EQ(run.channels[1].scans.size(), 3u);
  EXPECT_NE(capture.takeOut().find("Transitions: 2\n"), std::string::npos);
}
