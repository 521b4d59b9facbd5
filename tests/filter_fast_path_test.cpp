// The indexed forms of deisotoping, water-loss removal, culling, the summary's
// duplicate removal and the binned map against their straightforward forms
// (tests/reference), bit for bit, on many generated runs built in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"
#include "tests/reference/reference_filters.h"
#include "tests/test_support.h"
#include "tools/sim_random.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;

std::uint64_t bits(double value) {
  std::uint64_t out;
  std::memcpy(&out, &value, sizeof out);
  return out;
}

// A random generator with helpers for picking values that sit on the edges the
// filters test: exact tolerance offsets, repeated values, equal intensities.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : engine_(seed) {}
  double uniform(double low, double high) { return engine_.uniform(low, high); }
  int integer(int low, int high) {
    return low + static_cast<int>(engine_.below(static_cast<std::uint64_t>(high - low + 1)));
  }
  bool chance(double p) { return uniform(0, 1) < p; }
  template <class T>
  T pick(const std::vector<T>& values) {
    return values[static_cast<std::size_t>(integer(0, static_cast<int>(values.size()) - 1))];
  }
  template <class T>
  void shuffle(std::vector<T>& values) {
    for (std::size_t i = values.size(); i > 1; --i) std::swap(values[i - 1], values[engine_.below(i)]);
  }

 private:
  SimRandom engine_;
};

// ---- Spectral filters ----

// A spectrum whose peaks often lie exactly `offsets` away (plus or minus the
// window) from an earlier peak, with intensities drawn from a short list so
// that equal intensities and values at the cutoff occur.
scan generatedSpectrum(Generator& g, std::int64_t num, const std::vector<double>& offsets, double window,
                       double cutoff) {
  scan s;
  s.num = num;
  const int count = g.integer(0, 120);
  const std::vector<double> intensities = {cutoff, cutoff + 1, 2 * cutoff + 5, 5000, 20000, 20000, 1e5,
                                           3e5,    1e6};
  for (int k = 0; k < count; ++k) {
    datapeak peak;
    if (k > 0 && g.chance(0.6)) {
      const datapeak& base = s.peaks[static_cast<std::size_t>(g.integer(0, k - 1))];
      const double offset = g.pick(offsets);
      const double edge = g.pick(std::vector<double>{0, window, -window, 0.1 * window, -0.9 * window, 1e-12});
      peak.mz = g.chance(0.5) ? base.mz + offset + edge : (base.mz + offset) + edge;
    } else {
      peak.mz =
          g.chance(0.3) ? std::floor(g.uniform(380, 520)) + 0.25 * g.integer(0, 3) : g.uniform(100, 1000);
    }
    peak.intensity = g.chance(0.5) ? g.pick(intensities) : std::floor(g.uniform(0, 2e5));
    s.peaks.push_back(peak);
  }
  if (g.chance(0.7)) {
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const datapeak& a, const datapeak& b) { return a.mz < b.mz; });
  }
  if (g.chance(0.1) && !s.peaks.empty()) s.peaks[0].mz = std::numeric_limits<double>::quiet_NaN();
  double total = 0;
  for (const StoredPeak& peak : s.peaks) total += peak.intensity;
  s.totIonCurrent = g.pick(std::vector<double>{0, total, 200 * 20000.0, 4e6});
  return s;
}

void expectSamePeaks(const fileHandle& fast, const fileHandle& slow, const std::string& context) {
  ASSERT_EQ(fast.scans.size(), slow.scans.size());
  for (std::size_t s = 0; s < fast.scans.size(); ++s) {
    const std::vector<StoredPeak>& a = fast.scans[s].peaks;
    const std::vector<StoredPeak>& b = slow.scans[s].peaks;
    ASSERT_EQ(a.size(), b.size()) << context << " spectrum " << s;
    for (std::size_t k = 0; k < a.size(); ++k) {
      ASSERT_EQ(bits(a[k].mz), bits(b[k].mz)) << context << " spectrum " << s << " peak " << k;
      ASSERT_EQ(bits(a[k].intensity), bits(b[k].intensity)) << context << " spectrum " << s << " peak " << k;
    }
  }
}

template <class Fast, class Slow>
void compareFilter(const fileHandle& input, Fast fast, Slow slow, const std::string& context) {
  fileHandle fastRun;
  fastRun.scans = input.scans;
  fileHandle slowRun;
  slowRun.scans = input.scans;
  testsupport::ConsoleCapture capture;
  fast(fastRun);
  const std::string fastOut = capture.takeOut();
  slow(slowRun);
  const std::string slowOut = capture.takeOut();
  EXPECT_EQ(fastOut, slowOut) << context;
  expectSamePeaks(fastRun, slowRun, context);
}

// ---- Chromatograms ----

// A processed chromatogram with its values drawn from short lists, so that
// equal areas, shared m/z and apex times, and offsets of exactly the tolerance
// are common. `id` goes into apexScan and the trace, to tell copies apart.
chrom generatedChrom(Generator& g, const std::vector<chrom>& earlier, double massStep, double timeStep,
                     int id) {
  chrom xic;
  if (!earlier.empty() && g.chance(0.6)) {
    const chrom& base = earlier[static_cast<std::size_t>(g.integer(0, static_cast<int>(earlier.size()) - 1))];
    xic.peakMz =
        base.peakMz + g.pick(std::vector<double>{0, massStep, -massStep, 0.5 * massStep, 0.999 * massStep});
    xic.apexTime =
        base.apexTime + g.pick(std::vector<double>{0, timeStep, -timeStep, 0.5 * timeStep, 1.001 * timeStep});
  } else {
    xic.peakMz = g.chance(0.5) ? 300 + 0.125 * g.integer(0, 40) : g.uniform(100, 1000);
    xic.apexTime = g.chance(0.5) ? 15.0 * g.integer(0, 40) : g.uniform(0, 3600);
  }
  xic.mz = xic.peakMz;
  xic.area = g.chance(0.5) ? g.pick(std::vector<double>{0, 50000, 50000.5, 60000, 1e5, 1e5, 2e5, 3e5})
                           : std::floor(g.uniform(0, 1e6));
  xic.apexScan = id;
  xic.startScan = id - 1;
  xic.endScan = id + 1;
  xic.times = {0, 1, 2};
  xic.intensities = {static_cast<double>(id), 1, 2};
  return xic;
}

void expectSameChroms(const fileHandle& fast, const fileHandle& slow, const std::string& context) {
  ASSERT_EQ(fast.channels.size(), slow.channels.size());
  for (std::size_t c = 0; c < fast.channels.size(); ++c) {
    const std::vector<chrom>& a = fast.channels[c].chroms;
    const std::vector<chrom>& b = slow.channels[c].chroms;
    ASSERT_EQ(a.size(), b.size()) << context << " channel " << c;
    for (std::size_t k = 0; k < a.size(); ++k) {
      ASSERT_EQ(a[k].apexScan, b[k].apexScan) << context << " channel " << c << " entry " << k;
      ASSERT_EQ(bits(a[k].peakMz), bits(b[k].peakMz));
      ASSERT_EQ(bits(a[k].apexTime), bits(b[k].apexTime));
      ASSERT_EQ(bits(a[k].area), bits(b[k].area));
      ASSERT_EQ(a[k].intensities, b[k].intensities);
    }
  }
}

std::string summaryText(fileHandle& run, bool fast, float timeTolerance, float massTolerance, float cutoff,
                        double massPpm = 0) {
  TempDir dir;
  const std::string path = dir.file("summary.tsv");
  if (fast) {
    run.exportSum(path.c_str(), timeTolerance, massTolerance, cutoff, massPpm);
  } else {
    reference::exportSum(run, path.c_str(), timeTolerance, massTolerance, cutoff, massPpm);
  }
  return readFile(path);
}

std::string mapText(fileHandle& run, bool fast) {
  TempDir dir;
  const std::string path = dir.file("map.tsv");
  if (fast) {
    run.exportMap(path.c_str());
  } else {
    reference::exportMap(run, path.c_str());
  }
  return readFile(path);
}

}  // namespace

TEST(FilterFastPath, DeisotopingMatchesThePairwisePass) {
  const std::vector<double> steps = {1.002513, 0.5012565, 0.334171, 2.005026, -0.165829, 0};
  for (std::uint64_t seed = 1; seed <= 150; ++seed) {
    Generator g(seed);
    filterer params;
    params.cutoff = g.pick(std::vector<int>{0, 1000, 10000, -1});
    params.massTolerance = g.pick(std::vector<double>{0.5, 0.01, 0.25, 0.1, 3.0, 0, -0.5});
    fileHandle run;
    for (int s = 0; s < 8; ++s) {
      run.scans.push_back(generatedSpectrum(g, s + 1, steps, params.massTolerance, params.cutoff));
    }
    filterer fast = params;
    compareFilter(
        run, [&](fileHandle& r) { fast.deIsotope(r); },
        [&](fileHandle& r) { reference::deIsotope(params, r); }, "seed " + std::to_string(seed));
  }
}

TEST(FilterFastPath, WaterLossRemovalMatchesThePairwisePass) {
  const std::vector<double> losses = {18.0, 16.0, -18.0, -16.0, 17.5, -17.5, 2.0};
  for (std::uint64_t seed = 1; seed <= 150; ++seed) {
    Generator g(seed);
    filterer params;
    params.cutoff = g.pick(std::vector<int>{0, 1000, 10000, -1});
    fileHandle run;
    for (int s = 0; s < 8; ++s) run.scans.push_back(generatedSpectrum(g, s + 1, losses, 0.5, params.cutoff));
    filterer fast = params;
    compareFilter(
        run, [&](fileHandle& r) { fast.removeH2O(r); },
        [&](fileHandle& r) { reference::removeH2O(params, r); }, "seed " + std::to_string(seed));
  }
}

TEST(FilterFastPath, CullingMatchesThePairwisePass) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    Generator g(seed);
    filterer params;
    params.cutoff = g.pick(std::vector<int>{0, 10000, -1, 2147483647});
    params.massTolerance = g.pick(std::vector<double>{0.5, 0.01, 0.1, 5.0, 0, -0.5});
    params.timeTolerance = g.pick(std::vector<double>{0.5, 0.1, 2.0, 0, 1e300});
    fileHandle run;
    const int channels = g.integer(1, 3);
    for (int c = 0; c < channels; ++c) {
      run.channels.emplace_back();
      const int count = g.integer(0, 300);
      for (int k = 0; k < count; ++k) {
        run.channels.back().chroms.push_back(generatedChrom(
            g, run.channels.back().chroms, params.massTolerance, 60 * params.timeTolerance, k + 1));
      }
    }
    if (g.chance(0.1) && !run.channels[0].chroms.empty()) {
      run.channels[0].chroms[0].peakMz = std::numeric_limits<double>::infinity();
    }
    if (g.chance(0.3)) params.massPpm = g.pick(std::vector<double>{10.0, 1000.0});
    fileHandle fastRun = run;
    filterer fast = params;
    fast.cullXIC(fastRun);
    fileHandle slowRun = run;
    reference::cullXIC(params, slowRun);
    expectSameChroms(fastRun, slowRun, "seed " + std::to_string(seed));
  }
}

TEST(FilterFastPath, SummaryDuplicateRemovalMatchesThePairwisePass) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    Generator g(seed);
    const float massTolerance = g.pick(std::vector<float>{0.5f, 0.1f, 0.01f, 2.0f, 0.0f, -0.5f});
    const float timeTolerance = g.pick(std::vector<float>{0.5f, 0.1f, 1.0f, 0.0f});
    const float cutoff = g.pick(std::vector<float>{10000.0f, -1e30f});
    fileHandle run;
    run.SRM = g.chance(0.3);
    const std::vector<double> precursors = {0, -0.0, 445.1, 445.1, 300.25, std::nan("")};
    const int channels = g.integer(1, 6);
    std::vector<chrom> all;
    int id = 0;
    for (int c = 0; c < channels; ++c) {
      channel transition;
      transition.precursorMz = g.pick(precursors);
      transition.collisionEnergy = g.pick(std::vector<double>{0, 35});
      transition.productLow = 100 * c;
      transition.productHigh = 100 * c + 50;
      const int count = g.integer(0, 200);
      for (int k = 0; k < count; ++k) {
        // Times in seconds; the report compares minutes, so the time step is
        // the tolerance in minutes, times 60.
        chrom xic = generatedChrom(g, all, static_cast<double>(massTolerance),
                                   60.0 * static_cast<double>(timeTolerance), ++id);
        all.push_back(xic);
        transition.chroms.push_back(xic);
      }
      run.channels.push_back(transition);
    }
    EXPECT_EQ(summaryText(run, true, timeTolerance, massTolerance, cutoff),
              summaryText(run, false, timeTolerance, massTolerance, cutoff))
        << "seed " << seed;
    // Windows in ppm of each mass: the grid's cells follow the widest one.
    for (double ppm : {10.0, 1000.0}) {
      EXPECT_EQ(summaryText(run, true, timeTolerance, massTolerance, cutoff, ppm),
                summaryText(run, false, timeTolerance, massTolerance, cutoff, ppm))
          << "seed " << seed << " ppm " << ppm;
    }
  }
}

// Long chains: every feature a little later and larger than the one before, so
// each comparison ends a walk and the next starts where it stopped.
TEST(FilterFastPath, SummaryRestartChainsAndEqualAreaRuns) {
  fileHandle run;
  run.channels.emplace_back();
  std::vector<chrom>& chroms = run.channels[0].chroms;
  for (int k = 0; k < 400; ++k) {
    chrom xic;
    xic.peakMz = 300.0 + 0.001 * (k % 7);
    xic.apexTime = 60.0 + 0.1 * k;
    xic.area = k % 3 == 0 ? 5e4 : 1e5 + 10.0 * k;
    xic.apexScan = k;
    chroms.push_back(xic);
  }
  for (int k = 0; k < 400; ++k) {
    chrom xic = chroms[static_cast<std::size_t>(k)];
    xic.apexTime += 600;
    xic.area = 2e6 - 10.0 * k;  // falling: every later one goes
    xic.apexScan = 1000 + k;
    chroms.push_back(xic);
  }
  EXPECT_EQ(summaryText(run, true, 0.5f, 0.5f, 0.0f), summaryText(run, false, 0.5f, 0.5f, 0.0f));
}

TEST(FilterFastPath, BinnedMapMatchesThePassPerBin) {
  const std::vector<double> edges = {400.0, 401.0, 899.0, 900.0, 400.5, 650.0, 399.999, 900.001, 1000, 100};
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    Generator g(seed);
    fileHandle run;
    const int spectra = g.integer(0, 12);
    for (int s = 0; s < spectra; ++s) {
      scan spectrum;
      spectrum.rt = g.uniform(0, 3600);
      const int count = g.chance(0.2) ? 0 : g.integer(1, 400);
      for (int k = 0; k < count; ++k) {
        datapeak peak;
        peak.mz = g.chance(0.3) ? g.pick(edges) : g.uniform(350, 950);
        if (g.chance(0.02)) peak.mz = std::numeric_limits<double>::quiet_NaN();
        peak.intensity = g.chance(0.3) ? g.pick(std::vector<double>{0, -0.0, 1.005, -1.005, 0.125, 1e6})
                                       : g.uniform(-100, 1e5);
        spectrum.peaks.push_back(peak);
      }
      if (g.chance(0.3)) g.shuffle(spectrum.peaks);
      run.scans.push_back(spectrum);
    }
    EXPECT_EQ(mapText(run, true), mapText(run, false)) << "seed " << seed;
  }
}
