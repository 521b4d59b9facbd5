// Centroiding of profile spectra: Gaussian peaks sampled as an Orbitrap writes
// them, the shapes that end or split a peak, and a whole profile run against
// its centroid twin through the resolver.
#include "processing/centroiding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "features/feature_finder.h"
#include "tests/test_support.h"
#include "util/parallel_for.h"
#include "util/same_bits.h"

namespace {

struct Ion {
  double mz;
  double height;
};

// Profile points of Gaussian peaks of resolving power `resolution` (m/z over
// FWHM), sampled on a grid of constant relative spacing with `perFwhm` points
// across a peak's FWHM and starting at `phase` (0..1) of a spacing. Points
// below `floor` are left out, as converters leave out zero runs; with
// `zeroEdges` the point just outside each stretch is kept as a zero.
std::vector<StoredPeak> profileOf(const std::vector<Ion>& ions, double resolution, double perFwhm,
                                  double phase = 0, double floor = 1e-3, bool zeroEdges = false) {
  const double step = 1.0 / (resolution * perFwhm);  // relative spacing
  std::map<long, double> grid;
  for (const Ion& ion : ions) {
    const double sigma = ion.mz / resolution / 2.3548200450309493;
    const long centre = std::lround(std::log(ion.mz) / step - phase);
    const long reach = static_cast<long>(std::ceil(6 * sigma / (ion.mz * step))) + 1;
    for (long i = centre - reach; i <= centre + reach; ++i) grid[i];
  }
  std::vector<StoredPeak> points;
  bool previousKept = false;
  for (const auto& [i, unused] : grid) {
    const double mz = std::exp((static_cast<double>(i) + phase) * step);
    double y = 0;
    for (const Ion& ion : ions) {
      const double sigma = ion.mz / resolution / 2.3548200450309493;
      y += ion.height * std::exp(-0.5 * std::pow((mz - ion.mz) / sigma, 2));
    }
    const bool kept = y >= floor;
    if (kept) {
      if (zeroEdges && !previousKept)
        points.emplace_back(std::exp((static_cast<double>(i) - 1 + phase) * step), 0);
      points.emplace_back(mz, y);
    } else if (zeroEdges && previousKept) {
      points.emplace_back(mz, 0);
    }
    previousKept = kept;
  }
  return points;
}

double ppmOff(double mz, double expected) { return (mz - expected) / expected * 1e6; }

// The m/z of each peak of each spectrum of an MGF file.
std::vector<std::vector<double>> mgfPeaks(const std::string& path) {
  std::vector<std::vector<double>> spectra;
  for (const std::string& line : testsupport::lines(testsupport::readFile(path))) {
    if (line == "BEGIN IONS") spectra.emplace_back();
    if (!spectra.empty() && !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
      spectra.back().push_back(std::stod(line));
  }
  return spectra;
}

// The m/z column of a feature table.
std::vector<double> featureMasses(const std::string& path) {
  std::vector<double> masses;
  const std::vector<std::string> rows = testsupport::lines(testsupport::readFile(path));
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const std::size_t tab = rows[k].find('\t');
    if (tab != std::string::npos) masses.push_back(std::stod(rows[k].substr(tab + 1)));
  }
  return masses;
}

}  // namespace

// A lone Gaussian peak at every position against the sampling grid, narrow and
// wide: one centroid at its m/z and of its height, by either way of placing it.
TEST(Centroiding, GaussianPeaksAreLocatedAtEveryPhase) {
  struct Way {
    CentroidSettings::Mz mz;
    double ppm;  // largest error allowed
  };
  // The FWHM is 16.7 ppm; the mean of the points above half height leans to
  // whichever side has one point more above it, the parabola hardly at all.
  for (const Way way :
       {Way{CentroidSettings::Mz::Parabola, 0.3}, Way{CentroidSettings::Mz::HalfHeightMean, 1.5}}) {
    CentroidSettings settings;
    settings.mz = way.mz;
    for (const double perFwhm : {2.5, 4.0, 8.0}) {
      for (int p = 0; p < 10; ++p) {
        const double mz = 301.14;
        const std::vector<StoredPeak> centroids =
            centroidProfile(profileOf({{mz, 1e6}}, 60000, perFwhm, p / 10.0), settings);
        ASSERT_EQ(centroids.size(), 1u) << perFwhm << " " << p;
        EXPECT_LT(std::fabs(ppmOff(centroids[0].mz, mz)), way.ppm)
            << static_cast<int>(way.mz) << " " << perFwhm << " " << p;
        // The parabola's height: a few percent at most off the true top when sampled coarsely.
        EXPECT_NEAR(centroids[0].intensity, 1e6, 6e4) << perFwhm << " " << p;
        EXPECT_GE(centroids[0].intensity, 8e5);
      }
    }
  }
}

// Spectra whose shape decides what is a peak.
TEST(Centroiding, WhatMakesAPeak) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<StoredPeak> lone = profileOf({{500.25, 1e5}}, 60000, 4, 0.3);
  // A lone peak whose left tail is cut at its apex, or just before it.
  std::vector<StoredPeak> fromApex = lone;
  const auto apex =
      std::max_element(fromApex.begin(), fromApex.end(),
                       [](const StoredPeak& a, const StoredPeak& b) { return a.intensity < b.intensity; });
  const std::size_t top = static_cast<std::size_t>(apex - fromApex.begin());
  std::vector<StoredPeak> oneBefore(lone.begin() + static_cast<std::ptrdiff_t>(top) - 1, lone.end());
  std::vector<StoredPeak> twoBefore(lone.begin() + static_cast<std::ptrdiff_t>(top) - 2, lone.end());
  std::vector<StoredPeak> atApex(lone.begin() + static_cast<std::ptrdiff_t>(top), lone.end());
  std::vector<StoredPeak> endAtApex(lone.begin(), lone.begin() + static_cast<std::ptrdiff_t>(top) + 1);
  // The same points out of order, with unusable ones among them.
  std::vector<StoredPeak> shuffled = lone;
  std::reverse(shuffled.begin(), shuffled.end());
  shuffled.insert(shuffled.begin() + 2, StoredPeak(nan, 5e5));
  shuffled.insert(shuffled.begin() + 4, StoredPeak(500.2501, nan));
  shuffled.push_back(StoredPeak(500.1, -30));
  // Two peaks of one spectrum with their zero runs left out, and with the zeros kept.
  const std::vector<Ion> pair = {{400.1, 1e5}, {400.3, 5e4}};
  // Two ions 1.5 FWHM apart (FWHM 6.7 mDa at 60000): two maxima with a valley.
  const std::vector<Ion> close = {{400.1, 1e5}, {400.11, 8e4}};
  // A lone point, a pair and a triple of signal between omitted zero runs.
  // Thermo's zeros at a stretch's ends, one a twentieth of a spacing before the last point of signal.
  const std::vector<StoredPeak> offGrid = {{705.9126, 0},      {705.91705, 1473},  {705.92151, 6297},
                                           {705.92596, 11671}, {705.93036, 13344}, {705.93481, 9087},
                                           {705.93927, 4543},  {705.94373, 475},   {705.94348, 0}};
  // Two stretches stitched together, one spacing a tenth of the others, before a peak.
  const std::vector<StoredPeak> stitched = {{696.53766, 22569}, {696.54205, 10064}, {696.54639, 6418},
                                            {696.54681, 15181}, {696.55121, 26463}, {696.55554, 34118},
                                            {696.55994, 24800}, {696.56427, 11851}, {696.5686, 758}};
  const std::vector<StoredPeak> islands = {{300.0, 50},    {300.5, 80},   {300.5005, 60}, {301.0, 10},
                                           {301.0005, 90}, {301.001, 20}, {302.0, 5}};

  struct Case {
    const char* name;
    std::vector<StoredPeak> points;
    std::vector<double> expected;  // centroid m/z
    double ppm;
  };
  const std::vector<Case> cases = {
      {"lone", lone, {500.25}, 0.3},
      {"edge: two points before the apex", twoBefore, {500.25}, 0.3},
      {"edge: one point before the apex", oneBefore, {500.25}, 0.3},
      {"edge: apex first", atApex, {}, 0},
      {"edge: apex last", endAtApex, {}, 0},
      {"unsorted, NaN, negative", shuffled, {500.25}, 0.3},
      {"zero runs left out", profileOf(pair, 60000, 4, 0.6), {400.1, 400.3}, 0.3},
      {"zero runs kept", profileOf(pair, 60000, 4, 0.6, 1.0, true), {400.1, 400.3}, 0.3},
      {"two close ions", profileOf(close, 60000, 5, 0.2), {400.1, 400.11}, 2.5},
      {"islands between gaps", islands, {301.0005}, 0.1},
      {"zeros off the grid", offGrid, {705.92941}, 1.0},
      {"stitched stretches", stitched, {696.55601}, 1.0},
      {"flat top",
       {{200.0, 0}, {200.001, 50}, {200.002, 100}, {200.003, 100}, {200.004, 50}, {200.005, 0}},
       {200.0025},
       0.01},
      {"single point", {{200.0, 100}}, {}, 0},
      {"a point between zeros", {{200.0, 0}, {200.001, 100}, {200.002, 0}}, {}, 0},
      {"empty", {}, {}, 0},
  };
  for (const Case& c : cases) {
    const std::vector<StoredPeak> centroids = centroidProfile(c.points);
    ASSERT_EQ(centroids.size(), c.expected.size()) << c.name;
    for (std::size_t k = 0; k < centroids.size(); ++k) {
      EXPECT_LT(std::fabs(ppmOff(centroids[k].mz, c.expected[k])), c.ppm) << c.name << " " << k;
      if (k > 0) {
        EXPECT_LT(centroids[k - 1].mz, centroids[k].mz) << c.name;
      }
    }
  }
  // Unusable points do not change the result.
  const std::vector<StoredPeak> clean = centroidProfile(lone);
  const std::vector<StoredPeak> messy = centroidProfile(shuffled);
  ASSERT_EQ(clean.size(), messy.size());
  EXPECT_EQ(clean[0].mz, messy[0].mz);
  EXPECT_EQ(clean[0].intensity, messy[0].intensity);
}

// Only the spectra marked profile change, in a copy that keeps their places;
// with none, the spectra given are used as they are.
TEST(Centroiding, RunSpectraMarkedProfileAreCentroidedInACopy) {
  std::vector<scan> spectra(3);
  spectra[0].peaks = profileOf({{300.1, 1e5}, {300.2, 1e4}}, 60000, 4);
  spectra[1].peaks = spectra[0].peaks;
  spectra[1].representation = SpectrumRepresentation::Profile;
  spectra[2].peaks = {{150.0, 10}, {150.001, 20}, {150.002, 10}};
  spectra[2].representation = SpectrumRepresentation::Centroid;

  std::vector<scan> own;
  std::size_t count = 99;
  const std::vector<scan> unmarked = {spectra[0], spectra[2]};
  EXPECT_EQ(&centroidedSpectra(unmarked, own, count), &unmarked);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(own.empty());

  const std::vector<scan>& taken = centroidedSpectra(spectra, own, count);
  EXPECT_EQ(&taken, &own);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].peaks.size(), spectra[0].peaks.size());  // unknown: as it is
  ASSERT_EQ(taken[1].peaks.size(), 2u);
  EXPECT_EQ(taken[1].representation, SpectrumRepresentation::Centroid);
  EXPECT_EQ(taken[2].peaks.size(), 3u);  // centroids stay even where they look like a peak
  EXPECT_EQ(spectra[1].representation, SpectrumRepresentation::Profile);  // the original untouched

  // In place (torva-compounds), the same centroids on one thread or several.
  std::vector<scan> many(40, spectra[1]);
  for (std::size_t k = 0; k < many.size(); k += 3) many[k] = spectra[0];
  std::vector<scan> alone = many;
  setWorkerCount(1);
  const std::size_t onOne = centroidProfileSpectra(alone);
  setWorkerCount(4);
  const std::size_t onFour = centroidProfileSpectra(many);
  setWorkerCount(0);
  EXPECT_EQ(onOne, 26u);
  EXPECT_EQ(onFour, 26u);
  for (std::size_t k = 0; k < many.size(); ++k) {
    ASSERT_EQ(many[k].peaks.size(), alone[k].peaks.size()) << k;
    EXPECT_EQ(many[k].peaks.size(), k % 3 == 0 ? spectra[0].peaks.size() : taken[1].peaks.size()) << k;
    for (std::size_t j = 0; j < many[k].peaks.size(); ++j) {
      EXPECT_TRUE(sameBits(many[k].peaks[j].mz, alone[k].peaks[j].mz));
      EXPECT_TRUE(sameBits(many[k].peaks[j].intensity, alone[k].peaks[j].intensity));
    }
  }
}

// A run written as profile spectra gives the resolver the features of the same
// run written as centroids: as many, each within 2 ppm and at the same time.
TEST(Centroiding, ProfileRunGivesTheFeaturesOfItsCentroidTwin) {
  const std::vector<Ion> ions = {
      {195.0877, 2e6}, {301.1410, 1e6}, {302.1443, 1.6e5}, {449.9876, 4e5}, {612.3301, 8e5}};
  const double apex[] = {40, 60, 60, 75, 95};
  std::vector<scan> centroid;
  std::vector<scan> profile;
  for (int i = 0; i < 300; ++i) {
    scan s;
    s.num = i + 1;
    s.msLevel = 1;
    s.rt = i * 0.5;
    s.filterLine = "FTMS + p ESI Full ms [100.0000-1000.0000]";
    std::vector<Ion> present;
    // Weak noise ions that come and go, and the analytes' elution peaks.
    for (int k = 0; k < 25; ++k)
      present.push_back({150.0 + 31.7 * k + 0.003 * (i % 5), 300.0 + 40 * ((i + k) % 7)});
    for (std::size_t k = 0; k < ions.size(); ++k) {
      const double y = ions[k].height * std::exp(-0.5 * std::pow((s.rt - apex[k]) / 3.0, 2));
      if (y > 50) present.push_back({ions[k].mz * (1 + 0.3e-6 * ((i % 3) - 1)), y});
    }
    std::sort(present.begin(), present.end(), [](const Ion& a, const Ion& b) { return a.mz < b.mz; });
    scan c = s;
    c.representation = SpectrumRepresentation::Centroid;
    for (const Ion& ion : present) c.peaks.emplace_back(ion.mz, ion.height);
    centroid.push_back(c);
    s.representation = SpectrumRepresentation::Profile;
    s.peaks = profileOf(present, 70000, 4, 0.37 * (i % 3), 1.0);
    profile.push_back(s);
  }
  std::vector<scan> own;
  std::size_t count = 0;
  const std::vector<scan>& centroided = centroidedSpectra(profile, own, count);
  EXPECT_EQ(count, profile.size());
  const std::vector<FeatureRow> expected = findFeatures(centroid, {}, FeatureSettings());
  const std::vector<FeatureRow> found = findFeatures(centroided, {}, FeatureSettings());
  // Without centroiding the profile points split each ion over neighbouring traces.
  const std::vector<FeatureRow> raw = findFeatures(profile, {}, FeatureSettings());
  ASSERT_EQ(expected.size(), ions.size());
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t k = 0; k < found.size(); ++k) {
    EXPECT_LT(std::fabs(ppmOff(found[k].mz, expected[k].mz)), 2.0) << k;
    EXPECT_NEAR(found[k].rt, expected[k].rt, 0.5 / 60) << k;
    EXPECT_NEAR(found[k].height / expected[k].height, 1.0, 0.05) << k;
  }
  EXPECT_NE(raw.size(), expected.size());
}

// The same through the files: a simulated run written as profile spectra
// (simulate_run --profile, MS:1000128) gives the features of its centroid
// twin, and its MGF export the same MS2 peaks; standard error says how many
// spectra were centroided.
TEST(Centroiding, ProfileFileGivesTheFeaturesOfItsCentroidTwin) {
  testsupport::TempDir dir;
  const std::vector<std::string> run = {"-n", "150", "-k", "150", "-c", "6", "-H", "1e5:1e7", "-s", "11"};
  std::vector<std::string> centroid = {"-o", dir.file("c.mzML")};
  centroid.insert(centroid.end(), run.begin(), run.end());
  std::vector<std::string> profile = {"-o", dir.file("p.mzML"), "--profile", "60000"};
  profile.insert(profile.end(), run.begin(), run.end());
  ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(), centroid).status, 0);
  ASSERT_EQ(testsupport::runProgram(testsupport::simulatorPath(), profile).status, 0);
  // With the compound step, whose MS2 spectra go to the MGF export.
  const auto features = [&dir](const std::string& name) {
    const std::string exports = dir.file(name + "-export");
    testsupport::runProgram("mkdir", {exports});
    return testsupport::runTorva({"-i", dir.file(name + ".mzML"), "--detect", "resolver", "--ppm", "10",
                                  "--features", dir.file(name + ".tsv"), "--compounds", "--export", exports,
                                  "--quiet"});
  };
  const testsupport::ProcessResult fromCentroids = features("c");
  const testsupport::ProcessResult fromProfile = features("p");
  ASSERT_EQ(fromCentroids.status, 0) << fromCentroids.err;
  ASSERT_EQ(fromProfile.status, 0) << fromProfile.err;
  EXPECT_EQ(fromCentroids.err.find("centroided"), std::string::npos);
  EXPECT_NE(fromProfile.err.find("torva: 300 profile spectra centroided for the features\n"),
            std::string::npos)
      << fromProfile.err;
  const std::vector<double> expected = featureMasses(dir.file("c.tsv"));
  const std::vector<double> found = featureMasses(dir.file("p.tsv"));
  ASSERT_GE(expected.size(), 6u);
  ASSERT_EQ(found.size(), expected.size());
  // Rows come by time, then m/z: features of nearly the same time may swap places.
  for (const double mz : expected) {
    double nearest = 1e9;
    for (const double other : found) nearest = std::min(nearest, std::fabs(ppmOff(other, mz)));
    EXPECT_LT(nearest, 2.0) << mz;
  }

  // The exported MS2 spectra: the same spectra, each peak within 2 ppm of its twin.
  const std::vector<std::vector<double>> twin = mgfPeaks(dir.file("c-export/gnps.mgf"));
  const std::vector<std::vector<double>> centroided = mgfPeaks(dir.file("p-export/gnps.mgf"));
  ASSERT_FALSE(twin.empty());
  ASSERT_EQ(centroided.size(), twin.size());
  for (std::size_t k = 0; k < twin.size(); ++k) {
    ASSERT_EQ(centroided[k].size(), twin[k].size()) << k;
    for (std::size_t j = 0; j < twin[k].size(); ++j)
      EXPECT_LT(std::fabs(ppmOff(centroided[k][j], twin[k][j])), 2.0) << k << " " << j;
  }
}
