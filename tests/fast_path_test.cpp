// The fast chromatogram paths against the straightforward reference, bit for
// bit, on many generated runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "processing/filterer.h"
#include "processing/symmlet8.h"
#include "processing/symmlet8_kernels.h"
#include "processing/trace_cache.h"
#include "processing/vector_kernels.h"
#include "report/transition_report.h"
#include "store/file_handle.h"
#include "tests/reference/reference_processing.h"
#include "tests/test_support.h"
#include "tools/sim_random.h"
#include "util/parallel_for.h"
#include "util/same_bits.h"

namespace {

// The simulator's generator, with integers in a closed range.
class Random : public SimRandom {
 public:
  using SimRandom::SimRandom;
  long between(long low, long high) {
    return low + static_cast<long>(below(static_cast<std::uint64_t>(high - low + 1)));
  }
};

using symmlet8::VectorSet;

const char* nameOf(VectorSet set) {
  switch (set) {
    case VectorSet::kSse2:
      return "SSE2";
    case VectorSet::kAvx2:
      return "AVX2";
    case VectorSet::kAvx512:
      return "AVX-512F";
  }
  return "?";
}

// The widest instruction sets to allow the vector kernels, one after another:
// each that this processor can run, widest first (the narrower kernels take
// what a wider one leaves). Those it cannot run are noted and left out.
std::vector<VectorSet> vectorSetsHere() {
  std::vector<VectorSet> sets;
  for (VectorSet set : {VectorSet::kAvx512, VectorSet::kAvx2, VectorSet::kSse2}) {
    if (symmlet8::vectorSetAvailable(set)) {
      sets.push_back(set);
    } else {
      std::cout << "NOTE: no " << nameOf(set)
                << " on this processor or in this build: its kernels are not run\n";
    }
  }
  return sets;
}

// Every field of two chromatograms, doubles compared by their bits.
void expectSameChrom(const chrom& fast, const chrom& plain, const std::string& where, bool withLists = true) {
  EXPECT_TRUE(sameBits(fast.mz, plain.mz)) << where;
  EXPECT_TRUE(sameBits(fast.seedIntensity, plain.seedIntensity)) << where;
  EXPECT_TRUE(sameBits(fast.seedTime, plain.seedTime)) << where;
  EXPECT_EQ(fast.seedScan, plain.seedScan) << where;
  if (withLists) {
    EXPECT_TRUE(sameBits(fast.times, plain.times)) << where;
    EXPECT_TRUE(sameBits(fast.intensities, plain.intensities)) << where;
    EXPECT_EQ(fast.scanNumbers, plain.scanNumbers) << where;
  }
  EXPECT_TRUE(sameBits(fast.totalIntensity, plain.totalIntensity)) << where;
  EXPECT_TRUE(sameBits(fast.peakMz, plain.peakMz)) << where << " " << fast.peakMz << " " << plain.peakMz;
  EXPECT_TRUE(sameBits(fast.apexTime, plain.apexTime)) << where;
  EXPECT_TRUE(sameBits(fast.apexIntensity, plain.apexIntensity)) << where;
  EXPECT_EQ(fast.apexScan, plain.apexScan) << where;
  EXPECT_TRUE(sameBits(fast.area, plain.area)) << where << " " << fast.area << " " << plain.area;
  EXPECT_EQ(fast.startScan, plain.startScan) << where;
  EXPECT_EQ(fast.endScan, plain.endScan) << where;
}

void expectSameRuns(const fileHandle& fast, const fileHandle& plain, const std::string& where,
                    bool withLists = true) {
  ASSERT_EQ(fast.channels.size(), plain.channels.size()) << where;
  for (std::size_t c = 0; c < fast.channels.size(); ++c) {
    const std::vector<chrom>& a = fast.channels[c].chroms;
    const std::vector<chrom>& b = plain.channels[c].chroms;
    ASSERT_EQ(a.size(), b.size()) << where << " channel " << c;
    for (std::size_t i = 0; i < a.size(); ++i) {
      expectSameChrom(a[i], b[i], where + " channel " + std::to_string(c) + " chrom " + std::to_string(i),
                      withLists);
    }
  }
}

// Parameters and store of one generated run.
struct GeneratedRun {
  filterer params;
  fileHandle run;
};

// A run of one to three channels. M/z values sit partly on a 0.25 grid, so that
// many peaks lie exactly one tolerance (0.25, 0.5 or 1) from a target; some
// spectra are stored out of m/z order; intensities repeat, include zeros and
// follow elution profiles strong enough to give peaks.
GeneratedRun generateRun(std::uint64_t seed) {
  Random random(seed);
  GeneratedRun g;
  const double tolerances[] = {0.5, 0.25, 1.0, 0.01};
  const std::int32_t cutoffs[] = {10000, 1000, 0, 50000};
  g.params.massTolerance = tolerances[random.between(0, 3)];
  g.params.cutoff = cutoffs[random.between(0, 3)];
  g.params.timeTolerance = 0.5;
  g.params.skipDenoise = random.chance(0.25) ? 1 : 0;

  const long channels = random.between(1, 3);
  const bool longTraces = random.chance(0.15);
  for (long c = 0; c < channels; ++c) {
    channel ch;
    ch.precursorMz = 100.0 * c;
    const long spectra = longTraces ? random.between(21, 100) : random.between(0, 20);
    const double spacing = random.uniform(0.2, 4.0);
    const bool unsortedChannel = random.chance(0.3);
    // A few compounds per channel with Gaussian elution profiles.
    const long compounds = random.between(0, 4);
    std::vector<double> compoundMz, compoundApex, compoundHeight, compoundWidth;
    for (long k = 0; k < compounds; ++k) {
      compoundMz.push_back(random.chance(0.5) ? 100 + 0.25 * random.between(0, 40)
                                              : random.uniform(100, 110));
      compoundApex.push_back(random.uniform(0, spacing * spectra));
      compoundHeight.push_back(random.chance(0.5) ? 100000.0 : random.uniform(5000, 2e6));
      compoundWidth.push_back(random.uniform(1, 8) * spacing);
    }
    double rt = random.uniform(0, 10);
    for (long k = 0; k < spectra; ++k) {
      scan s;
      s.num = 1000 + 3 * k + c;
      // Occasionally two spectra share a time.
      if (k == 0 || !random.chance(0.05)) rt += spacing;
      s.rt = rt;
      for (long j = 0; j < compounds; ++j) {
        const double z = (rt - compoundApex[j]) / compoundWidth[j];
        const double intensity = std::floor(compoundHeight[j] * std::exp(-0.5 * z * z));
        if (intensity <= 0 && random.chance(0.5)) continue;
        datapeak p;
        p.mz = compoundMz[j] + (random.chance(0.5) ? 0 : random.uniform(-0.003, 0.003));
        p.intensity = intensity;
        s.peaks.push_back(p);
        if (random.chance(0.5)) {  // isotope partner
          p.mz += 1.0;
          p.intensity = std::floor(intensity * 0.4);
          s.peaks.push_back(p);
        }
      }
      const long noise = random.between(0, 30);
      const double levels[] = {0, 500, 1000, 20000};
      for (long j = 0; j < noise; ++j) {
        datapeak p;
        p.mz = random.chance(0.6) ? 100 + 0.25 * random.between(0, 44) : random.uniform(99, 112);
        if (random.chance(0.002)) p.mz = std::nan("");  // a damaged file's peak: seeds out of order
        p.intensity = random.chance(0.5) ? levels[random.between(0, 3)] : random.uniform(0, 30000);
        s.peaks.push_back(p);
      }
      const bool unsorted = unsortedChannel ? random.chance(0.7) : random.chance(0.05);
      if (!unsorted) {
        std::stable_sort(s.peaks.begin(), s.peaks.end(),
                         [](const datapeak& a, const datapeak& b) { return a.mz < b.mz; });
      } else {
        for (std::size_t i = s.peaks.size(); i > 1; --i) {
          std::swap(s.peaks[i - 1],
                    s.peaks[static_cast<std::size_t>(random.between(0, static_cast<long>(i) - 1))]);
        }
      }
      double tic = 0;
      for (const StoredPeak& p : s.peaks) tic += p.intensity;
      s.totIonCurrent = random.chance(0.2) ? 0 : tic;
      ch.scans.push_back(g.run.scans.size());
      g.run.scans.push_back(s);
    }
    g.run.channels.push_back(ch);
  }
  if (random.chance(0.35)) {
    const long targets = random.between(1, 6);
    for (long t = 0; t < targets; ++t) {
      datapeak target;
      const long kind = random.between(0, 3);
      target.mz =
          kind == 0 ? 0.0 : (kind == 1 ? random.uniform(99, 111) : 100 + 0.25 * random.between(0, 44));
      g.run.targetPeaks.push_back(target);
    }
  }
  // Some runs take windows in ppm (2000 ppm is 0.2 at m/z 100, so windows meet peaks).
  if (random.chance(0.25)) g.params.massPpm = random.chance(0.5) ? 10.0 : 2000.0;
  return g;
}

std::vector<double> randomSigned(Random& random, std::size_t n) {
  std::vector<double> values(n);
  for (double& v : values) {
    const long kind = random.between(0, 5);
    v = kind == 0 ? 0.0 : (kind == 1 ? -0.0 : (kind == 2 ? 1000.0 : random.uniform(-5e4, 1e5)));
  }
  return values;
}

const int kRuns = 200;

}  // namespace

TEST(FastPath, GenerationMatchesThePlainScan) {
  for (int r = 0; r < kRuns; ++r) {
    GeneratedRun fast = generateRun(1000 + r);
    GeneratedRun plain = generateRun(1000 + r);
    fast.params.generateXIC(fast.run);
    reference::generateXIC(plain.params, plain.run);
    expectSameRuns(fast.run, plain.run, "run " + std::to_string(r));
  }
}

TEST(FastPath, PeakDetectionMatchesThePlainAlgorithm) {
  for (int r = 0; r < kRuns; ++r) {
    GeneratedRun fast = generateRun(5000 + r);
    reference::generateXIC(fast.params, fast.run);
    GeneratedRun plain = fast;
    fast.params.processXIC(fast.run);
    reference::processXIC(plain.params, plain.run);
    expectSameRuns(fast.run, plain.run, "run " + std::to_string(r));
  }
}

TEST(FastPath, FusedGenerationAndDetectionKeepsEveryFigureAndDropsTheTraces) {
  std::size_t peaks = 0;
  for (int r = 0; r < kRuns; ++r) {
    GeneratedRun fast = generateRun(9000 + r);
    GeneratedRun plain = generateRun(9000 + r);
    fast.params.generateAndProcessXIC(fast.run);
    reference::generateXIC(plain.params, plain.run);
    reference::processXIC(plain.params, plain.run);
    expectSameRuns(fast.run, plain.run, "run " + std::to_string(r), false);
    for (const channel& ch : fast.run.channels) {
      for (const chrom& X : ch.chroms) {
        EXPECT_TRUE(X.times.empty() && X.intensities.empty() && X.scanNumbers.empty());
        if (X.area > 0) ++peaks;
      }
    }
  }
  EXPECT_GT(peaks, 100u);  // the generated runs do exercise the edge and area steps
}

// The transition report written channel by channel, in parts of a few
// chromatograms, is the report of the run that keeps every trace, with and
// without culling; afterwards the run holds the same figures and no traces.
TEST(FastPath, StreamedTransitionReportEqualsTheKeptTraceOne) {
  testsupport::TempDir dir;
  const std::string kept = dir.file("kept.tsv");
  const std::string streamed = dir.file("streamed.tsv");
  std::size_t rows = 0;
  for (int r = 0; r < kRuns; ++r) {
    for (const bool cull : {false, true}) {
      const std::string where = "run " + std::to_string(r) + (cull ? " culled" : "");
      GeneratedRun plain = generateRun(9500 + r);
      reference::generateXIC(plain.params, plain.run);
      reference::processXIC(plain.params, plain.run);
      if (cull) plain.params.cullXIC(plain.run);
      ASSERT_EQ(plain.run.outputXIC(kept.c_str()), 1);

      GeneratedRun fast = generateRun(9500 + r);
      fast.params.streamPartPoints = static_cast<std::size_t>(1 + r % 7) * 40;
      TransitionReport report(streamed.c_str());
      filterer::TraceSink sink;
      sink.channelBegins = [&](const channel& ch) { report.beginChannel(ch); };
      sink.rows = [&](const channel&, const std::vector<chrom>& part) {
        report.addRows(part);
        rows += part.size();
      };
      sink.channelEnds = [&](const channel&) { report.endChannel(); };
      fast.params.streamXIC(fast.run, cull, sink);
      ASSERT_TRUE(report.close());
      ASSERT_EQ(testsupport::readFile(streamed), testsupport::readFile(kept)) << where;
      expectSameRuns(fast.run, plain.run, where, false);
      for (const channel& ch : fast.run.channels) {
        for (const chrom& X : ch.chroms) {
          EXPECT_TRUE(X.times.empty() && X.intensities.empty() && X.scanNumbers.empty()) << where;
        }
      }
    }
  }
  EXPECT_GT(rows, 1000u);
}

// One long channel (hundreds of spectra) traced for a few hundred targets, so
// that traces are swept and processed in batches, large channels are split
// into ranges of spectra, and identical traces (all zeros, repeated masses)
// recur within a batch and across batches.
// With `distinct` the targets are many and hardly ever share a trace, so that
// the trace cache steps aside and later batches are computed beside the sweep.
GeneratedRun generateLongRun(std::uint64_t seed, bool distinct = false) {
  Random random(seed);
  GeneratedRun g;
  g.params.massTolerance = 0.25;
  g.params.cutoff = 1000;
  g.params.timeTolerance = 0.5;
  g.params.skipDenoise = !distinct && random.chance(0.2) ? 1 : 0;
  channel ch;
  const long spectra = random.between(520, 900);
  std::vector<double> compoundMz, compoundApex;
  for (long j = 0; j < 12; ++j) {
    compoundMz.push_back(100 + 0.25 * random.between(0, 40));
    compoundApex.push_back(random.uniform(0, 2.0 * spectra));
  }
  for (long k = 0; k < spectra; ++k) {
    scan s;
    s.num = 1 + k;
    s.rt = 2.0 * k;
    for (std::size_t j = 0; j < compoundMz.size(); ++j) {
      const double z = (s.rt - compoundApex[j]) / 12.0;
      datapeak p;
      p.mz = compoundMz[j];
      p.intensity = std::floor(2e5 * std::exp(-0.5 * z * z));
      if (p.intensity > 0) s.peaks.push_back(p);
    }
    const long noise = random.between(0, 12);
    for (long j = 0; j < noise; ++j) {
      datapeak p;
      p.mz = random.chance(0.5) ? 100 + 0.25 * random.between(0, 44) : random.uniform(99, 112);
      p.intensity = random.chance(0.3) ? 500.0 : random.uniform(0, 30000);
      s.peaks.push_back(p);
    }
    if (!random.chance(0.05)) {
      std::stable_sort(s.peaks.begin(), s.peaks.end(),
                       [](const datapeak& a, const datapeak& b) { return a.mz < b.mz; });
    }
    ch.scans.push_back(g.run.scans.size());
    g.run.scans.push_back(s);
  }
  g.run.channels.push_back(ch);
  const long targets = distinct ? 1500 : random.between(300, 600);
  for (long t = 0; t < targets; ++t) {
    datapeak target;
    const long kind = distinct ? 1 : random.between(0, 3);
    target.mz = kind == 0 ? 300 + random.between(0, 50)                        // no peak: a trace of zeros
                          : (kind == 1 ? random.uniform(99, 112)               // anywhere in the range
                                       : 100 + 0.25 * random.between(0, 44));  // on the grid, often repeated
    g.run.targetPeaks.push_back(target);
  }
  return g;
}

TEST(FastPath, LongChannelsInBatchesMatchThePlainAlgorithm) {
  for (int r = 0; r < 4; ++r) {
    const std::string where = "long run " + std::to_string(r);
    const bool distinct = r == 3;
    GeneratedRun plain = generateLongRun(700 + r, distinct);
    reference::generateXIC(plain.params, plain.run);
    GeneratedRun generated = generateLongRun(700 + r, distinct);
    generated.params.generateXIC(generated.run);
    expectSameRuns(generated.run, plain.run, where + " generation");

    reference::processXIC(plain.params, plain.run);
    generated.params.processXIC(generated.run);
    expectSameRuns(generated.run, plain.run, where + " detection");

    GeneratedRun fused = generateLongRun(700 + r, distinct);
    fused.params.generateAndProcessXIC(fused.run);
    expectSameRuns(fused.run, plain.run, where + " fused", false);
  }
}

// Sets the worker count for one scope and restores the default after it.
class WorkerCountGuard {
 public:
  explicit WorkerCountGuard(std::size_t workers) { setWorkerCount(workers); }
  ~WorkerCountGuard() { setWorkerCount(0); }
  WorkerCountGuard(const WorkerCountGuard&) = delete;
  WorkerCountGuard& operator=(const WorkerCountGuard&) = delete;
};

// Long channels are swept in ranges and their traces processed side by side;
// one worker and four give the same chromatograms, bit for bit, on every path.
TEST(FastPath, OneAndFourWorkersGiveIdenticalResults) {
  for (int r = 0; r < 3; ++r) {
    const std::string where = "long run " + std::to_string(r);
    const bool distinct = r == 2;
    GeneratedRun single[2] = {generateLongRun(800 + r, distinct), generateLongRun(800 + r, distinct)};
    GeneratedRun four[2] = {generateLongRun(800 + r, distinct), generateLongRun(800 + r, distinct)};
    {
      WorkerCountGuard guard(1);
      single[0].params.generateXIC(single[0].run);
      single[0].params.processXIC(single[0].run);
      single[1].params.generateAndProcessXIC(single[1].run);
    }
    {
      WorkerCountGuard guard(4);
      four[0].params.generateXIC(four[0].run);
      four[0].params.processXIC(four[0].run);
      four[1].params.generateAndProcessXIC(four[1].run);
    }
    expectSameRuns(four[0].run, single[0].run, where + " separate steps");
    expectSameRuns(four[1].run, single[1].run, where + " fused", false);
  }
}

// A list with constant stretches (at most two) and those stretches.
std::vector<double> withRuns(Random& random, std::size_t len, std::vector<ConstantRun>& runs) {
  std::vector<double> values = randomSigned(random, len);
  runs.clear();
  std::size_t at = 0;
  for (int r = 0; r < 2 && at + 2 < len; ++r) {
    const std::size_t begin =
        at + static_cast<std::size_t>(random.between(0, static_cast<long>(len - at) / 2));
    const std::size_t end =
        begin + static_cast<std::size_t>(random.between(2, static_cast<long>(len - begin)));
    const double value = random.chance(0.5) ? 0.0 : random.uniform(-100, 100);
    std::fill(values.begin() + static_cast<std::ptrdiff_t>(begin),
              values.begin() + static_cast<std::ptrdiff_t>(end), value);
    runs.push_back({begin, end});
    at = end + 1;
  }
  return values;
}

TEST(FastPath, WaveletLevelsMatchTheModuloForm) {
  // With the kernels of each instruction set this processor has, and the narrower ones after them.
  for (const VectorSet set : vectorSetsHere()) {
    SCOPED_TRACE(nameOf(set));
    const symmlet8::VectorSetLimit limit(set);
    ASSERT_EQ(symmlet8::vectorSetInUse(), set);
    Random random(77);
    std::vector<ConstantRun> runs, outputRuns;
    for (std::size_t len = 8; len <= 96; len += 2) {
      for (int trial = 0; trial < 4; ++trial) {
        const std::size_t half = len / 2;
        std::vector<double> plain = withRuns(random, len, runs);
        std::vector<double> fast = plain;
        std::vector<double> detail(half);
        symmlet8::analyseLevel(fast.data(), len, detail.data(), runs, outputRuns);
        // Inside a long run of approximations only the edges are written.
        for (const ConstantRun& run : outputRuns)
          std::fill(fast.begin() + static_cast<std::ptrdiff_t>(run.begin),
                    fast.begin() + static_cast<std::ptrdiff_t>(run.end), fast[run.begin]);
        std::copy(detail.begin(), detail.end(), fast.begin() + static_cast<std::ptrdiff_t>(half));
        reference::transformLevel(plain, static_cast<int>(len));
        EXPECT_TRUE(sameBits(fast, plain)) << "analysis " << len;

        // Synthesis of all pairs, and of a part of them; thresholded details
        // often hold long stretches of zeros of either sign.
        if (random.chance(0.5)) {
          const std::size_t zerosFrom =
              half + static_cast<std::size_t>(random.between(0, static_cast<long>(half) - 1));
          const std::size_t zerosTo = static_cast<std::size_t>(
              random.between(static_cast<long>(zerosFrom) + 1, static_cast<long>(len)));
          for (std::size_t j = zerosFrom; j < zerosTo; ++j) plain[j] = random.chance(0.5) ? 0.0 : -0.0;
          if (random.chance(0.5)) {  // zero approximations too: sums of zeros of either sign
            for (std::size_t j = zerosFrom - half; j < zerosTo - half; ++j)
              plain[j] = random.chance(0.5) ? 0.0 : -0.0;
          }
        }
        const std::vector<double> coefficients = plain;
        reference::invTransformLevel(plain, static_cast<int>(half));
        const std::size_t first = static_cast<std::size_t>(random.between(0, static_cast<long>(half) - 1));
        const std::size_t last =
            static_cast<std::size_t>(random.between(static_cast<long>(first) + 1, static_cast<long>(half)));
        for (std::size_t part = 0; part < 2; ++part) {
          std::vector<double> x(coefficients.begin(),
                                coefficients.begin() + static_cast<std::ptrdiff_t>(half));
          x.resize(len);
          const std::size_t from = part == 0 ? 0 : first;
          const std::size_t to = part == 0 ? half : last;
          symmlet8::synthesiseLevel(x.data(), coefficients.data() + half, half, from, to);
          for (std::size_t j = 2 * from; j < 2 * to; ++j) {
            EXPECT_TRUE(sameBits(x[j], plain[j])) << "synthesis " << len << " entry " << j;
          }
        }
      }
    }
    // Full transforms and inverses, with constant stretches and a kept range.
    for (std::size_t n : {1u, 2u, 8u, 16u, 32u, 64u, 128u, 1024u}) {
      std::vector<double> plain = withRuns(random, n, runs);
      std::vector<double> fast = plain;
      std::vector<double> coefficients(n);
      WaveletWorkspace ws;
      symmlet8::forward(fast.data(), coefficients.data(), n, ws, runs);
      // Of the coefficients' runs only the edges are written; the inverse
      // below fills in what it reads.
      std::vector<double> filled = coefficients;
      for (const ConstantRun& run : ws.detailRuns)
        std::fill(filled.begin() + static_cast<std::ptrdiff_t>(run.begin),
                  filled.begin() + static_cast<std::ptrdiff_t>(run.end), filled[run.begin]);
      reference::transform(plain, static_cast<int>(n));
      EXPECT_TRUE(sameBits(filled, plain)) << "transform " << n;
      reference::invTransform(plain, static_cast<int>(n));
      const std::size_t keepBegin = static_cast<std::size_t>(random.between(0, static_cast<long>(n) - 1));
      const std::size_t keepEnd =
          static_cast<std::size_t>(random.between(static_cast<long>(keepBegin) + 1, static_cast<long>(n)));
      symmlet8::inverse(coefficients.data(), fast.data(), n, keepBegin, keepEnd, nullptr, ws.detailRuns);
      for (std::size_t j = keepBegin; j < keepEnd; ++j)
        EXPECT_TRUE(sameBits(fast[j], plain[j])) << "inverse " << n << " " << j;
    }
    // The list operations of FastSymmlet8 keep their plain form, odd levels included.
    for (int n : {24, 82}) {
      std::vector<double> fast = randomSigned(random, static_cast<std::size_t>(n));
      std::vector<double> plain = fast;
      FastSymmlet8::transform(fast, n);
      reference::transform(plain, n);
      EXPECT_TRUE(sameBits(fast, plain)) << "list transform " << n;
    }
  }
}

TEST(FastPath, ThresholdPicksTheSameRankWithoutSorting) {
  // With the kernels of each instruction set this processor has, and the narrower ones after them.
  for (const VectorSet set : vectorSetsHere()) {
    SCOPED_TRACE(nameOf(set));
    const symmlet8::VectorSetLimit limit(set);
    ASSERT_EQ(symmlet8::vectorSetInUse(), set);
    Random random(91);
    for (int trial = 0; trial < 400; ++trial) {
      const std::size_t n =
          static_cast<std::size_t>(random.chance(0.2) ? random.between(71, 300) : random.between(0, 70));
      std::vector<double> fast = randomSigned(random, n);
      if (random.chance(0.3)) {  // many equal magnitudes
        for (double& v : fast) v = random.chance(0.5) ? 250.0 : -250.0;
      }
      if (random.chance(0.2)) {  // subnormal magnitudes share the lowest bin with zeros
        for (double& v : fast) {
          if (random.chance(0.3)) v = random.chance(0.5) ? 4.9e-324 * random.between(1, 9) : -1e-310;
        }
      }
      if (n > 3 && random.chance(0.1)) {  // NaNs, and magnitudes that make T infinite
        fast[0] = std::nan("");
        fast[1] = 1e308;
        fast[2] = -1.7e308;
        fast[n - 1] = -std::nan("");
        if (n > 5) {  // a signalling NaN shares its bin with infinity
          fast[3] = std::numeric_limits<double>::signaling_NaN();
          fast[4] = -HUGE_VAL;
        }
      }
      // Constant stretches, counted without a visit, in each half of all but
      // the last six entries: with the magnitude of some entry or their own.
      std::vector<ConstantRun> runs;
      for (long half = 0; n > 20 && half < 2; ++half) {
        if (!random.chance(0.4)) continue;
        const long stop = (half + 1) * (static_cast<long>(n) - 6) / 2;
        const long begin = random.between(half * (static_cast<long>(n) - 6) / 2, stop - 2);
        const long end = random.between(begin + 2, stop);
        const double value =
            random.chance(0.5) ? -fast[static_cast<std::size_t>(random.between(0, static_cast<long>(n) - 1))]
                               : random.uniform(-300, 300);
        std::fill(fast.begin() + begin, fast.begin() + end, value);
        runs.push_back({static_cast<std::size_t>(begin), static_cast<std::size_t>(end)});
      }
      double fraction = random.chance(0.7) ? 0.15 : random.uniform(0, 1.2);
      const int pad = static_cast<int>(random.between(0, static_cast<long>(n) + 2));
      WaveletWorkspace ws;
      double T = 0;
      // Entries of the tail left out of the statistics at the threshold's
      // edges: shrunk exactly to zero, or to the smallest step above it.
      const std::size_t tail = static_cast<std::size_t>(pad / 2);
      if (tail >= 6 && tail <= n && random.chance(0.5) &&
          symmlet8::thresholdLevel(fast.data(), n, pad, fraction, ws, runs, T) && std::isfinite(T)) {
        const double above = std::nextafter(T, HUGE_VAL);
        const double edges[6] = {T, -T, above, -above, std::nextafter(T, 0.0), -0.0};
        std::copy(edges, edges + 6, fast.end() - 6);
      }
      // A guess of the rank's magnitude (which the search sets to the one it
      // finds): none, right, near it, with the magnitude at the edges of the
      // window looked at, far from it, or no magnitude at all.
      double found = 0;
      const bool any = symmlet8::thresholdLevel(fast.data(), n, pad, fraction, ws, runs, T, &found);
      const double guesses[] = {
          0,         found,          found * 1.03,   found * 0.97, std::nextafter(found, 0.0),
          found * 8, found / 1.0625, found / 0.9375, found / 8,    4.9e-324,
          HUGE_VAL,  std::nan("")};
      double guess = guesses[random.between(0, 11)];
      std::vector<double> plain = fast;
      if (symmlet8::thresholdLevel(fast.data(), n, pad, fraction, ws, runs, T, &guess))
        symmlet8::shrink(fast.data(), 0, n, T);
      reference::threshold(plain, pad, fraction);
      EXPECT_TRUE(sameBits(fast, plain)) << "trial " << trial;
      if (any) {
        EXPECT_TRUE(sameBits(guess, found)) << "trial " << trial;
      }
    }
  }
}

TEST(FastPath, DenoisingAndSmoothingMatchOnShortAndLongTraces) {
  // With the kernels of each instruction set this processor has, and the narrower ones after them.
  for (const VectorSet set : vectorSetsHere()) {
    SCOPED_TRACE(nameOf(set));
    const symmlet8::VectorSetLimit limit(set);
    ASSERT_EQ(symmlet8::vectorSetInUse(), set);
    Random random(123);
    WaveletWorkspace shared;  // reused from trace to trace, as by the peak detection
    for (int trial = 0; trial < 240; ++trial) {
      const std::size_t n = trial < 80 ? static_cast<std::size_t>(trial % 21)
                                       : static_cast<std::size_t>(random.between(21, 700));
      chrom fast;
      fast.intensities = randomSigned(random, n);
      for (double& v : fast.intensities) v = std::fabs(v);  // traces are sums of intensities
      // Traces with long constant stretches: zeros around a peak, a flat start,
      // the same value throughout, or a flat top.
      const long shape = random.between(0, 4);
      const std::size_t from =
          n > 0 ? static_cast<std::size_t>(random.between(0, static_cast<long>(n) - 1)) : 0;
      const std::size_t to =
          n > 0 ? static_cast<std::size_t>(random.between(static_cast<long>(from), static_cast<long>(n))) : 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (shape == 1 && (i < from || i >= to)) fast.intensities[i] = 0.0;
        if (shape == 2 && i < to) fast.intensities[i] = 5000.0;
        if (shape == 3) fast.intensities[i] = 1234.5;
        if (shape == 4 && i >= from && i < to) fast.intensities[i] = 8e4;
      }
      chrom plain = fast;
      double fraction = 0.15;
      const int passes = trial % 7 == 0 ? static_cast<int>(random.between(-1, 12)) : 10;
      fast.intensities.resize(n);
      filterer f;
      std::vector<double> reused = fast.intensities;
      f.waveletDenoise(fraction, passes, fast);
      symmlet8::denoise(reused, fraction, passes, shared);
      reference::waveletDenoise(0.15, passes, plain);
      EXPECT_TRUE(sameBits(fast.intensities, plain.intensities)) << "denoise " << n;
      EXPECT_TRUE(sameBits(reused, plain.intensities)) << "denoise with a reused workspace " << n;
      for (int window : {5, 8, 12}) {
        chrom a = fast;
        chrom b = fast;
        f.SGsmooth(window, a);
        reference::SGsmooth(window, b);
        EXPECT_TRUE(sameBits(a.intensities, b.intensities)) << "smooth " << window << " " << n;
      }
    }
  }
}

TEST(TraceCache, FindsOnlyBitIdenticalTracesAndStaysWithinItsBudget) {
  const std::vector<double> positive = {1, 0.0, 3};
  const std::vector<double> negativeZero = {1, -0.0, 3};
  TraceCache cache(10 * 6 * sizeof(double));  // room for ten entries of 3 + 3 values
  cache.insert(TraceCache::hash(positive), positive, {7, 8, 9});
  ASSERT_NE(cache.find(TraceCache::hash(positive), positive), nullptr);
  EXPECT_EQ((*cache.find(TraceCache::hash(positive), positive))[2], 9);
  EXPECT_EQ(cache.find(TraceCache::hash(negativeZero), negativeZero), nullptr);
  // A colliding key with a different trace is no hit.
  EXPECT_EQ(cache.find(TraceCache::hash(positive), negativeZero), nullptr);

  for (int i = 0; i < 25; ++i) {
    const std::vector<double> trace = {static_cast<double>(i), 2, 3};
    cache.insert(TraceCache::hash(trace), trace, trace);
  }
  EXPECT_EQ(cache.find(TraceCache::hash(positive), positive), nullptr);  // oldest went first
  for (int i = 0; i < 25; ++i) {
    const std::vector<double> trace = {static_cast<double>(i), 2, 3};
    EXPECT_EQ(cache.find(TraceCache::hash(trace), trace) != nullptr, i >= 15) << i;
  }

  // Reserved together and filled afterwards in any order, as by the peak
  // detection's jobs: the same entries as inserting one after another.
  std::vector<std::size_t> positions;
  for (int i = 30; i < 34; ++i) {
    const std::vector<double> trace = {static_cast<double>(i), 2, 3};
    positions.push_back(cache.reserve(TraceCache::hash(trace), trace.size(), trace.size()));
  }
  for (int i = 33; i >= 30; --i) {
    const std::vector<double> trace = {static_cast<double>(i), 2, 3};
    cache.fill(positions[static_cast<std::size_t>(i - 30)], trace, {static_cast<double>(i + 100), 8, 9});
  }
  for (int i = 15; i < 34; ++i) {
    const std::vector<double> trace = {static_cast<double>(i), 2, 3};
    const std::vector<double>* found = cache.find(TraceCache::hash(trace), trace);
    ASSERT_EQ(found != nullptr, i >= 19 && (i < 25 || i >= 30)) << i;
    if (i >= 30) {
      EXPECT_EQ((*found)[0], i + 100);
    }
  }
}
