// mzML input: real files of many writers, the same runs as mzML and mzXML,
// damaged and hostile documents, and the choice of reader.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "input/loaders.h"
#include "store/file_handle.h"
#include "tests/test_support.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

std::string mzmlDir() {
  const std::string dir = testsupport::realDataDir();
  return dir.empty() ? dir : dir + "/mzml";
}

// Imports one file into a fresh store; standard output is swallowed.
void importQuietly(fileHandle& run, const std::string& path) {
  testsupport::ConsoleCapture quiet;
  run.importFile(path.c_str(), 1);
}

std::string gzip(const std::string& bytes) {
  TempDir dir;
  const std::string path = dir.file("data.gz");
  gzFile file = gzopen(path.c_str(), "wb");
  gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(file);
  return testsupport::readFile(path);
}

// A small mzML document with the given spectrum elements.
std::string mzmlDocument(const std::string& spectra, const std::string& prologue = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + prologue +
         "<mzML xmlns=\"http://psi.hupo.org/ms/mzml\"><run id=\"r\"><spectrumList count=\"1\">\n" + spectra +
         "</spectrumList></run></mzML>\n";
}

std::string cv(const std::string& accession, const std::string& value = "", const std::string& unit = "") {
  return "<cvParam cvRef=\"MS\" accession=\"" + accession + "\" name=\"any\" value=\"" + value + "\"" +
         (unit.empty() ? "" : " unitAccession=\"" + unit + "\"") + "/>";
}

std::string array(const std::string& kind, const std::vector<double>& values, const std::string& extra = "") {
  return "<binaryDataArray encodedLength=\"0\">" + cv("MS:1000523") + cv(kind) + "<binary>" +
         testsupport::base64(testsupport::littleEndianDoubles(values)) + "</binary></binaryDataArray>" +
         extra;
}

std::string spectrum(int scanNumber, const std::string& params, const std::vector<double>& mz,
                     const std::vector<double>& intensity, const std::string& length = "") {
  return "<spectrum index=\"0\" id=\"controllerType=0 controllerNumber=1 scan=" + std::to_string(scanNumber) +
         "\" defaultArrayLength=\"" + (length.empty() ? std::to_string(mz.size()) : length) + "\">" + params +
         "<binaryDataArrayList count=\"2\">" + array("MS:1000514", mz) + array("MS:1000515", intensity) +
         "</binaryDataArrayList></spectrum>\n";
}

}  // namespace

// Every real mzML file: the spectra of MS levels 1 and 2 it holds, or with -S
// its SRM channels, and values decoded independently (Python's base64, zlib
// and struct, and a separate Numpress decoder) from the first spectrum with
// peaks, or from the first SRM chromatogram at its highest point.
TEST(RealMzml, EveryFileImportsWithItsSpectraAndValues) {
  const std::string dir = mzmlDir();
  if (dir.empty()) GTEST_SKIP() << testsupport::realDataSkipReason();
  struct Expected {
    const char* file;
    std::size_t spectra;
    std::size_t channels;  // with -S
    std::size_t points;    // peaks of the first spectrum, or points of the first SRM chromatogram
    double first[2];       // m/z and intensity of its first peak, or time (s) and intensity at the apex
    std::size_t apex;      // SRM: index of the highest point
  };
  const Expected table[] = {
      {"bruker_timstof_ddapasef_msconvert.mzML.gz", 103, 0, 205, {822.4255084189305, 115.0}, 0},
      {"leco_citiushrt_chromatof_refparamgroup.mzML", 102, 0, 18, {56.96228563479313, 3152.0}, 0},
      {"pair_thermo_qe_ms1_LB12HL_AB.mzML.gz", 705, 0, 28, {139.05030822753906, 1800550.125}, 0},
      {"sciex_tripletof6600_dda_msconvert_then_openms.mzML",
       259,
       0,
       150,
       {52.005865355474754, 2936.356689453125},
       0},
      {"thermo_ltqft_dda_msconvert_zlib_small.mzML", 48, 0, 19914, {200.00018816645022, 0.0}, 0},
      {"thermo_qe_dda_openms_written.mzML.gz", 387, 0, 25, {115.16994703428857, 527.447509765625}, 0},
      {"thermo_qe_dda_trfp_then_msconvert_rt4-5min.mzML", 507, 0, 15, {50.47297286987305, 8951.58203125}, 0},
      {"thermo_qe_profile_float32mz_msconvert.mzML", 5, 0, 21013, {653.4325561523438, 0.0}, 0},
      {"thermo_sq_polswitch_numpress_linear_zlib_msconvert.mzML",
       6,
       0,
       1289,
       {100.4400634907183, 9340.2138671875},
       0},
      {"thermo_tsq_uv_trfp_nonindexed_truncated.mzML.gz",
       5,
       0,
       1492,
       {201.0991668701172, 5584.0712890625},
       0},
      {"sciex_swath_openswath_chrom_numpress_linear_pic.mzML", 0, 1, 176, {2575.6399998711454, 856.0}, 80},
      {"sciex_qtrap_srm_chrom_stripped_header.mzML", 0, 11, 305, {3.5903 * 60, 39600.0}, 138},
      {"shimadzu_qqq_srm_chrom_msconvert.mzML", 0, 101, 160, {196.332, 1210345.0}, 33},
      {"thermo_tsq_quantum_srm_chrom_msconvert.mzML", 0, 101, 592, {4.336333274841309 * 60, 2806693.5}, 569},
  };
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.file);
    const std::string path = dir + "/" + expected.file;
    std::vector<scan> spectra;
    std::vector<SrmChromatogram> chromatograms;
    Header header;
    loadmzml loader(spectra, header, chromatograms);
    std::string name = path;
    {
      testsupport::ConsoleCapture quiet;
      ASSERT_TRUE(loader.open(name));
      EXPECT_TRUE(loader.get());
    }
    EXPECT_EQ(spectra.size(), expected.spectra);
    if (expected.spectra > 0) {
      const scan* first = nullptr;
      for (const scan& s : spectra) {
        if (!s.peaks.empty()) {
          first = &s;
          break;
        }
      }
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(first->peaks.size(), expected.points);
      EXPECT_EQ(first->peaks[0].mz, static_cast<float>(expected.first[0]));
      EXPECT_EQ(first->peaks[0].intensity, static_cast<float>(expected.first[1]));
      for (const scan& s : spectra) EXPECT_TRUE(s.msLevel == 1 || s.msLevel == 2);
    } else {
      ASSERT_FALSE(chromatograms.empty());
      const SrmChromatogram& first = chromatograms.front();
      ASSERT_EQ(first.times.size(), expected.points);
      EXPECT_DOUBLE_EQ(first.times[expected.apex], expected.first[0]);
      EXPECT_EQ(first.intensities[expected.apex], static_cast<float>(expected.first[1]));
      fileHandle run;
      run.SRM = true;
      importQuietly(run, path);
      EXPECT_EQ(run.channels.size(), expected.channels);
    }
  }
}

// The same run as mzML and as mzXML gives the same reports, byte for byte:
// the real pair, and simulated runs in every storage form.
TEST(MzmlPairs, SameRunGivesIdenticalReports) {
  TempDir dir;
  struct Pair {
    std::string mzml, mzxml;
    bool srm;
  };
  std::vector<Pair> pairs;
  const std::vector<std::vector<std::string>> forms = {
      {}, {"-b", "64"}, {"-z"}, {"-N"}, {"-N", "-z", "-b", "64"}};
  int n = 0;
  for (const auto& form : forms) {
    const std::string base = dir.file("run" + std::to_string(n++));
    for (const char* suffix : {".mzXML", n % 2 == 0 ? ".mzML.gz" : ".mzML"}) {
      std::vector<std::string> args = {"-o", base + suffix, "-n", "40", "-k", "40", "-c", "3", "-s", "11"};
      args.insert(args.end(), form.begin(), form.end());
      ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(), args).status, 0);
    }
    pairs.push_back({base + (n % 2 == 0 ? ".mzML.gz" : ".mzML"), base + ".mzXML", false});
  }
  // SRM: mzXML spectra against mzML chromatograms and mzML spectra.
  const std::string srm = dir.file("srm");
  const std::vector<std::string> srmArgs = {"-m", "srm", "-n", "300", "-t", "6", "-c", "3", "-s", "5"};
  for (const auto& extra : std::vector<std::vector<std::string>>{
           {"-o", srm + ".mzXML"}, {"-o", srm + ".mzML", "-C"}, {"-o", srm + "_spectra.mzML.gz"}}) {
    std::vector<std::string> args = srmArgs;
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(), args).status, 0);
  }
  pairs.push_back({srm + ".mzML", srm + ".mzXML", true});
  pairs.push_back({srm + "_spectra.mzML.gz", srm + ".mzXML", true});
  const std::string real = mzmlDir();
  if (!real.empty()) {
    pairs.push_back({real + "/pair_thermo_qe_ms1_LB12HL_AB.mzML.gz",
                     real + "/pair_thermo_qe_ms1_LB12HL_AB.mzXML.gz", false});
  }

  const std::vector<std::vector<std::string>> optionSets = {
      {}, {"-d", "-l", "-c"}, {"-p", "300.1,455.2,139.05"}};
  for (const Pair& pair : pairs) {
    for (const auto& options : optionSets) {
      SCOPED_TRACE(pair.mzml + " " + (options.empty() ? "" : options[0]));
      std::string reports[2];
      int which = 0;
      for (const std::string& input : {pair.mzml, pair.mzxml}) {
        std::vector<std::string> args = {"-i", input,         "-s", dir.file("s"),
                                         "-o", dir.file("o"), "-m", dir.file("m")};
        if (pair.srm) args.push_back("-S");
        args.insert(args.end(), options.begin(), options.end());
        const ProcessResult result = testsupport::runTorva(args);
        EXPECT_EQ(result.status, 0) << result.err;
        reports[which++] = testsupport::readFile(dir.file("s")) + testsupport::readFile(dir.file("o")) +
                           testsupport::readFile(dir.file("m"));
      }
      EXPECT_GT(reports[0].size(), 100u);
      EXPECT_TRUE(reports[0] == reports[1]);
    }
  }
}

// Damaged and hostile documents: a cut file keeps what came before the cut and
// ends with status 2; declared lengths that lie cost no memory; arrays of
// different lengths keep the shorter; undecodable data reads as empty.
TEST(MzmlDamage, CutLyingAndMismatchedDocuments) {
  TempDir dir;
  const std::string ms1 = cv("MS:1000511", "1") + cv("MS:1000016", "1.5", "UO:0000031");
  std::string body;
  for (int i = 1; i <= 3; ++i) body += spectrum(i, ms1, {100.0 + i, 200}, {1000, 2000});
  const std::string whole = mzmlDocument(body);

  struct Case {
    std::string name, content;
    int status;
    std::size_t spectra;
    std::size_t peaks;  // of the first spectrum
    const char* err;    // expected on standard error
  };
  const std::string cut = whole.substr(0, whole.find("scan=3"));
  const Case cases[] = {
      {"whole.mzML", whole, 0, 3, 2, ""},
      {"cut.mzML", cut, 2, 2, 2, "error"},
      {"cut.mzML.gz", gzip(whole).substr(0, gzip(whole).size() / 2), 2, 0, 0, "gzip data damaged"},
      {"lying.mzML", mzmlDocument(spectrum(1, ms1, {100, 200}, {1, 2}, "2147483647")), 0, 1, 2, ""},
      {"short.mzML", mzmlDocument(spectrum(1, ms1, {100, 200, 300}, {1, 2})), 0, 1, 2,
       "the shorter array is kept"},
      {"noise.mzML",
       mzmlDocument("<spectrum id=\"x\" index=\"0\" defaultArrayLength=\"5\">" + ms1 +
                    "<binaryDataArrayList><binaryDataArray>" + cv("MS:1000574") + cv("MS:1000514") +
                    "<binary>bm90IHpsaWI=</binary></binaryDataArray><binaryDataArray>" + cv("MS:1002313") +
                    cv("MS:1000515") +
                    "<binary>////////</binary></binaryDataArray></binaryDataArrayList></spectrum>"),
       2, 1, 0, "holds more than its 5 declared values"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write(c.name, c.content);
    const ProcessResult result = testsupport::runTorva({"-i", path, "-s", dir.file("s.tsv")});
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    fileHandle run;
    importQuietly(run, path);
    ASSERT_EQ(run.scans.size(), c.spectra);
    if (c.spectra > 0) {
      EXPECT_EQ(run.scans[0].peaks.size(), c.peaks);
      EXPECT_EQ(run.scans[0].rt, 90);  // 1.5 minutes
    }
  }
}

// The reader is chosen by the root element, whatever precedes it; the
// spectrum fields come from their accessions, directly or through a group.
TEST(MzmlReader, RootElementChoiceAndSpectrumFields) {
  TempDir dir;
  const std::string group = "<referenceableParamGroupList count=\"1\"><referenceableParamGroup id=\"g\">" +
                            cv("MS:1000511", "2") + cv("MS:1000129") +
                            "</referenceableParamGroup></referenceableParamGroupList>";
  const std::string ms2 =
      "<referenceableParamGroupRef ref=\"g\"/>" + cv("MS:1000285", "5000") + cv("MS:1000505", "300") +
      "<scanList><scan>" + cv("MS:1000016", "12.5", "UO:0000010") +
      cv("MS:1000512", "FTMS + c ESI d Full ms2") + "<scanWindowList><scanWindow>" + cv("MS:1000501", "50") +
      cv("MS:1000500", "900") +
      "</scanWindow></scanWindowList></scan></scanList><precursorList><precursor><isolationWindow>" +
      cv("MS:1000827", "445.5") + "</isolationWindow></precursor></precursorList>";
  const std::string others =
      spectrum(7, cv("MS:1000511", "3"), {1}, {1}) +                // MS3: skipped
      spectrum(8, cv("MS:1000804"), {1}, {1}) +                     // UV: skipped
      spectrum(9, cv("MS:1000579") + cv("MS:1000497"), {1}, {1}) +  // zoom MS1: dropped
      spectrum(5, cv("MS:1000579"), {100}, {1});                    // untyped level: MS1
  const std::string doc = "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- written by hand --><mzML><run>" + group +
                          "<spectrumList>" + spectrum(5, ms2, {150, 160}, {10, 20}) + others +
                          "</spectrumList></run></mzML>";
  const std::string path = dir.write("Hand.MZML", doc);
  fileHandle run;
  importQuietly(run, path);
  ASSERT_EQ(run.scans.size(), 2u);
  const scan& s = run.scans[0];
  EXPECT_EQ(s.num, 5);
  EXPECT_EQ(s.msLevel, 2);
  EXPECT_EQ(s.polarity, "-");
  EXPECT_EQ(s.rt, 12.5);
  EXPECT_EQ(s.filterLine, "FTMS + c ESI d Full ms2");
  EXPECT_EQ(s.precursorMz, 445.5);
  EXPECT_EQ(s.totIonCurrent, 5000);
  EXPECT_EQ(s.basePeakIntensity, 300);
  EXPECT_EQ(s.lowMz, 50);
  EXPECT_EQ(s.highMz, 900);
  // The second spectrum numbered 5 takes the next free id, as in mzXML.
  EXPECT_EQ(run.scans[1].num, 5);
  EXPECT_EQ(run.scans[1].id, 6);
  EXPECT_EQ(run.scans[1].msLevel, 1);

  // A folder takes .mzML, .mzML.gz and .mzXML.gz names in any case.
  TempDir folder;
  folder.write("a.MZML", doc);
  folder.write("b.mzml.GZ", gzip(doc));
  folder.write("c.mzXML.gz", gzip(testsupport::readFile(TORVA_SOURCE_DIR "/examples/example.mzXML")));
  folder.write("d.txt", doc);
  fileHandle all;
  {
    testsupport::ConsoleCapture quiet;
    EXPECT_TRUE(all.importFolder(folder.path().c_str(), 1));
  }
  EXPECT_EQ(all.scans.size(), 2u + 2u + 240u);
}

// MS:1000127 / MS:1000128 on a spectrum, directly or through its parameter
// group, give its representation; a spectrum without either is unknown, and
// the terms inside a scan's or an array's own elements do not count.
TEST(MzmlReader, SpectrumRepresentationFromItsTerms) {
  TempDir dir;
  using R = SpectrumRepresentation;
  const std::string group = "<referenceableParamGroupList count=\"1\"><referenceableParamGroup id=\"p\">" +
                            cv("MS:1000128") + "</referenceableParamGroup></referenceableParamGroupList>";
  const std::string ms1 = cv("MS:1000511", "1");
  const std::string doc = "<?xml version=\"1.0\"?><mzML><run>" + group + "<spectrumList>" +
                          spectrum(1, ms1 + cv("MS:1000128"), {100, 100.01}, {1, 2}) +
                          spectrum(2, ms1 + cv("MS:1000127"), {100}, {1}) + spectrum(3, ms1, {100}, {1}) +
                          spectrum(4, "<referenceableParamGroupRef ref=\"p\"/>" + ms1, {100}, {1}) +
                          spectrum(5,
                                   ms1 + "<precursorList><precursor><isolationWindow>" + cv("MS:1000128") +
                                       "</isolationWindow></precursor></precursorList>",
                                   {100}, {1}) +
                          "</spectrumList></run></mzML>";
  fileHandle run;
  importQuietly(run, dir.write("r.mzML", doc));
  ASSERT_EQ(run.scans.size(), 5u);
  const std::vector<R> expected = {R::Profile, R::Centroid, R::Unknown, R::Profile, R::Unknown};
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(run.scans[k].representation, expected[k]) << k;
}

// The real files converted without peak picking say so on each spectrum.
TEST(RealMzml, ProfileSpectraAreMarked) {
  const std::string dir = mzmlDir();
  if (dir.empty()) GTEST_SKIP() << "no real data";
  using R = SpectrumRepresentation;
  fileHandle ltqft;
  importQuietly(ltqft, dir + "/thermo_ltqft_dda_msconvert_zlib_small.mzML");
  ASSERT_FALSE(ltqft.scans.empty());
  for (const scan& s : ltqft.scans) {
    // Full scans are profile (FTMS and ITMS alike), the ion trap's MS2 scans centroids.
    EXPECT_EQ(s.representation, s.msLevel == 1 ? R::Profile : R::Centroid) << s.num;
  }
  fileHandle qe;
  importQuietly(qe, dir + "/thermo_qe_profile_float32mz_msconvert.mzML");
  ASSERT_EQ(qe.scans.size(), 5u);
  for (const scan& s : qe.scans) EXPECT_EQ(s.representation, R::Profile) << s.num;
}

// Input of which nothing can be read ends with status 2 and one line per file
// on standard error; a file of SRM chromatograms read without -S says so.
TEST(MzmlReader, UnreadableInputAndSrmHint) {
  TempDir dir;
  const std::string text = dir.write("notes.mzML", "just some text\n");
  const std::string summary = dir.file("summary.tsv");
  ProcessResult result = testsupport::runTorva({"-i", text, "-s", summary});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, text + ": no spectra read: it is not an XML document\n");
  EXPECT_NE(result.out.find("Not xml\nScans: 0\n"), std::string::npos);

  const std::string other = dir.write("other.xml", "<?xml version=\"1.0\"?>\n<mzData>\n</mzData>\n");
  result = testsupport::runTorva({"-i", other, "-s", summary});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, other + ": no spectra read: its root element <mzData> is not mzXML or mzML\n");

  // An empty but well-formed run is read, and is no failure.
  const std::string empty = dir.write("empty.mzML", mzmlDocument(""));
  EXPECT_EQ(testsupport::runTorva({"-i", empty, "-s", summary}).status, 0);

  const std::string srm = dir.file("srm.mzML");
  ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(),
                                    {"-o", srm, "-m", "srm", "-n", "30", "-t", "3", "-C"})
                .status,
            0);
  result = testsupport::runTorva({"-i", srm, "-s", summary});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, srm + " holds 3 SRM chromatograms and no spectra; -S reads them\n");
}
