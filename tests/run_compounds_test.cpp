#include "compounds/run_compounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "export/mztab_export.h"
#include "tests/test_support.h"
#include "util/parallel_for.h"

namespace {

using namespace testsupport;

// A run of 30 MS1 spectra (one a second) with one compound (M = 300) as [M+H]+ with its 13C1 and as [M+Na]+,
// each a Gaussian of sigma 3 s at 15 s, an unrelated ion eluting at 8 s, and two MS2 scans on [M+H]+.
struct SimpleRun {
  std::vector<scan> scans;
  std::vector<FeatureRow> rows;
  double h = 0, na = 0;
};

SimpleRun simpleRun() {
  SimpleRun run;
  const std::vector<Adduct> ions = defaultAdducts();
  run.h = ions[0].mzOf(300.0);
  run.na = ions[1].mzOf(300.0);
  long num = 1;
  for (int k = 0; k < 30; ++k) {
    const double t = k;
    const double profile = 1e6 * std::exp(-0.5 * (t - 15) * (t - 15) / 9);
    const double other = 5e5 * std::exp(-0.5 * (t - 8) * (t - 8) / 9);
    scan ms1 = spectrum(num++, t, 0,
                        {{150.05, other + 10},
                         {run.h, profile + 10},
                         {run.h + kCarbon13Step, 0.16 * profile + 10},
                         {run.na, 0.4 * profile + 10}});
    ms1.msLevel = 1;
    ms1.polarity = "+";
    run.scans.push_back(ms1);
    if (k == 14 || k == 16) {
      scan ms2 = spectrum(num++, t + 0.5, 0, {{85.03, k == 14 ? 100.0 : 900.0}, {run.h - 18.0106, 50}});
      ms2.msLevel = 2;
      ms2.precursorMz = std::round(run.h * 100) / 100;  // two decimals, as some files give it
      run.scans.push_back(ms2);
    }
  }
  auto row = [](const char* id, double mz, double apex, double area) {
    FeatureRow r;
    r.featureId = id;
    r.mz = mz;
    r.rt = apex / 60;
    r.rtStart = (apex - 7) / 60;
    r.rtEnd = (apex + 7) / 60;
    r.area = area;
    r.polarity = '+';
    return r;
  };
  run.rows = {row("F1", 150.05, 8, 3e6), row("F2", run.h, 15, 7.5e6),
              row("F3", run.h + kCarbon13Step, 15, 1.2e6), row("F4", run.na, 15, 3e6)};
  FeatureRow missing = row("F5", 400.0, 15, 0);
  missing.status = "not_found";
  run.rows.push_back(missing);
  return run;
}

TEST(RunCompounds, FillsTheCompoundColumnsAndTheExportSet) {
  SimpleRun run = simpleRun();
  const ExportSet set =
      groupRunCompounds(run.scans, run.rows, RunCompoundOptions(), "run.mzXML", "/data/run.mzXML");
  const std::vector<FeatureRow>& rows = run.rows;
  EXPECT_EQ(rows[1].ion, "[M+H]+");
  EXPECT_EQ(rows[2].ion, "[M+H]+ 13C1");
  EXPECT_EQ(rows[3].ion, "[M+Na]+");
  EXPECT_EQ(rows[1].compoundId, rows[3].compoundId);
  EXPECT_EQ(rows[2].compoundId, rows[1].compoundId);
  EXPECT_NE(rows[0].compoundId, rows[1].compoundId);
  EXPECT_EQ(rows[0].ion, "");
  EXPECT_TRUE(rows[0].representative);
  EXPECT_TRUE(rows[1].representative);
  EXPECT_FALSE(rows[3].representative);
  EXPECT_EQ(rows[1].charge, 1);
  EXPECT_NEAR(rows[1].neutralMass, 300.0, 300.0 * 2e-6);
  EXPECT_EQ(rows[1].ms2Scans, "2");
  EXPECT_EQ(rows[3].ms2Scans, "0");
  // A target not found takes no part and stays ungrouped.
  EXPECT_EQ(rows[4].compoundId, 0);
  EXPECT_EQ(rows[4].ion, "");

  ASSERT_EQ(set.features.size(), 4u);
  EXPECT_EQ(set.samples, std::vector<std::string>{"run.mzXML"});
  const ExportFeature& h = set.features[1];
  EXPECT_EQ(h.featureId, 2);
  EXPECT_EQ(h.ms2Scans, 2);
  ASSERT_EQ(h.ms2.size(), 1u);
  EXPECT_EQ(h.ms2[0].scanNumber, 19);  // the richer of the two spectra, after the MS1 scan at 16 s
  ASSERT_GE(h.ms1Pattern.size(), 2u);
  EXPECT_NEAR(h.ms1Pattern[1].mz - h.ms1Pattern[0].mz, kCarbon13Step, 1e-9);
}

TEST(RunCompounds, NegativeFeaturesTakeNegativeIonsAndSignedCharges) {
  SimpleRun run = simpleRun();
  const double mass = 300.0;
  Adduct minusH, formate;
  std::string error;
  parseAdductName("[M-H]-", minusH, error);
  parseAdductName("[M+HCOO]-", formate, error);
  for (scan& s : run.scans) {
    if (s.msLevel == 1) s.polarity = "-";
    for (StoredPeak& peak : s.peaks) {
      if (std::fabs(peak.mz - run.h) < 1e-9) peak.mz = minusH.mzOf(mass);
      if (std::fabs(peak.mz - run.na) < 1e-9) peak.mz = formate.mzOf(mass);
      if (std::fabs(peak.mz - run.h - kCarbon13Step) < 1e-9) peak.mz = minusH.mzOf(mass) + kCarbon13Step;
    }
  }
  run.rows[1].mz = minusH.mzOf(mass);
  run.rows[2].mz = minusH.mzOf(mass) + kCarbon13Step;
  run.rows[3].mz = formate.mzOf(mass);
  for (FeatureRow& row : run.rows) row.polarity = '-';
  const ExportSet set = groupRunCompounds(run.scans, run.rows, RunCompoundOptions(), "neg", "neg");
  EXPECT_EQ(set.polarity, -1);
  EXPECT_EQ(run.rows[1].ion, "[M-H]-");
  EXPECT_EQ(run.rows[3].ion, "[M+HCOO]-");
  EXPECT_EQ(run.rows[1].charge, -1);
  EXPECT_EQ(run.rows[2].ion, "[M-H]- 13C1");
}

TEST(RunCompounds, PolaritiesOfASwitchingRunAreGroupedApart) {
  // Positive and negative scans in turn; one compound in each polarity at the same time, as [M+H]+ and
  // [M+Na]+, and as [M-H]- and [M+HCOO]-. Grouped as one polarity, the negative ions would take positive
  // labels and read traces that drop to nothing in every other scan.
  Adduct minusH, formate;
  std::string error;
  ASSERT_TRUE(parseAdductName("[M-H]-", minusH, error));
  ASSERT_TRUE(parseAdductName("[M+HCOO]-", formate, error));
  const std::vector<Adduct> ions = defaultAdducts();
  const double positive[] = {ions[0].mzOf(300.0), ions[1].mzOf(300.0)};
  const double negative[] = {minusH.mzOf(240.0), formate.mzOf(240.0)};
  std::vector<scan> scans;
  for (int k = 0; k < 60; ++k) {
    const double t = k * 0.5;
    const double profile = 1e6 * std::exp(-0.5 * (t - 15) * (t - 15) / 9);
    const bool minus = k % 2 == 1;
    const double* mz = minus ? negative : positive;
    scan ms1 = spectrum(k + 1, t, 0, {{mz[0], profile + 10}, {mz[1], 0.4 * profile + 10}});
    ms1.msLevel = 1;
    ms1.polarity = minus ? "-" : "+";
    scans.push_back(ms1);
  }
  // An MS2 scan of each polarity on the positive [M+H]+'s m/z: only the positive one is its.
  for (const char* polarity : {"+", "-"}) {
    scan ms2 = spectrum(100 + static_cast<long>(scans.size()), 15.2, 0, {{85.03, 100.0}});
    ms2.msLevel = 2;
    ms2.precursorMz = positive[0];
    ms2.polarity = polarity;
    scans.push_back(ms2);
  }
  std::vector<FeatureRow> rows;
  for (int f = 0; f < 4; ++f) {
    FeatureRow r;
    r.featureId = "F" + std::to_string(f + 1);
    r.mz = f < 2 ? positive[f] : negative[f - 2];
    r.rt = 15.0 / 60;
    r.rtStart = 8.0 / 60;
    r.rtEnd = 22.0 / 60;
    r.area = f % 2 == 0 ? 7.5e6 : 3e6;
    r.polarity = f < 2 ? '+' : '-';
    rows.push_back(r);
  }
  const ExportSet set = groupRunCompounds(scans, rows, RunCompoundOptions(), "switching", "switching.mzML");
  EXPECT_EQ(rows[0].ion, "[M+H]+");
  EXPECT_EQ(rows[1].ion, "[M+Na]+");
  EXPECT_EQ(rows[2].ion, "[M-H]-");
  EXPECT_EQ(rows[3].ion, "[M+HCOO]-");
  EXPECT_EQ(rows[0].charge, 1);
  EXPECT_EQ(rows[2].charge, -1);
  EXPECT_NEAR(rows[0].neutralMass, 300.0, 1e-6);
  EXPECT_NEAR(rows[2].neutralMass, 240.0, 1e-6);
  EXPECT_EQ(rows[0].compoundId, rows[1].compoundId);
  EXPECT_EQ(rows[2].compoundId, rows[3].compoundId);
  EXPECT_NE(rows[0].compoundId, rows[2].compoundId);
  EXPECT_EQ(rows[0].ms2Scans, "1");
  ASSERT_EQ(set.features.size(), 4u);
  EXPECT_EQ(polarityOf(set, set.features[0]), 1);
  EXPECT_EQ(polarityOf(set, set.features[2]), -1);
  const std::string mztab = mztabM(set);
  EXPECT_NE(mztab.find("ms_run[1]-scan_polarity[1]\t[MS, MS:1000130, positive scan, ]"), std::string::npos);
  EXPECT_NE(mztab.find("ms_run[1]-scan_polarity[2]\t[MS, MS:1000129, negative scan, ]"), std::string::npos);
}

TEST(RunCompounds, FeatureIdsAsNumbers) {
  EXPECT_EQ(numericFeatureId("F12", 1), 12);
  EXPECT_EQ(numericFeatureId("F0042", 1), 42);
  EXPECT_EQ(numericFeatureId("7", 1), 7);
  EXPECT_EQ(numericFeatureId("caffeine", 9), 9);
  EXPECT_EQ(numericFeatureId("F1a", 9), 9);
  EXPECT_EQ(numericFeatureId("F12345678901234567890", 9), 9);
  EXPECT_EQ(numericFeatureId("F999999999999999", 9), 999999999999999L);  // 15 digits, the most taken
  EXPECT_EQ(numericFeatureId("F0000000000000000", 9), 9);                // 16
  EXPECT_EQ(numericFeatureId("F", 9), 9);
}

TEST(RunCompounds, IsotopePatternStopsAtTheFirstMissingPeak) {
  const std::vector<StoredPeak> peaks = {{200.0, 100}, {201.00336, 20}, {202.0067, 3}, {204.0134, 1}};
  const std::vector<ExportPeak> pattern = isotopePatternIn(peaks, 200.0, 1, 10);
  ASSERT_EQ(pattern.size(), 3u);
  EXPECT_DOUBLE_EQ(pattern[2].intensity, 3);
  EXPECT_EQ(isotopePatternIn(peaks, 200.0, 2, 10).size(), 1u);  // nothing at +0.5
}

// The pattern against a search of the whole spectrum for every isotope, on crowded random spectra: peaks
// around each step, charges 1 to 4, tolerances up to absurd ones (a window wider than its m/z).
TEST(RunCompounds, IsotopePatternAsSearchedPeakByPeak) {
  const auto below = [](const StoredPeak& peak, double value) { return peak.mz < value; };
  const auto searched = [&below](const std::vector<StoredPeak>& peaks, double mz, int charge, double ppm) {
    std::vector<ExportPeak> pattern;
    for (int k = 0; k < 8; ++k) {
      const double target = mz + k * kCarbon13Step / charge;
      const double window = target * ppm * 1e-6;
      const StoredPeak* best = nullptr;
      for (auto it = std::lower_bound(peaks.begin(), peaks.end(), target - window, below);
           it != peaks.end() && it->mz <= target + window; ++it) {
        if (best == nullptr || std::fabs(it->mz - target) < std::fabs(best->mz - target)) best = &*it;
      }
      if (best == nullptr) break;
      pattern.push_back(ExportPeak{best->mz, best->intensity});
    }
    return pattern;
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> offset(-0.004, 0.004);
  for (int round = 0; round < 200; ++round) {
    const double mz = 150 + round;
    const int charge = 1 + round % 4;
    std::vector<StoredPeak> peaks;
    for (int k = -3; k < 12; ++k) {
      for (int n = 0; n < 3; ++n)
        peaks.push_back({mz + k * kCarbon13Step / charge + offset(random), 10.0 + n});
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
    for (const double ppm : {3.0, 10.0, 50.0, 2e6}) {
      // Alone, and with a cursor over ions of the spectrum mostly upwards, some below the last one.
      PatternCursor cursor;
      for (const double ion : {mz, mz - 2.0, mz + 0.5, mz + 0.5, mz + 9.0, mz + 3.0, mz + 40.0}) {
        const std::vector<ExportPeak> plain = searched(peaks, ion, charge, ppm);
        for (const bool withCursor : {false, true}) {
          const std::vector<ExportPeak> fast =
              isotopePatternIn(peaks, ion, charge, ppm, withCursor ? &cursor : nullptr);
          ASSERT_EQ(fast.size(), plain.size()) << round << " " << ppm << " " << ion;
          for (std::size_t k = 0; k < fast.size(); ++k) {
            EXPECT_EQ(fast[k].mz, plain[k].mz);
            EXPECT_EQ(fast[k].intensity, plain[k].intensity);
          }
        }
      }
    }
  }
}

// readTraces against the plain reading (a binary search in each spectrum, the peaks in the window added
// from the lowest up), compared to the bit: crowded spectra of close m/z, features at equal and at close
// m/z in random order, windows reaching past the run, spectra whose peaks are out of order or hold an m/z
// that is not a number, and features whose m/z or window is not one.
TEST(RunCompounds, TracesReadAsThePlainSumsToTheBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    unsigned seed;
    bool unordered, nanPeak;  // one spectrum out of order, one with a NaN (or infinite) m/z
    double ppm;
  };
  for (const Case c : {Case{1, false, false, 10}, Case{2, true, false, 10}, Case{3, false, true, 10},
                       Case{4, true, true, 50}, Case{5, false, false, nan}, Case{6, false, false, inf}}) {
    SCOPED_TRACE(c.seed);
    std::mt19937 random(c.seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<scan> scans;
    for (int k = 0; k < 40; ++k) {
      Peaks peaks;
      for (int p = 0; p < 300; ++p) peaks.emplace_back(200 + 5 * unit(random), 1 + 1e5 * unit(random));
      peaks.emplace_back(201.0, 7);  // a stretch of equal m/z
      peaks.emplace_back(201.0, 9);
      std::sort(peaks.begin(), peaks.end());
      if (c.unordered && k == 7) std::swap(peaks[10], peaks[200]);
      if (c.nanPeak && k == 11) peaks[150].first = nan;
      if (c.nanPeak && k == 12) peaks[50].first = inf;
      scan ms1 = spectrum(k + 1, k, 0, peaks);
      ms1.msLevel = 1;
      ms1.polarity = "+";
      scans.push_back(ms1);
    }
    const Ms1Index ms1(scans, '+');
    std::vector<TraceRequest> requests;
    for (int f = 0; f < 800; ++f) {
      const double start = 50 * unit(random) - 5;
      requests.push_back(TraceRequest{200 + 5 * unit(random), start, start + 20 * unit(random)});
    }
    requests.push_back(TraceRequest{201.0, -1, 50});
    requests.push_back(TraceRequest{201.0, 3, 9});
    requests.push_back(TraceRequest{nan, 0, 10});
    requests.push_back(TraceRequest{inf, 0, 10});
    requests.push_back(TraceRequest{202.5, 10, 5});  // ends before it starts
    // Read in up to three runs of requests side by side; each worker's part must read what the plain
    // reading does.
    setWorkerCount(c.seed % 2 == 0 ? 1 : 3);
    const std::vector<FeatureTrace> traces = readTraces(ms1, requests, c.ppm);
    setWorkerCount(0);
    ASSERT_EQ(traces.size(), requests.size());
    for (std::size_t r = 0; r < requests.size(); ++r) {
      const TraceRequest& q = requests[r];
      const double window = q.mz * c.ppm * 1e-6;
      std::size_t first = 0;
      while (first < ms1.size() && ms1.seconds(first) < q.start) ++first;
      ASSERT_EQ(traces[r].first, first) << r;
      std::vector<double> plain;
      for (std::size_t k = first; k < ms1.size() && ms1.seconds(k) <= q.end; ++k) {
        const std::vector<StoredPeak>& list = ms1.peaks(k);
        auto it = std::lower_bound(list.begin(), list.end(), q.mz - window,
                                   [](const StoredPeak& peak, double mz) { return peak.mz < mz; });
        double sum = 0;
        for (; it != list.end() && it->mz <= q.mz + window; ++it) sum += it->intensity;
        plain.push_back(sum);
      }
      ASSERT_EQ(traces[r].values.size(), plain.size()) << r;
      if (!plain.empty()) {
        EXPECT_EQ(std::memcmp(traces[r].values.data(), plain.data(), plain.size() * sizeof(double)), 0) << r;
      }
    }
  }
}

// The exported MS2 spectrum's peaks in m/z order, as a stable sort leaves them: in order already, reversed,
// equal m/z in and out of order, and an m/z that is not a number.
TEST(RunCompounds, Ms2PeaksExportedInMzOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Peaks lists[] = {{{50, 1}, {85.03, 900}, {120, 5}},
                         {{120, 5}, {85.03, 900}, {50, 1}},
                         {{85.03, 900}, {85.03, 7}, {120, 5}, {50, 1}},
                         {{50, 1}, {85.03, 900}, {85.03, 7}, {85.03, 3}},
                         {{120, 5}, {nan, 900}, {50, 1}, {85.03, 8}}};
  for (const Peaks& list : lists) {
    SimpleRun run = simpleRun();
    for (scan& spectrum : run.scans) {
      if (spectrum.msLevel != 2) continue;
      spectrum.peaks.clear();
      for (const auto& [mz, intensity] : list) spectrum.peaks.push_back(StoredPeak(mz, intensity));
    }
    const ExportSet set = groupRunCompounds(run.scans, run.rows, RunCompoundOptions(), "run", "run.mzXML");
    ASSERT_EQ(set.features[1].ms2.size(), 1u);
    std::vector<ExportPeak> expected;
    for (const auto& [mz, intensity] : list) expected.push_back(ExportPeak{mz, intensity});
    std::stable_sort(expected.begin(), expected.end(),
                     [](const ExportPeak& a, const ExportPeak& b) { return a.mz < b.mz; });
    const std::vector<ExportPeak>& peaks = set.features[1].ms2[0].peaks;
    ASSERT_EQ(peaks.size(), expected.size());
    for (std::size_t k = 0; k < peaks.size(); ++k) {
      EXPECT_EQ(std::memcmp(&peaks[k].mz, &expected[k].mz, sizeof(double)), 0) << k;
      EXPECT_EQ(peaks[k].intensity, expected[k].intensity) << k;
    }
  }
}

}  // namespace
