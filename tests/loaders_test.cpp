// Loaders: the line-based format test, the parse, and the choice by file name.
#include "input/loaders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::base64;
using testsupport::bigEndianFloats;
using testsupport::littleEndianFloats;
using testsupport::TempDir;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";

std::string mzxmlBody() {
  return "<msRun><scan num=\"1\" msLevel=\"1\" peaksCount=\"1\"><peaks>" + base64(bigEndianFloats({100, 5})) +
         "</peaks></scan></msRun>\n</mzXML>\n";
}

std::string mzdataDocument() {
  const std::string data = "<data precision=\"32\" endian=\"little\" length=\"1\">";
  return kDeclaration + "\n<mzData version=\"1.05\">\n<spectrumList count=\"1\"><spectrum id=\"3\">" +
         "<spectrumInstrument msLevel=\"1\"/><mzArrayBinary>" + data + base64(littleEndianFloats({100})) +
         "</data></mzArrayBinary><intenArrayBinary>" + data + base64(littleEndianFloats({5})) +
         "</data></intenArrayBinary></spectrum></spectrumList>\n</mzData>\n";
}

struct OpenResult {
  bool ok;
  std::string out;
  std::string inputFile;
};

template <typename Loader>
OpenResult openWith(std::string path) {
  std::vector<scan> spectra;
  Header header;
  Loader loader(spectra, header);
  testsupport::ConsoleCapture capture;
  const bool ok = loader.open(path);
  return {ok, capture.takeOut(), loader.handler.inputFile};
}

}  // namespace

TEST(Loaders, MzxmlFormatTest) {
  TempDir dir;
  const std::string good = dir.write("good.mzXML", kDeclaration + "\n<mzXML xmlns=\"x\">\n" + mzxmlBody());
  auto result = openWith<loadmzxml>(good);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.out, "Opening: " + good + "...Good XML file!\n");
  EXPECT_EQ(result.inputFile, good);

  const std::string comment =
      dir.write("comment.mzXML", kDeclaration + "\n<!-- converted -->\n<mzXML>\n" + mzxmlBody());
  result = openWith<loadmzxml>(comment);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.out, "Opening: " + comment + "...Not xml\nGood XML file!\n");

  const std::string crlf = dir.write("crlf.mzXML", kDeclaration + "\r\n<mzXML\r\n" + mzxmlBody());
  EXPECT_TRUE(openWith<loadmzxml>(crlf).ok);
}

TEST(Loaders, MzxmlFormatTestRefusals) {
  TempDir dir;
  const std::vector<std::string> refused = {
      kDeclaration + "\n <mzXML>\n" + mzxmlBody(),  // indented root
      kDeclaration + "\n",                          // declaration only
      kDeclaration + "<mzXML>\n" + mzxmlBody(),     // root on the declaration's line
      "<mzXML>\n" + mzxmlBody(),                    // no declaration
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    const std::string path = dir.write("r" + std::to_string(i) + ".mzXML", refused[i]);
    const auto result = openWith<loadmzxml>(path);
    EXPECT_FALSE(result.ok) << i;
    EXPECT_EQ(result.out, "Opening: " + path + "...Not xml\n") << i;
    EXPECT_EQ(result.inputFile, "") << i;
  }
  const std::string missing = dir.file("missing.mzXML");
  const auto result = openWith<loadmzxml>(missing);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.out, "Opening: " + missing + "...Doesn't open.\n");
}

TEST(Loaders, MzdataFormatTest) {
  TempDir dir;
  const std::string indented =
      dir.write("a.mzdata.xml", kDeclaration + "\n   <mzData version=\"1.05\">\n</mzData>\n");
  auto result = openWith<loadmzdata>(indented);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.out, "Opening: " + indented + "...Good XML file!\n");
  const std::string mzxml = dir.write("b.mzdata.xml", kDeclaration + "\n<mzXML>\n" + mzxmlBody());
  EXPECT_EQ(openWith<loadmzdata>(mzxml).out, "Opening: " + mzxml + "...Not xml\n");
  const std::string missing = dir.file("missing.xml");
  result = openWith<loadmzdata>(missing);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.out, "Opening: " + missing + "...Doesn't open\n");
}

TEST(Loaders, MzdataGetAnswersTrueEvenForBrokenXml) {
  TempDir dir;
  std::vector<scan> spectra;
  Header header;
  loadmzdata loader(spectra, header);
  std::string path = dir.write("bad.mzdata.xml", kDeclaration + "\n<mzData>\n<spectrumList <\n");
  testsupport::ConsoleCapture capture;
  ASSERT_TRUE(loader.open(path));
  EXPECT_TRUE(loader.get());
  EXPECT_TRUE(loader.handler.parseFailed);
  EXPECT_NE(capture.takeErr().find("Syntax error parsing XML."), std::string::npos);
}

// The import picks the loader by file name unless it is told to read mzXML; the feature pipeline's import
// reads a document of root <mzData> as mzData either way.
TEST(Loaders, ChoiceByFileName) {
  TempDir dir;
  const std::string mzdata = mzdataDocument();
  const std::string mzxml = kDeclaration + "\n<mzXML>\n" + mzxmlBody();
  struct Case {
    std::string name;
    std::string content;
    int force;
    bool loaded;
    bool byRoot = false;  // the feature pipeline's import: an <mzData> root chooses its loader
  };
  const std::vector<Case> cases = {
      {"run.mzdata.xml", mzdata, 0, true},  // mzData loader
      {"RUN.XML", mzdata, 0, false},        // mzXML loader refuses the mzData root
      {"run.mzXML", mzxml, 0, true},        // mzXML loader
      {"run.txt", mzdata, 0, true},         // mzData loader
      {"run2.mzdata.xml", mzdata, 1, false}, {"run3.mzData.xml", mzdata, 1, true, true},
      {"RUN4.XML", mzdata, 0, true, true},   {"run5.mzXML", mzxml, 1, true, true},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write(c.name, c.content);
    fileHandle store;
    store.mzdataByRoot = c.byRoot;
    testsupport::ConsoleCapture capture;
    store.importFile(path.c_str(), c.force);
    const std::string out = capture.takeOut();
    EXPECT_EQ(store.scans.size(), c.loaded ? 1u : 0u) << c.name;
    const std::string verdict = c.loaded ? "...Good XML file!\n" : "...Not xml\n";
    EXPECT_EQ(out.rfind("Opening: " + path + verdict, 0), 0u) << c.name << ": " << out;
  }
}
