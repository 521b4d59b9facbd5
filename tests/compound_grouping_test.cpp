#include "compounds/compound_grouping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "compounds/correlation.h"
#include "compounds/isotope_chains.h"

namespace {

GroupingFeature feature(double mz, double rt, double intensity, double width = 20) {
  return GroupingFeature{mz, rt, rt - width / 2, rt + width / 2, intensity};
}

Adduct ion(const char* name) {
  for (const Adduct& adduct : defaultAdducts()) {
    if (adduct.name == name) return adduct;
  }
  ADD_FAILURE() << name << " not in the bundled list";
  return Adduct();
}

const FeatureSimilarity kUnknown;  // no traces: co-elution alone

// One compound (M = 300.1) as [M+H]+ with its 13C1 and 13C2, [M+Na]+ with its 13C1 and [M+H-H2O]+, a
// compound of charge 2 (M = 800.4) with two isotopes, and a lone ion with no partner.
TEST(CompoundGrouping, LabelsAdductsIsotopesAndLoneIons) {
  const double mass = 300.1, dication = 800.4;
  const Adduct h = ion("[M+H]+"), na = ion("[M+Na]+"), water = ion("[M+H-H2O]+"), twoH = ion("[M+2H]2+");
  const std::vector<GroupingFeature> features = {
      feature(h.mzOf(mass), 100, 1e6),                             // 0
      feature(h.mzOf(mass) + kCarbon13Step, 100.5, 1.6e5),         // 1
      feature(h.mzOf(mass) + 2 * kCarbon13Step, 100, 1.5e4),       // 2
      feature(na.mzOf(mass), 99.5, 4e5),                           // 3
      feature(na.mzOf(mass) + kCarbon13Step, 100, 6e4),            // 4
      feature(water.mzOf(mass), 100.2, 2e5),                       // 5
      feature(twoH.mzOf(dication), 101, 5e5),                      // 6
      feature(twoH.mzOf(dication) + kCarbon13Step / 2, 101, 2e5),  // 7
      feature(twoH.mzOf(dication) + kCarbon13Step, 101, 6e4),      // 8
      feature(512.3, 100, 3e5),                                    // 9
  };
  const std::vector<CompoundLabel> labels =
      groupCompounds(features, defaultAdducts(), GroupingOptions(), kUnknown);
  struct Expected {
    const char* ion;
    int charge;
    int isotope;
  };
  const Expected expected[] = {{"[M+H]+", 1, 0},  {"[M+H]+ 13C1", 1, 1},  {"[M+H]+ 13C2", 1, 2},
                               {"[M+Na]+", 1, 0}, {"[M+Na]+ 13C1", 1, 1}, {"[M+H-H2O]+", 1, 0},
                               {"", 2, 0},        {"13C1", 2, 1},         {"13C2", 2, 2},
                               {"", 0, 0}};
  for (std::size_t k = 0; k < features.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(labels[k].ion, expected[k].ion);
    EXPECT_EQ(labels[k].charge, expected[k].charge);
    EXPECT_EQ(labels[k].isotope, expected[k].isotope);
  }
  for (std::size_t k = 1; k <= 5; ++k) EXPECT_EQ(labels[k].compoundId, labels[0].compoundId);
  EXPECT_NEAR(labels[0].neutralMass, mass, mass * 1e-9);
  EXPECT_EQ(labels[7].compoundId, labels[6].compoundId);
  EXPECT_EQ(labels[8].compoundId, labels[6].compoundId);
  EXPECT_EQ(labels[6].neutralMass, 0);
  const std::set<long> ids = {labels[0].compoundId, labels[6].compoundId, labels[9].compoundId};
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(labels[0].compoundId, 1);
  // One representative per compound: the most intense explained ion.
  int representatives = 0;
  for (const CompoundLabel& label : labels) representatives += label.representative ? 1 : 0;
  EXPECT_EQ(representatives, 3);
  EXPECT_TRUE(labels[0].representative);
  EXPECT_TRUE(labels[6].representative);
  EXPECT_TRUE(labels[9].representative);
}

TEST(CompoundGrouping, NegativeIonsAndDimers) {
  const double mass = 180.0634;
  GroupingOptions options;
  options.polarity = -1;
  const std::vector<GroupingFeature> features = {
      feature(ion("[M-H]-").mzOf(mass), 50, 1e6), feature(ion("[M+HCOO]-").mzOf(mass), 50, 3e5),
      feature(ion("[M+Cl]-").mzOf(mass), 50.4, 1e5), feature(ion("[2M-H]-").mzOf(mass), 49.8, 2e5),
      // An [M+H]+ value of the same mass means nothing in negative mode.
      feature(ion("[M+H]+").mzOf(mass), 50, 1e5)};
  const std::vector<CompoundLabel> labels = groupCompounds(features, defaultAdducts(), options, kUnknown);
  const char* expected[] = {"[M-H]-", "[M+HCOO]-", "[M+Cl]-", "[2M-H]-", ""};
  for (std::size_t k = 0; k < features.size(); ++k) EXPECT_EQ(labels[k].ion, expected[k]) << k;
  EXPECT_EQ(labels[3].compoundId, labels[0].compoundId);
  EXPECT_NE(labels[4].compoundId, labels[0].compoundId);
  EXPECT_NEAR(labels[3].neutralMass, mass, mass * 1e-9);
}

// Pairs that must stay apart: wrong time, wrong shape, an isotope step whose intensity no carbon count
// allows.
TEST(CompoundGrouping, KeepsApartWhatDoesNotBelongTogether) {
  const double mass = 150.05;
  const double h = ion("[M+H]+").mzOf(mass), na = ion("[M+Na]+").mzOf(mass);
  struct Case {
    const char* what;
    std::vector<GroupingFeature> features;
    double correlation;  // of the pair; NaN: unknown
  };
  const double unknown = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"apexes 8 s apart, widths 20 s", {feature(h, 100, 1e6), feature(na, 108, 5e5)}, unknown},
      {"shapes uncorrelated", {feature(h, 100, 1e6), feature(na, 100, 5e5)}, 0.3},
      {"13C step at 90 % at m/z 151", {feature(h, 100, 1e6), feature(h + kCarbon13Step, 100, 9e5)}, unknown},
      {"step off by 30 ppm", {feature(h, 100, 1e6), feature(h + kCarbon13Step + 0.0045, 100, 1e5)}, unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double correlation = c.correlation;
    const FeatureSimilarity similarity = [correlation](std::size_t, std::size_t) { return correlation; };
    const std::vector<CompoundLabel> labels =
        groupCompounds(c.features, defaultAdducts(), GroupingOptions(), similarity);
    EXPECT_NE(labels[0].compoundId, labels[1].compoundId);
    EXPECT_EQ(labels[0].ion, "");
    EXPECT_EQ(labels[1].ion, "");
  }
}

// Two roots whose best readings claim one ion (x as [M+Na]+ of one mass, as [M+K]+ of another): once one
// compound takes it, the other root is read again without it and stays alone, whichever goes first.
TEST(CompoundGrouping, AnIonClaimedTwiceGoesToOneCompound) {
  const Adduct h = ion("[M+H]+"), na = ion("[M+Na]+"), k = ion("[M+K]+");
  const double x = na.mzOf(300.1);
  const double first = h.mzOf(300.1), second = h.mzOf(k.neutralOf(x));
  for (const double xIntensity : {2e5, 5e6}) {
    for (const bool firstStronger : {true, false}) {
      SCOPED_TRACE(testing::Message() << "x " << xIntensity << ", first stronger " << firstStronger);
      const std::vector<GroupingFeature> features = {feature(first, 100, firstStronger ? 1e6 : 5e5),
                                                     feature(second, 100, firstStronger ? 5e5 : 1e6),
                                                     feature(x, 100, xIntensity)};
      const std::vector<CompoundLabel> labels =
          groupCompounds(features, defaultAdducts(), GroupingOptions(), kUnknown);
      EXPECT_NE(labels[2].ion, "");
      EXPECT_EQ((labels[0].ion.empty() ? 0 : 1) + (labels[1].ion.empty() ? 0 : 1), 1)
          << labels[0].ion << " / " << labels[1].ion;
      const std::size_t partner = labels[0].ion.empty() ? 1 : 0;
      EXPECT_EQ(labels[partner].compoundId, labels[2].compoundId);
      EXPECT_NE(labels[1 - partner].compoundId, labels[2].compoundId);
    }
  }
}

// An unexplained ion that co-elutes with a compound, lighter and weaker, joins it as an in-source fragment
// when the shapes correlate closely; a heavier one, or a loosely correlated one, stays alone.
TEST(CompoundGrouping, InSourceFragmentsJoinTheirCompound) {
  const double mass = 400.2;
  const std::vector<GroupingFeature> features = {
      feature(ion("[M+H]+").mzOf(mass), 100, 1e6),
      feature(ion("[M+Na]+").mzOf(mass), 100, 3e5),
      feature(250.1, 100, 2e5),  // fragment, correlation 0.98
      feature(350.1, 100, 2e5),  // correlation 0.85: another compound
      feature(700.3, 100, 2e5),  // heavier than every ion
  };
  const double pairs[5] = {1, 1, 0.98, 0.85, 0.99};
  const FeatureSimilarity similarity = [&](std::size_t a, std::size_t b) {
    if (a >= 2 && b >= 2) return 0.5;
    return a >= 2 ? pairs[a] : b >= 2 ? pairs[b] : 1.0;
  };
  const std::vector<CompoundLabel> labels =
      groupCompounds(features, defaultAdducts(), GroupingOptions(), similarity);
  EXPECT_EQ(labels[2].compoundId, labels[0].compoundId);
  EXPECT_EQ(labels[2].ion, "");
  EXPECT_FALSE(labels[2].representative);
  EXPECT_NEAR(labels[2].neutralMass, mass, 1e-6);
  EXPECT_NE(labels[3].compoundId, labels[0].compoundId);
  EXPECT_NE(labels[4].compoundId, labels[0].compoundId);
}

TEST(CompoundGrouping, ResultDoesNotDependOnInputOrder) {
  const double mass = 250.0;
  std::vector<GroupingFeature> features = {feature(ion("[M+H]+").mzOf(mass), 60, 1e6),
                                           feature(ion("[M+K]+").mzOf(mass), 60, 2e5),
                                           feature(ion("[M+NH4]+").mzOf(mass), 60, 3e5),
                                           feature(ion("[M+H]+").mzOf(mass) + kCarbon13Step, 60, 1.3e5)};
  const std::vector<CompoundLabel> forward =
      groupCompounds(features, defaultAdducts(), GroupingOptions(), kUnknown);
  std::vector<GroupingFeature> reversed(features.rbegin(), features.rend());
  const std::vector<CompoundLabel> backward =
      groupCompounds(reversed, defaultAdducts(), GroupingOptions(), kUnknown);
  for (std::size_t k = 0; k < features.size(); ++k) {
    EXPECT_EQ(forward[k].ion, backward[features.size() - 1 - k].ion);
    EXPECT_EQ(forward[k].representative, backward[features.size() - 1 - k].representative);
  }
  EXPECT_EQ(forward[3].ion, "[M+H]+ 13C1");
}

TEST(CompoundGrouping, CarbonCountBoundsTheFirstIsotope) {
  // Up to 25 carbons at m/z 301: 25 x 1.08 % = 27 %, with the margin for noise about 38 %.
  EXPECT_NEAR(maxFirstIsotopeRatio(301.0, 1), 25 * 0.0108 * 1.3 + 0.03, 1e-12);
  EXPECT_NEAR(maxFirstIsotopeRatio(150.5, 2), maxFirstIsotopeRatio(301.0, 1), 1e-12);
}

TEST(Correlation, ShapesAlignBySpectrumAndAreasByLogarithm) {
  const FeatureTrace a{10, {1, 4, 9, 4, 1, 0.5}};
  const FeatureTrace b{11, {8, 18, 8, 2, 1, 7}};  // twice a from spectrum 11 to 15
  EXPECT_NEAR(shapeCorrelation(a, b), 1.0, 1e-12);
  const FeatureTrace c{14, {1, 2, 3}};
  EXPECT_TRUE(std::isnan(shapeCorrelation(a, c)));  // two shared spectra are too few
  EXPECT_NEAR(abundanceCorrelation({10, 100, 1000, 0}, {20, 200, 2000, 5}), 1.0, 1e-12);
  EXPECT_TRUE(std::isnan(abundanceCorrelation({10, 0, 1000}, {20, 200, 2000})));
}

}  // namespace
