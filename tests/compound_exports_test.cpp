// The exports of compounds and MS2 spectra, read back field by field against the formats' descriptions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_file.h"
#include "export/export_folder.h"
#include "export/gnps_export.h"
#include "export/mztab_export.h"
#include "export/sirius_export.h"
#include "util/parallel_for.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) out.push_back(line);
  return out;
}

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream stream(line);
  while (std::getline(stream, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.push_back("");
  return fields;
}

// Two samples; compound 1 as [M+H]+ (with MS2), its 13C1 and [M+Na]+; compound 2 a lone ion with MS2.
ExportSet twoSampleSet() {
  ExportSet set;
  set.samples = {"a.mzML", "b,c.mzXML"};
  set.runFiles = {"/data/a.mzML", "data/b,c.mzXML"};
  set.title = "cohort";
  ExportFeature h;
  h.featureId = 7;
  h.mz = 301.141;
  h.rt = 120.5;
  h.rtStart = 110;
  h.rtEnd = 131;
  h.areas = {1e6, 2e6};
  h.compoundId = 1;
  h.ion = "[M+H]+";
  h.charge = 1;
  h.neutralMass = 300.13372;
  h.representative = true;
  h.ms2Scans = 2;
  h.ms2 = {ExportSpectrum{1234, 1, 121.0, 301.1411, {{85.0284, 100}, {183.0652, 2500.5}}}};
  h.ms1Pattern = {{301.141, 1e5}, {302.1444, 1.6e4}};
  ExportFeature isotope = h;
  isotope.featureId = 8;
  isotope.mz = 302.1444;
  isotope.ion = "[M+H]+ 13C1";
  isotope.isotope = 1;
  isotope.representative = false;
  isotope.ms2.clear();
  isotope.ms2Scans = 0;
  ExportFeature na = isotope;
  na.featureId = 9;
  na.mz = 323.123;
  na.ion = "[M+Na]+";
  na.isotope = 0;
  na.areas = {3e5, 0};
  ExportFeature lone;
  lone.featureId = 10;
  lone.mz = 512.3;
  lone.rt = 300;
  lone.rtStart = 290;
  lone.rtEnd = 310;
  lone.areas = {0, 5e5};
  lone.compoundId = 2;
  lone.representative = true;
  lone.ms2Scans = 1;
  lone.ms2 = {ExportSpectrum{2000, 1, 301, 512.3, {{100.5, 10}}}};
  set.features = {h, isotope, na, lone};
  return set;
}

TEST(GnpsExport, MgfBlocksCarryTheFeatureFields) {
  const std::vector<std::string> text = lines(gnpsMgf(twoSampleSet()));
  const std::vector<std::string> expected = {"BEGIN IONS",
                                             "FEATURE_ID=7",
                                             "PEPMASS=301.14100",
                                             "SCANS=7",
                                             "RTINSECONDS=120.500",
                                             "CHARGE=1+",
                                             "MSLEVEL=2",
                                             "85.02840 100.0",
                                             "183.06520 2500.5",
                                             "END IONS",
                                             "",
                                             "BEGIN IONS",
                                             "FEATURE_ID=10",
                                             "PEPMASS=512.30000",
                                             "SCANS=10",
                                             "RTINSECONDS=300.000",
                                             "CHARGE=1+",
                                             "MSLEVEL=2",
                                             "100.50000 10.0",
                                             "END IONS",
                                             ""};
  EXPECT_EQ(text, expected);
}

TEST(GnpsExport, QuantTableHasOneRowPerFeatureAndOneAreaColumnPerSample) {
  const std::vector<std::string> text = lines(gnpsQuantTable(twoSampleSet()));
  ASSERT_EQ(text.size(), 5u);
  EXPECT_EQ(text[0], "row ID,row m/z,row retention time,a.mzML Peak area,\"b,c.mzXML Peak area\"");
  EXPECT_EQ(text[1], "7,301.14100,2.0083,1000000.00,2000000.00");
  EXPECT_EQ(text[4], "10,512.30000,5.0000,0.00,500000.00");
  // Every row ID of the MGF is a row of the table.
  std::set<std::string> ids;
  for (std::size_t k = 1; k < text.size(); ++k) ids.insert(split(text[k], ',')[0]);
  for (const std::string& line : lines(gnpsMgf(twoSampleSet()))) {
    if (line.rfind("FEATURE_ID=", 0) == 0) {
      EXPECT_EQ(ids.count(line.substr(11)), 1u) << line;
    }
  }
}

TEST(SiriusExport, OneBlockPerCompoundWithItsPatternAndSpectrum) {
  const std::vector<std::string> text = lines(siriusMs(twoSampleSet()));
  const std::vector<std::string> expected = {">compound 1_7",
                                             ">parentmass 301.14100",
                                             ">ionization [M+H]+",
                                             ">charge 1",
                                             ">rt 120.500s",
                                             "#feature_id 7",
                                             "#neutral_mass 300.13372",
                                             "",
                                             ">ms1",
                                             "301.14100 100000.0",
                                             "302.14440 16000.0",
                                             "",
                                             ">ms2",
                                             "85.02840 100.0",
                                             "183.06520 2500.5",
                                             "",
                                             ">compound 2_10",
                                             ">parentmass 512.30000",
                                             ">ionization [M+?]+",
                                             ">charge 1",
                                             ">rt 300.000s",
                                             "#feature_id 10",
                                             "",
                                             ">ms2",
                                             "100.50000 10.0",
                                             ""};
  EXPECT_EQ(text, expected);
}

// Both spectrum exports given the peak lines written once (as the export folder does) print what they print
// when they format the peaks themselves: features without a spectrum, a compound whose speaking ion comes
// after another ion with a spectrum, spectra without peaks.
TEST(SpectrumExports, PeakLinesWrittenOnceGiveTheSameFiles) {
  ExportSet later = twoSampleSet();
  ExportFeature second = later.features[3];  // compound 2 gains an explained ion with a spectrum
  second.featureId = 11;
  second.mz = 534.28;
  second.ion = "[M+Na]+";
  second.ms2 = {ExportSpectrum{2001, 0, 302, 534.28, {{90.25, 7}, {120.125, 3.5}, {534.28, 1e7}}}};
  later.features.push_back(second);
  ExportSet empty = later;
  empty.features[0].ms2.front().peaks.clear();
  ExportSet none = twoSampleSet();
  for (ExportFeature& feature : none.features) feature.ms2.clear();
  for (const ExportSet& set : {twoSampleSet(), later, empty, none, ExportSet{}}) {
    const std::vector<std::string> peakLines = ms2PeakLines(set);
    ASSERT_EQ(peakLines.size(), set.features.size());
    for (std::size_t f = 0; f < set.features.size(); ++f) {
      if (set.features[f].ms2.empty()) {
        EXPECT_EQ(peakLines[f], "");
      }
    }
    EXPECT_EQ(gnpsMgf(set, &peakLines), gnpsMgf(set));
    EXPECT_EQ(siriusMs(set, &peakLines), siriusMs(set));
  }
  EXPECT_NE(siriusMs(later).find(">compound 2_11"), std::string::npos);  // the later ion speaks
  EXPECT_NE(ms2PeakLines(later)[4], "");
}

// The mandatory metadata of an mzTab-M 2.0.0 file, the mandatory columns of its three tables, "null" for
// what is not known, and rows that refer to each other consistently.
TEST(MztabExport, MandatoryFieldsAndCrossReferences) {
  const ExportSet set = twoSampleSet();
  const std::vector<std::string> text = lines(mztabM(set));
  std::map<std::string, std::string> mtd;
  std::map<std::string, std::vector<std::string>> heads;
  std::map<std::string, std::vector<std::vector<std::string>>> rows;
  const std::map<std::string, std::string> headOf = {{"SML", "SMH"}, {"SMF", "SFH"}, {"SME", "SEH"}};
  for (const std::string& line : text) {
    if (line.empty()) continue;
    const std::vector<std::string> fields = split(line, '\t');
    if (fields[0] == "MTD") {
      ASSERT_EQ(fields.size(), 3u) << line;
      mtd[fields[1]] = fields[2];
    } else if (fields[0] == "SMH" || fields[0] == "SFH" || fields[0] == "SEH") {
      heads[fields[0]] = fields;
    } else {
      ASSERT_TRUE(headOf.count(fields[0])) << line;
      ASSERT_EQ(fields.size(), heads[headOf.at(fields[0])].size()) << line;
      for (const std::string& field : fields) EXPECT_FALSE(field.empty()) << line;
      rows[fields[0]].push_back(fields);
    }
  }
  const char* mandatory[] = {"mzTab-version",
                             "mzTab-ID",
                             "software[1]",
                             "quantification_method",
                             "ms_run[1]-location",
                             "ms_run[2]-location",
                             "ms_run[1]-scan_polarity[1]",
                             "assay[1]",
                             "assay[1]-ms_run_ref",
                             "assay[2]",
                             "assay[2]-ms_run_ref",
                             "study_variable[1]",
                             "study_variable[1]-assay_refs",
                             "study_variable[1]-description",
                             "cv[1]-label",
                             "cv[1]-full_name",
                             "cv[1]-version",
                             "cv[1]-uri",
                             "database[1]",
                             "database[1]-prefix",
                             "database[1]-version",
                             "database[1]-uri",
                             "small_molecule-quantification_unit",
                             "small_molecule_feature-quantification_unit",
                             "id_confidence_measure[1]"};
  for (const char* key : mandatory) EXPECT_TRUE(mtd.count(key)) << key;
  EXPECT_EQ(mtd["mzTab-version"], "2.0.0-M");
  EXPECT_EQ(mtd["ms_run[1]-location"], "file:///data/a.mzML");
  EXPECT_EQ(mtd["study_variable[1]-assay_refs"], "assay[1]|assay[2]");
  // Every controlled vocabulary a parameter names is declared.
  std::set<std::string> declared;
  for (const auto& entry : mtd) {
    if (entry.first.find("-label") != std::string::npos) declared.insert(entry.second);
  }
  for (const auto& entry : mtd) {
    if (entry.second.size() > 1 && entry.second[0] == '[' && entry.second[1] != ',') {
      EXPECT_TRUE(declared.count(entry.second.substr(1, entry.second.find(',') - 1))) << entry.first;
    }
  }
  const char* smlColumns[] = {"SML_ID",
                              "SMF_ID_REFS",
                              "database_identifier",
                              "chemical_formula",
                              "smiles",
                              "inchi",
                              "chemical_name",
                              "uri",
                              "theoretical_neutral_mass",
                              "adduct_ions",
                              "reliability",
                              "best_id_confidence_measure",
                              "best_id_confidence_value",
                              "abundance_assay[1]",
                              "abundance_assay[2]",
                              "abundance_study_variable[1]",
                              "abundance_variation_study_variable[1]"};
  const char* smfColumns[] = {"SMF_ID",
                              "SME_ID_REFS",
                              "SME_ID_REF_ambiguity_code",
                              "adduct_ion",
                              "isotopomer",
                              "exp_mass_to_charge",
                              "charge",
                              "retention_time_in_seconds",
                              "retention_time_in_seconds_start",
                              "retention_time_in_seconds_end",
                              "abundance_assay[1]",
                              "abundance_assay[2]"};
  const char* smeColumns[] = {"SME_ID",
                              "evidence_input_id",
                              "database_identifier",
                              "chemical_formula",
                              "smiles",
                              "inchi",
                              "chemical_name",
                              "uri",
                              "derivatized_form",
                              "adduct_ion",
                              "exp_mass_to_charge",
                              "charge",
                              "theoretical_mass_to_charge",
                              "spectra_ref",
                              "identification_method",
                              "ms_level",
                              "id_confidence_measure[1]",
                              "rank"};
  auto expectHead = [&](const std::string& head, const char* const* names, std::size_t count) {
    ASSERT_EQ(heads[head].size(), count + 1) << head;
    for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(heads[head][k + 1], names[k]) << head;
  };
  expectHead("SMH", smlColumns, sizeof smlColumns / sizeof smlColumns[0]);
  expectHead("SFH", smfColumns, sizeof smfColumns / sizeof smfColumns[0]);
  expectHead("SEH", smeColumns, sizeof smeColumns / sizeof smeColumns[0]);

  ASSERT_EQ(rows["SML"].size(), 2u);
  EXPECT_EQ(rows["SML"][0][2], "7|8|9");
  EXPECT_EQ(rows["SML"][0][9], "300.13372");
  EXPECT_EQ(rows["SML"][0][10], "[M+H]1+|[M+Na]1+");
  EXPECT_EQ(rows["SML"][1][9], "null");
  ASSERT_EQ(rows["SMF"].size(), 4u);
  EXPECT_EQ(rows["SMF"][0][4], "[M+H]1+");
  EXPECT_EQ(rows["SMF"][1][5], "[,, 13C1, ]");
  EXPECT_EQ(rows["SMF"][3][4], "null");
  EXPECT_EQ(rows["SMF"][3][11], "null");  // no area in sample a
  // Each SME referenced by a feature exists and points at the feature's spectrum.
  ASSERT_EQ(rows["SME"].size(), 2u);
  std::set<std::string> evidence;
  for (const auto& row : rows["SME"]) evidence.insert(row[1]);
  for (const auto& row : rows["SMF"]) {
    if (row[2] != "null") {
      EXPECT_TRUE(evidence.count(row[2])) << row[1];
    }
  }
  EXPECT_EQ(rows["SME"][0][14], "ms_run[2]:scan=1234");
  EXPECT_EQ(rows["SME"][0][16], "[MS, MS:1000511, ms level, 2]");
}

// A cohort's compound ids need not come in order nor together: one SML row per compound in order of its
// first feature, its features in table order, each adduct once, the representative's mass and areas.
TEST(MztabExport, CompoundRowsGatherFeaturesInAnyOrder) {
  ExportSet set;
  set.samples = {"a.mzML"};
  struct Row {
    long featureId, compoundId;
    const char* ion;
    bool representative;
    double neutralMass;
  };
  const Row table[] = {
      {1, 40, "[M+H]+", true, 200.5},   {2, 3, "", true, 0},  {3, 40, "[M+Na]+", false, 200.5},
      {4, 7, "[M+H]+", true, 99.25},    {5, 3, "", false, 0}, {6, 40, "[M+H]+ 13C1", false, 200.5},
      {7, 40, "[M+Na]+", false, 200.5}, {8, -1, "", true, 0}};
  for (const Row& row : table) {
    ExportFeature feature;
    feature.featureId = row.featureId;
    feature.compoundId = row.compoundId;
    feature.ion = row.ion;
    feature.isotope = std::string(row.ion).find("13C") != std::string::npos ? 1 : 0;
    feature.representative = row.representative;
    feature.neutralMass = row.neutralMass;
    feature.mz = 100 + static_cast<double>(row.featureId);
    feature.areas = {10.0 * static_cast<double>(row.featureId)};
    set.features.push_back(feature);
  }
  std::vector<std::vector<std::string>> sml;
  for (const std::string& line : lines(mztabM(set))) {
    if (line.rfind("SML\t", 0) == 0) sml.push_back(split(line, '\t'));
  }
  struct Expected {
    const char *id, *refs, *mass, *adducts, *area;
  };
  const Expected expected[] = {{"1", "1|3|6|7", "200.50000", "[M+H]1+|[M+Na]1+", "10.00"},
                               {"2", "2|5", "null", "null", "20.00"},
                               {"3", "4", "99.25000", "[M+H]1+", "40.00"},
                               {"4", "8", "null", "null", "80.00"}};
  ASSERT_EQ(sml.size(), 4u);
  for (std::size_t k = 0; k < sml.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(sml[k][1], expected[k].id);
    EXPECT_EQ(sml[k][2], expected[k].refs);
    EXPECT_EQ(sml[k][9], expected[k].mass);
    EXPECT_EQ(sml[k][10], expected[k].adducts);
    EXPECT_EQ(sml[k][14], expected[k].area);
  }
}

TEST(MztabExport, AdductsCarryTheirChargeNumber) {
  EXPECT_EQ(mztabAdduct("[M+H]+"), "[M+H]1+");
  EXPECT_EQ(mztabAdduct("[M+2H]2+"), "[M+2H]2+");
  EXPECT_EQ(mztabAdduct("[M-H]- 13C2"), "[M-H]1-");
  EXPECT_EQ(mztabAdduct("13C1"), "");
  EXPECT_EQ(mztabAdduct(""), "");
}

TEST(ExportFile, WritesWholeOrLeavesTheOldFile) {
  const std::string path = ::testing::TempDir() + "torva_export_file.txt";
  std::string error;
  ASSERT_TRUE(writeExportFile(path, "first\n", error)) << error;
  EXPECT_FALSE(writeExportFile(::testing::TempDir() + "no/such/folder/x.txt", "x", error));
  EXPECT_NE(error.find("no/such/folder/x.txt"), std::string::npos);
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, "first");
  std::remove(path.c_str());
}

// The exports' numbers against printf's "%.*f", which they were first printed with: every digit count the
// exports use, numbers that round at the last decimal, signed zeros, numbers too long for the buffer (cut
// as printf cut them), infinities and not-a-number.
// The folder's four files hold what each export writes on its own, whatever the number of workers that
// compose and write them; a folder that is not there is named by its first file, and nothing is left
// behind.
TEST(ExportFolder, EachFileAsItsExportWritesIt) {
  const ExportSet set = twoSampleSet();
  const std::string folder = ::testing::TempDir() + "torva_export_folder";
  std::remove((folder + "/gnps.mgf").c_str());
  ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
  const auto read = [&](const std::string& name) {
    std::ifstream file(folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  for (std::size_t workers : {std::size_t{1}, std::size_t{3}}) {
    SCOPED_TRACE(workers);
    setWorkerCount(workers);
    std::string error;
    ASSERT_TRUE(writeExportFolder(folder, set, "cohort.mztab", error)) << error;
    EXPECT_EQ(read("gnps.mgf"), gnpsMgf(set));
    EXPECT_EQ(read("gnps_quant.csv"), gnpsQuantTable(set));
    EXPECT_EQ(read("sirius.ms"), siriusMs(set));
    EXPECT_EQ(read("cohort.mztab"), mztabM(set));
    const std::string missing = folder + "/not_there";
    EXPECT_FALSE(writeExportFolder(missing, set, "cohort.mztab", error));
    EXPECT_EQ(error.rfind(missing + "/gnps.mgf: ", 0), 0u) << error;
  }
  setWorkerCount(0);
  ASSERT_EQ(std::system(("rm -r '" + folder + "'").c_str()), 0);
}

TEST(ExportFile, NumbersPrintAsPrintfPrintsThem) {
  const double values[] = {0.0,
                           -0.0,
                           0.5,
                           1.5,
                           2.5,
                           0.125,
                           0.00005,
                           123.456785,
                           123.4567849999,
                           1e-300,
                           -7.25,
                           1e15,
                           123456789.987654321,
                           1e200,
                           -1e300,
                           1.0 / 0.0,
                           -1.0 / 0.0,
                           0.0 / 0.0,
                           4503599627370497.0,
                           0.1 + 0.2};
  for (double value : values) {
    for (int digits : {0, 1, 2, 3, 4, 5}) {
      char reference[64];
      std::snprintf(reference, sizeof reference, "%.*f", digits, value);
      EXPECT_EQ(exportNumber(value, digits), reference) << value << " " << digits;
      std::string appended = "x";
      appendExportNumber(appended, value, digits);
      EXPECT_EQ(appended, std::string("x") + reference);
    }
  }
  // Random m/z, intensities and times, and numbers on a tie of the last decimal (x.5 / 10^digits exactly
  // and the doubles either side of it), at every digit count up to nine.
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int k = 0; k < 20000; ++k) {
    const int digits = k % 10;
    double value = k % 3 == 0 ? 50 + 2000 * unit(random) : std::pow(10.0, 12 * unit(random)) * unit(random);
    if (k % 7 == 0) value = (std::floor(value * 1e3) + 0.5) / 1e3;
    if (k % 11 == 0) value = std::nextafter(value, k % 2 == 0 ? 0.0 : 1e300);
    if (k % 5 == 0) value = -value;
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.*f", digits, value);
    ASSERT_EQ(exportNumber(value, digits), reference) << value << " " << digits;
  }
  std::string peak;
  appendExportPeak(peak, 301.1234567, 1234.56);
  EXPECT_EQ(peak, "301.12346 1234.6\n");
}

}  // namespace
