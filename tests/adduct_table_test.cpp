#include "compounds/adduct_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/test_support.h"

namespace {

// Ion m/z of a neutral mass of 300 Da for each listed ion, against values worked out by hand from the
// monoisotopic masses (H 1.00782503, Na 22.98976928, K 38.96370668, N 14.00307401, O 15.99491462,
// Cl 34.96885268, electron 0.00054858).
TEST(AdductTable, BundledIonsGiveTheirMasses) {
  struct Case {
    const char* name;
    double mz;
    int charge;
  };
  const Case cases[] = {
      {"[M+H]+", 301.00727645, 1},      {"[M+Na]+", 322.98922070, 1},    {"[M+K]+", 338.96315810, 1},
      {"[M+NH4]+", 318.03382555, 1},    {"[M+H-H2O]+", 282.99671177, 1}, {"[2M+H]+", 601.00727645, 1},
      {"[2M+Na]+", 622.98922070, 1},    {"[M+2H]2+", 151.00727645, 2},   {"[M-H]-", 298.99272355, -1},
      {"[M+Cl]-", 334.96940126, -1},    {"[M+HCOO]-", 344.99820285, -1}, {"[M+CH3COO]-", 359.01385292, -1},
      {"[M-H-H2O]-", 280.98215886, -1}, {"[2M-H]-", 598.99272355, -1},
  };
  const std::vector<Adduct> list = defaultAdducts();
  ASSERT_EQ(list.size(), sizeof cases / sizeof cases[0]);
  for (std::size_t k = 0; k < list.size(); ++k) {
    SCOPED_TRACE(cases[k].name);
    EXPECT_EQ(list[k].name, cases[k].name);
    EXPECT_EQ(list[k].charge, cases[k].charge);
    EXPECT_NEAR(list[k].mzOf(300.0), cases[k].mz, 2e-6);
    EXPECT_NEAR(list[k].neutralOf(list[k].mzOf(300.0)), 300.0, 1e-9);
  }
}

TEST(AdductTable, BundledListIsTheDocumentedFile) {
  std::ifstream file(std::string(TORVA_SOURCE_DIR) + "/compounds/adducts.tsv");
  ASSERT_TRUE(file) << "compounds/adducts.tsv not found";
  std::ostringstream text;
  text << file.rdbuf();
  const std::vector<Adduct> fromFile = parseAdductList(text.str());
  const std::vector<Adduct> bundled = defaultAdducts();
  ASSERT_EQ(fromFile.size(), bundled.size());
  for (std::size_t k = 0; k < bundled.size(); ++k) EXPECT_EQ(fromFile[k].name, bundled[k].name);
}

TEST(AdductTable, EditedListAddsIonsAndWeights) {
  const std::vector<Adduct> list = parseAdductList("# mine\n\n[M+Li]+\t0.25\n[M+3H]3+\n[M+Br]-\t1\n");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_DOUBLE_EQ(list[0].weight, 0.25);
  EXPECT_DOUBLE_EQ(list[1].weight, 1.0);
  EXPECT_EQ(list[1].charge, 3);
  EXPECT_NEAR(list[1].mzOf(300), (300 + 3 * 1.00782503207 - 3 * kElectronMass) / 3, 1e-9);
  EXPECT_EQ(list[2].charge, -1);
  EXPECT_EQ(adductsOfPolarity(list, -1).size(), 1u);
}

TEST(AdductTable, MalformedEntriesNameTheirLine) {
  const char* bad[] = {"[M+H]+\n[M+Xx]+\n",   "[M+H]+\nM+H\n",    "[M+H]+\n[M+H]\n",
                       "[M+H]+\n[M+H]+\t2\n", "[M+H]+\n[M+H]+\n", "[M+H]+\n[M++H]+\n"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    try {
      parseAdductList(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("line 2: ", 0), 0u) << error.what();
    }
  }
  EXPECT_THROW(parseAdductList("# nothing\n"), std::runtime_error);
  EXPECT_THROW(readAdductFile("/nonexistent/adducts.tsv"), std::runtime_error);
}

}  // namespace
