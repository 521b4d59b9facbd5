// torva --detect resolver --compounds on simulated runs of compounds seen as several ions: the labels,
// groups, neutral masses and MS2 links against the simulator's truth, the exports, and the command line's
// checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "report/feature_table.h"
#include "tests/test_support.h"

namespace {

using namespace testsupport;

struct TruthIon {
  std::string compound, ion;
  int isotope = 0;
  double mz = 0, rt = 0, neutralMass = 0, intensity = 0;
  long ms2 = 0;
};

std::vector<TruthIon> readTruth(const std::string& path) {
  std::vector<TruthIon> ions;
  std::istringstream text(readFile(path));
  std::string line;
  std::getline(text, line);
  while (std::getline(text, line)) {
    std::istringstream fields(line);
    TruthIon ion;
    std::string formula, charge;
    fields >> ion.compound >> formula >> ion.neutralMass >> ion.ion >> ion.isotope >> charge >> ion.mz >>
        ion.rt >> ion.intensity >> ion.ms2;
    ions.push_back(ion);
  }
  return ions;
}

// The truth ion each feature stands for: nearest in m/z within 10 ppm, apex within 6 s; each truth ion is
// taken by one feature at most, the one of largest area.
std::vector<long> matchFeatures(const std::vector<FeatureRow>& rows, const std::vector<TruthIon>& truth) {
  std::vector<long> nearest(rows.size(), -1);
  for (std::size_t f = 0; f < rows.size(); ++f) {
    double bestError = rows[f].mz * 10e-6;
    for (std::size_t t = 0; t < truth.size(); ++t) {
      const double error = std::fabs(truth[t].mz - rows[f].mz);
      if (error <= bestError && std::fabs(truth[t].rt - rows[f].rt * 60) <= 6) {
        bestError = error;
        nearest[f] = static_cast<long>(t);
      }
    }
  }
  std::vector<std::size_t> byArea(rows.size());
  for (std::size_t f = 0; f < rows.size(); ++f) byArea[f] = f;
  std::stable_sort(byArea.begin(), byArea.end(),
                   [&](std::size_t a, std::size_t b) { return rows[a].area > rows[b].area; });
  std::vector<long> match(rows.size(), -1);
  std::set<long> taken;
  for (std::size_t f : byArea) {
    if (nearest[f] >= 0 && taken.insert(nearest[f]).second) match[f] = nearest[f];
  }
  return match;
}

class CompoundRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempDir();
    run_ = folder_->file("run.mzXML");
    const ProcessResult simulated =
        runProgram(TORVA_COMPOUND_SIMULATOR, {"-o", run_, "-c", "60", "-r", "6", "-s", "5"});
    ASSERT_EQ(simulated.status, 0) << simulated.err;
    ASSERT_EQ(std::system(("mkdir -p '" + folder_->file("export") + "'").c_str()), 0);
    result_ = new ProcessResult(
        runTorva({"-i", run_, "--detect", "resolver", "--features", folder_->file("f.tsv"), "--ppm", "10",
                  "--compounds", "--export", folder_->file("export"), "--quiet"}));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete folder_;
  }
  static TempDir* folder_;
  static std::string run_;
  static ProcessResult* result_;
};

TempDir* CompoundRun::folder_ = nullptr;
std::string CompoundRun::run_;
ProcessResult* CompoundRun::result_ = nullptr;

TEST_F(CompoundRun, IonsGetTheirCompoundLabelAndMass) {
  ASSERT_EQ(result_->status, 0) << result_->err;
  const std::vector<FeatureRow> rows = readFeatureTable(folder_->file("f.tsv"));
  const std::vector<TruthIon> truth = readTruth(run_ + ".ions.tsv");
  const std::vector<long> match = matchFeatures(rows, truth);
  // Ion species of each compound among the matched features: labels are owed where there are two or more.
  std::map<std::string, std::set<std::string>> species;
  for (std::size_t f = 0; f < rows.size(); ++f) {
    if (match[f] >= 0) species[truth[match[f]].compound].insert(truth[match[f]].ion);
  }
  std::map<std::string, double> monoIntensity;  // compound and ion -> its monoisotopic peak's height
  for (const TruthIon& ion : truth) {
    if (ion.isotope == 0) monoIntensity[ion.compound + ion.ion] = ion.intensity;
  }
  std::size_t matched = 0, labelled = 0, isotopes = 0, isotopesLabelled = 0, masses = 0, massesRight = 0;
  std::map<long long, std::map<std::string, int>> members;  // compound_id -> truth compound -> features
  for (std::size_t f = 0; f < rows.size(); ++f) {
    if (match[f] < 0) continue;
    const TruthIon& ion = truth[match[f]];
    ++matched;
    const std::string base = species[ion.compound].size() >= 2 ? ion.ion : "";
    const std::string isotope = "13C" + std::to_string(ion.isotope);
    const std::string expected = ion.isotope == 0 ? base : (base.empty() ? isotope : base + " " + isotope);
    labelled += rows[f].ion == expected ? 1 : 0;
    if (ion.isotope > 0 && ion.intensity >= 0.01 * monoIntensity[ion.compound + ion.ion]) {
      ++isotopes;
      isotopesLabelled += rows[f].ion.find("13C") != std::string::npos ? 1 : 0;
    }
    if (rows[f].neutralMass > 0 && !base.empty()) {
      ++masses;
      massesRight += std::fabs(rows[f].neutralMass - ion.neutralMass) <= 5e-6 * ion.neutralMass ? 1 : 0;
    }
    ++members[rows[f].compoundId][ion.compound];
  }
  std::size_t wrong = 0;
  for (const auto& group : members) {
    int largest = 0, all = 0;
    for (const auto& entry : group.second) {
      largest = std::max(largest, entry.second);
      all += entry.second;
    }
    wrong += static_cast<std::size_t>(all - largest);
  }
  ASSERT_GT(matched, 200u);
  EXPECT_GE(labelled, matched * 95 / 100) << labelled << " of " << matched;
  EXPECT_LE(wrong, matched * 2 / 100) << wrong << " of " << matched;
  EXPECT_EQ(isotopesLabelled, isotopes);
  EXPECT_GE(massesRight, masses * 99 / 100) << massesRight << " of " << masses;
}

TEST_F(CompoundRun, FeaturesWithMs2ScansAreLinkedAndExported) {
  ASSERT_EQ(result_->status, 0) << result_->err;
  const std::vector<FeatureRow> rows = readFeatureTable(folder_->file("f.tsv"));
  const std::vector<TruthIon> truth = readTruth(run_ + ".ions.tsv");
  const std::vector<long> match = matchFeatures(rows, truth);
  std::size_t withMs2 = 0, linked = 0, rowsWithMs2 = 0;
  for (std::size_t f = 0; f < rows.size(); ++f) {
    rowsWithMs2 += rows[f].ms2Scans != "0" ? 1 : 0;
    if (match[f] < 0 || truth[match[f]].isotope != 0 || truth[match[f]].ms2 == 0) continue;
    ++withMs2;
    linked += rows[f].ms2Scans != "0" ? 1 : 0;
  }
  ASSERT_GT(withMs2, 50u);
  EXPECT_GE(linked, withMs2 * 95 / 100) << linked << " of " << withMs2;
  // One MGF block per feature with MS2, each naming a feature of the table.
  const std::string mgf = readFile(folder_->file("export/gnps.mgf"));
  std::size_t blocks = 0;
  for (std::size_t at = mgf.find("BEGIN IONS"); at != std::string::npos; at = mgf.find("BEGIN IONS", at + 1))
    ++blocks;
  EXPECT_EQ(blocks, rowsWithMs2);
  EXPECT_EQ(lines(readFile(folder_->file("export/gnps_quant.csv"))).size(), rows.size() + 1);
  EXPECT_NE(readFile(folder_->file("export/sirius.ms")).find(">ionization [M+H]+"), std::string::npos);
  EXPECT_EQ(readFile(folder_->file("export/run.mztab")).rfind("MTD\tmzTab-version\t2.0.0-M\n", 0), 0u);
}

// The grouping, the traces it reads and the exports are spread over the run's threads: the files are the
// same on one thread and on three as on the machine's own count.
TEST_F(CompoundRun, SameFilesAtEveryThreadCount) {
  ASSERT_EQ(result_->status, 0) << result_->err;
  for (const std::string threads : {"1", "3"}) {
    const std::string exports = folder_->file("export" + threads);
    ASSERT_EQ(std::system(("mkdir -p '" + exports + "'").c_str()), 0);
    const ProcessResult again =
        runTorva({"-i", run_, "--detect", "resolver", "--features", folder_->file("f" + threads + ".tsv"),
                  "--ppm", "10", "--compounds", "--export", exports, "--quiet", "--threads", threads});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(readFile(folder_->file("f" + threads + ".tsv")), readFile(folder_->file("f.tsv"))) << threads;
    for (const char* name : {"gnps.mgf", "gnps_quant.csv", "sirius.ms", "run.mztab"}) {
      EXPECT_EQ(readFile(exports + "/" + name), readFile(folder_->file(std::string("export/") + name)))
          << name << " on " << threads << " threads";
    }
  }
}

TEST(CompoundOptions, RefusesWhatCannotWorkBeforeReading) {
  TempDir folder;
  const std::string run = folder.write("run.mzXML", "not read");
  const std::string badList = folder.write("ions.tsv", "[M+H]+\n[M+Q]+\n");
  struct Case {
    std::vector<std::string> extra;
    const char* message;
  };
  const Case cases[] = {
      {{"--export", folder.file("missing")}, "--export"},
      {{"--adducts", badList}, "line 2"},
      {{"--adducts", folder.file("none.tsv")}, "cannot be opened"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", run, "--detect", "resolver", "--features", folder.file("f.tsv")};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ProcessResult result = runTorva(args);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

TEST(CompoundOptions, WarnsWhenMs2SpectraAreDroppedOrNothingIsGrouped) {
  TempDir folder;
  const std::string run = folder.file("run.mzXML");
  ASSERT_EQ(runProgram(TORVA_COMPOUND_SIMULATOR, {"-o", run, "-c", "5", "-r", "1"}).status, 0);
  const ProcessResult levelOne =
      runTorva({"-i", run, "--detect", "resolver", "--features", folder.file("f.tsv"), "--compounds",
                "--ms-level", "1", "--quiet"});
  EXPECT_NE(levelOne.err.find("MS2 spectra are linked only when every level is kept"), std::string::npos)
      << levelOne.err;
  const ProcessResult noResolver =
      runTorva({"-i", run, "-s", folder.file("s.tsv"), "--compounds", "--quiet"});
  EXPECT_NE(noResolver.err.find("ignored without it"), std::string::npos) << noResolver.err;
}

}  // namespace
