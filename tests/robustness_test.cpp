// Broken and hostile input: the tool must end normally with a clear message and
// the right exit status, never crash, and never report a failure as success.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

using testsupport::zlibCompress;

// One MS1 scan with the given peak array text and attributes.
std::string oneScan(const std::string& peaksAttributes, const std::string& arrayText, long long peaksCount) {
  return "<?xml version=\"1.0\"?>\n<mzXML>\n"
         "<msRun scanCount=\"1\" startTime=\"PT0S\" endTime=\"PT60S\">\n<scan num=\"1\" msLevel=\"1\" "
         "peaksCount=\"" +
         std::to_string(peaksCount) +
         "\" retentionTime=\"PT60S\" polarity=\"+\" lowMz=\"100\" highMz=\"1000\" totIonCurrent=\"100000\" "
         "filterLine=\"FTMS + p ESI Full ms [100.00-1000.00]\">\n" +
         "<peaks " + peaksAttributes + ">" + arrayText + "</peaks>\n</scan>\n</msRun>\n</mzXML>\n";
}

// No sanitizer report, no signal.
void expectNoCrash(const ProcessResult& result) {
  EXPECT_LT(result.status, 128) << result.err;
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
}

ProcessResult runOn(const std::string& path, std::vector<std::string> extra = {}) {
  std::vector<std::string> args{"-i", path};
  args.insert(args.end(), extra.begin(), extra.end());
  return testsupport::runTorva(args);
}

}  // namespace

TEST(Robustness, TruncatedRealFile) {
  const std::string dir = testsupport::realDataDir();
  if (dir.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  const std::string whole = testsupport::readFile(dir + "/lumos_nested_crlf.mzXML");
  TempDir tmp;
  for (std::size_t cut :
       {std::size_t(40), std::size_t(3000), whole.size() / 3, whole.size() / 2, whole.size() - 20}) {
    const std::string path = tmp.write("cut.mzXML", whole.substr(0, cut));
    const ProcessResult result = runOn(path, {"-s", tmp.file("s.tsv")});
    expectNoCrash(result);
    if (cut > 3000) {
      // A document cut short is malformed: reported on standard error, status 2.
      EXPECT_EQ(result.status, 2) << "cut at " << cut;
      EXPECT_NE(result.err.find(path + "("), std::string::npos) << result.err;
      EXPECT_NE(result.out.find("Done\n"), std::string::npos);
    }
  }
}

// Every real instrument file goes through every step and every report: it ends
// normally, and a clean run writes all three reports.
TEST(Robustness, EveryRealFileWithEveryStepAndReport) {
  const std::string dir = testsupport::realDataDir();
  if (dir.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  TempDir tmp;
  std::size_t seen = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string ext = entry.path().extension().string();
    const bool mzml = name.find(".mzML") != std::string::npos || name.find(".mzXML.gz") != std::string::npos;
    if (ext != ".mzXML" && ext != ".xml" && !mzml) continue;
    ++seen;
    SCOPED_TRACE(name);
    const std::string summary = tmp.file(name + ".s.tsv");
    const std::string transitions = tmp.file(name + ".o.tsv");
    const std::string map = tmp.file(name + ".m.tsv");
    // mzML files also in SRM mode, where their SRM chromatograms are read.
    std::vector<std::vector<std::string>> optionSets = {
        {"-s", summary, "-o", transitions, "-m", map, "-d", "-l", "-c"}};
    if (mzml) optionSets.push_back({"-S", "-s", summary, "-m", map});
    for (const auto& options : optionSets) {
      const ProcessResult result = runOn(entry.path().string(), options);
      expectNoCrash(result);
      EXPECT_NE(result.out.find("Done\n"), std::string::npos);
      if (result.status == 0) {
        for (const std::string& report : {summary, map})
          EXPECT_TRUE(std::filesystem::exists(report)) << report;
        if (options[0] != "-S") {
          EXPECT_TRUE(std::filesystem::exists(transitions));
        }
      }
    }
  }
  EXPECT_GT(seen, 0u);
}

TEST(Robustness, NulByteAfterTheProbe) {
  TempDir tmp;
  std::string doc =
      oneScan("precision=\"32\"", testsupport::base64(testsupport::bigEndianFloats({500, 1e5})), 1);
  ASSERT_GT(doc.size(), 300u);
  doc.insert(300, std::string(1, '\0'));
  const ProcessResult result = runOn(tmp.write("nul.mzXML", doc));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Syntax error parsing XML."), std::string::npos);
}

TEST(Robustness, HugeDeclaredPeakCount32Bit) {
  TempDir tmp;
  const std::string pairs = testsupport::bigEndianFloats({500.5f, 20000.f});
  for (bool zlib : {false, true}) {
    const std::string attributes =
        std::string("precision=\"32\"") + (zlib ? " compressionType=\"zlib\"" : "");
    const std::string text = testsupport::base64(zlib ? zlibCompress(pairs) : pairs);
    const ProcessResult result =
        runOn(tmp.write("big.mzXML", oneScan(attributes, text, 2147483647)), {"-s", tmp.file("s.tsv")});
    expectNoCrash(result);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find(
                  " declared peaksCount 2147483647 exceeds the 8 bytes of its peak array: reading 1 peaks\n"),
              std::string::npos)
        << result.out;
  }
}

TEST(Robustness, HugeDeclaredPeakCount64Bit) {
  TempDir tmp;
  const std::string pairs = testsupport::bigEndianDoubles({500.5, 20000.0});
  for (bool zlib : {false, true}) {
    const std::string attributes =
        std::string("precision=\"64\"") + (zlib ? " compressionType=\"zlib\"" : "");
    const std::string text = testsupport::base64(zlib ? zlibCompress(pairs) : pairs);
    const ProcessResult result = runOn(tmp.write("big64.mzXML", oneScan(attributes, text, 2147483647)));
    expectNoCrash(result);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(
        result.out.find(
            " decoded size 16 and required size 34359738352 dont match:\n Cause: possible corrupted file.\n"),
        std::string::npos)
        << result.out;
  }
}

TEST(Robustness, InvalidBase64AndBrokenZlib) {
  TempDir tmp;
  ProcessResult result = runOn(tmp.write("b64.mzXML", oneScan("precision=\"32\"", "!!!!%%%%****", 1)));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 0);

  // A stream that does not inflate counts as no data: 32-bit arrays zero-filled, 64-bit arrays rejected.
  const std::string garbage = testsupport::base64("this is not a zlib stream at all");
  result = runOn(tmp.write("z32.mzXML", oneScan("precision=\"32\" compressionType=\"zlib\"", garbage, 2)));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 0);
  result = runOn(tmp.write("z64.mzXML", oneScan("precision=\"64\" compressionType=\"zlib\"", garbage, 2)));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find(" decoded size 0 and required size 32 dont match:\n"), std::string::npos)
      << result.out;
}

TEST(Robustness, ZlibInflatingFarBeyondTheDeclaredSize) {
  TempDir tmp;
  const std::string bomb = testsupport::base64(zlibCompress(std::string(64 << 20, '\0')));
  ProcessResult result =
      runOn(tmp.write("bomb32.mzXML", oneScan("precision=\"32\" compressionType=\"zlib\"", bomb, 2)));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 0);
  result = runOn(tmp.write("bomb64.mzXML", oneScan("precision=\"64\" compressionType=\"zlib\"", bomb, 2)));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find(" dont match:\n"), std::string::npos);
}

TEST(Robustness, DeeplyNestedScans) {
  TempDir tmp;
  std::string doc = "<?xml version=\"1.0\"?>\n<mzXML>\n";
  for (int i = 0; i < 100000; ++i) doc += "<scan num=\"" + std::to_string(i + 1) + "\" msLevel=\"1\">";
  for (int i = 0; i < 100000; ++i) doc += "</scan>";
  doc += "\n</mzXML>\n";
  const ProcessResult result = runOn(tmp.write("nested.mzXML", doc));
  expectNoCrash(result);
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Scans: 1\n"), std::string::npos);
}

TEST(Robustness, EntityExpansion) {
  TempDir tmp;
  std::string doc =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE mzXML [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n";
  std::string previous = "a";
  for (char name = 'b'; name <= 'k'; ++name) {
    doc += std::string("<!ENTITY ") + name + " \"";
    for (int i = 0; i < 10; ++i) doc += "&" + previous + ";";
    doc += name == 'k' ? "\">]>\n" : "\">\n";
    previous = std::string(1, name);
  }
  doc += "<mzXML><scan num=\"1\" msLevel=\"1\" filterLine=\"&k;\"></scan></mzXML>\n";
  const std::string path = tmp.write("laughs.mzXML", doc);
  const ProcessResult result = runOn(path);
  expectNoCrash(result);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("XML Parsing error."), std::string::npos) << result.err;
}

TEST(Robustness, AttributeValuesOfSeveralMegabytes) {
  TempDir tmp;
  const std::string huge(8 << 20, '7');
  std::string doc = "<?xml version=\"1.0\"?>\n<mzXML>\n<scan num=\"" + huge +
                    "\" msLevel=\"1\" filterLine=\"" + huge + "\" retentionTime=\"PT" + huge +
                    "S\"></scan>\n</mzXML>\n";
  const ProcessResult result = runOn(tmp.write("attr.mzXML", doc), {"-s", tmp.file("s.tsv")});
  expectNoCrash(result);
  EXPECT_EQ(result.status, 0);
}

TEST(Robustness, FailedRequestsGiveStatusTwo) {
  TempDir tmp;
  const std::string run = tmp.write(
      "run.mzXML",
      oneScan("precision=\"32\"", testsupport::base64(testsupport::bigEndianFloats({500, 1e5})), 1));

  ProcessResult result = runOn(run, {"-P", tmp.path()});
  expectNoCrash(result);
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.out.find("BAD FILE\n"), std::string::npos);
  EXPECT_NE(result.err.find("'" + tmp.path() + "'"), std::string::npos);

  result = runOn(run, {"-P", tmp.file("missing.txt")});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("missing.txt"), std::string::npos);

  // (A report in a missing folder is refused before the run: driver_process_test.)
  for (const std::string& report : {std::string("/dev/full")}) {
    for (const char* option : {"-s", "-o", "-m"}) {
      result = runOn(run, {option, report});
      expectNoCrash(result);
      EXPECT_EQ(result.status, 2) << option << " " << report;
      EXPECT_NE(result.out.find("Done\n"), std::string::npos);
      EXPECT_NE(result.err.find("torva: cannot write report file '" + report + "'"), std::string::npos)
          << result.err;
    }
  }

  result = runOn(run, {"-s", tmp.file("ok.tsv")});
  EXPECT_EQ(result.status, 0);
}

// Every input the fuzzer ever found troublesome runs to a normal end.
TEST(Robustness, FuzzRegressionInputs) {
  const std::filesystem::path folder = std::filesystem::path(TORVA_SOURCE_DIR) / "tests" / "fuzz_regressions";
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) GTEST_SKIP() << "no regression inputs";
  TempDir tmp;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string copy = tmp.write("case.mzXML", testsupport::readFile(entry.path().string()));
    const ProcessResult result = runOn(
        copy, {"-s", tmp.file("s.tsv"), "-o", tmp.file("o.tsv"), "-m", tmp.file("m.tsv"), "-d", "-l", "-c"});
    SCOPED_TRACE(entry.path().filename().string());
    expectNoCrash(result);
  }
}
