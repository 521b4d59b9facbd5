#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/filterer.h"
#include "store/file_handle.h"

namespace {

// A run of one channel whose spectrum k has time spacing*k, scan number
// firstNum + k and one peak at `mz` carrying trace[k] (no peak where it is 0).
// `mzStep` spreads the peaks' m/z so that the feature mass shows which spectra
// it averaged.
struct TraceRun {
  fileHandle store;
  filterer processor;

  TraceRun(const std::vector<double>& trace, double spacing = 10, std::int64_t firstNum = 1,
           double mz = 100.0, double mzStep = 0.01) {
    processor.cutoff = 10000;
    processor.massTolerance = 0.5;
    processor.skipDenoise = 1;
    store.channels.emplace_back();
    for (std::size_t k = 0; k < trace.size(); ++k) {
      scan s;
      s.num = firstNum + static_cast<std::int64_t>(k);
      s.rt = spacing * k;
      if (trace[k] != 0) {
        datapeak p;
        p.mz = mz + mzStep * k;
        p.intensity = trace[k];
        s.peaks.push_back(p);
      }
      datapeak far;  // outside every window used here
      far.mz = mz + 5;
      far.intensity = 1;
      s.peaks.push_back(far);
      store.channels[0].scans.push_back(store.scans.size());
      store.scans.push_back(s);
    }
    datapeak target;
    target.mz = mz;
    store.targetPeaks.push_back(target);
    processor.generateXIC(store);
  }

  chrom& X() { return store.channels[0].chroms.at(0); }

  // Moves the seed to point k, as if the chromatogram had been picked there.
  void seedAt(std::size_t k) { X().seedTime = X().times.at(k); }

  void process() { processor.processXIC(store); }
};

void expectNoPeak(const chrom& X) {
  EXPECT_EQ(X.apexIntensity, 0);
  EXPECT_EQ(X.apexTime, 0);
  EXPECT_EQ(X.apexScan, 0);
  EXPECT_EQ(X.peakMz, X.mz);
  EXPECT_EQ(X.area, 0);
  EXPECT_EQ(X.startScan, 0);
  EXPECT_EQ(X.endScan, 0);
}

}  // namespace

TEST(ProcessXIC, SeedAtIndexZeroTakesTheFirstMaximumOfTheRightWalk) {
  // The right walk stops at its second drop (index 4) and never sees 13000.
  const std::vector<double> trace = {5000, 8000, 12000, 9000, 11000, 13000, 0, 0, 0, 0, 0};
  TraceRun run(trace);
  run.seedAt(0);
  run.process();
  const chrom& X = run.X();
  EXPECT_EQ(X.apexIntensity, 12000);
  EXPECT_EQ(X.apexTime, 20);
  EXPECT_EQ(X.apexScan, 3);
  EXPECT_EQ(X.startScan, 1);
  EXPECT_EQ(X.endScan, 4);  // index 3, where the right flank rises again
  EXPECT_EQ(X.area, 0.5 * (13000 * 10.0 + 20000 * 10.0 + 21000 * 10.0));
  EXPECT_EQ(X.peakMz, (((0.0 + 100.00) + 100.01) + 100.02 + 100.03) / 4);
  EXPECT_EQ(X.intensities, trace);
}

TEST(ProcessXIC, ZeroAtTheSeedMeansNoPeak) {
  TraceRun run({0, 50000, 90000, 50000, 0, 0, 0, 0, 0, 0, 0});
  run.seedAt(0);
  run.process();
  expectNoPeak(run.X());
}

TEST(ProcessXIC, ApexAtIndexZeroIsAOnePointPeak) {
  TraceRun run({12000, 9000, 5000, 20000, 0, 0, 0, 0, 0, 0, 0}, 10, 40);
  run.seedAt(0);
  run.process();
  const chrom& X = run.X();
  EXPECT_EQ(X.apexIntensity, 12000);
  EXPECT_EQ(X.apexScan, 40);
  EXPECT_EQ(X.startScan, 40);
  EXPECT_EQ(X.endScan, 40);
  EXPECT_EQ(X.area, 0);
  EXPECT_EQ(X.peakMz, 100.0);
}

TEST(ProcessXIC, ApexAtTheLastIndexHasNoFlankWalkAndOneTrapezoid) {
  TraceRun run({0, 0, 0, 0, 1000, 2000, 4000, 6000, 9000, 12000});
  run.seedAt(9);
  run.process();
  const chrom& X = run.X();
  EXPECT_EQ(X.apexIntensity, 12000);
  EXPECT_EQ(X.apexScan, 10);
  EXPECT_EQ(X.startScan, 9);
  EXPECT_EQ(X.endScan, 10);
  EXPECT_EQ(X.area, 0.5 * (21000 * 10.0));
}

TEST(ProcessXIC, NearerApexWinsAndTheLeftOneOnATie) {
  // Seed in a valley at index 5: left apex at 3 (distance 2), right apex at 8 (3).
  TraceRun leftNearer({0, 0, 0, 30000, 20000, 15000, 18000, 19000, 40000, 5000, 1000});
  leftNearer.seedAt(5);
  leftNearer.process();
  EXPECT_EQ(leftNearer.X().apexIntensity, 30000);

  TraceRun rightNearer({0, 0, 30000, 20000, 18000, 15000, 18000, 40000, 5000, 1000, 0});
  rightNearer.seedAt(5);
  rightNearer.process();
  EXPECT_EQ(rightNearer.X().apexIntensity, 40000);

  TraceRun tie({0, 0, 30000, 20000, 18000, 15000, 18000, 19000, 40000, 1000, 0});
  tie.seedAt(5);
  tie.process();
  EXPECT_EQ(tie.X().apexIntensity, 30000);
}

TEST(ProcessXIC, FlanksEndThirtyTimeUnitsFromTheApex) {
  // 15 s apart: the flank walks pass points exactly 30 s away and stop at 45 s.
  TraceRun run({1000, 2000, 3000, 4000, 5000, 6000, 7000, 6500, 6000, 5500, 5000}, 15);
  run.seedAt(6);
  run.process();
  const chrom& X = run.X();
  EXPECT_EQ(X.apexScan, 7);
  EXPECT_EQ(X.startScan, 3);  // one below index 3, which lies 45 s away
  EXPECT_EQ(X.endScan, 10);   // index 9, the first point 45 s away
}

TEST(ProcessXIC, RightFlankStopsAtARawValueNotAboveTheFloor) {
  // cutoff 10000 gives a floor of 20; index 3 holds exactly 20.
  TraceRun run({20000, 30000, 800, 20, 10, 5, 0, 0, 0, 0, 0});
  run.process();
  EXPECT_EQ(run.X().endScan, 4);
}

TEST(ProcessXIC, ChromatogramOfMzZeroNeverGetsAPeak) {
  TraceRun run({50000, 90000, 50000, 0, 0, 0, 0, 0, 0, 0, 0}, 10, 1, 0.0);
  run.process();
  expectNoPeak(run.X());
}

TEST(ProcessXIC, DenoisingIsSkippedOnlyWithTheFlag) {
  // Seven non-zero samples are thresholded away entirely by the denoiser; the
  // no-peak chromatogram then keeps its processed (zero) trace.
  const std::vector<double> trace = {30000, 50000, 80000, 60000, 40000, 20000, 15000};
  TraceRun raw(trace);
  raw.process();
  EXPECT_EQ(raw.X().apexIntensity, 80000);

  TraceRun denoised(trace);
  denoised.processor.skipDenoise = 0;
  denoised.process();
  expectNoPeak(denoised.X());
  EXPECT_EQ(denoised.X().intensities, std::vector<double>(7, 0.0));
}

TEST(ProcessXIC, LongTraceIsSmoothedForTheApexAndRestoredRawAfterwards) {
  std::vector<double> trace(20, 0.0);
  const double shape[] = {5000, 20000, 60000, 100000, 70000, 30000, 8000};
  for (int i = 0; i < 7; ++i) trace[6 + i] = shape[i];
  TraceRun run(trace);
  run.seedAt(9);
  run.process();

  chrom smoothed = run.X();
  filterer().SGsmooth(5, smoothed);
  const chrom& X = run.X();
  EXPECT_EQ(X.apexScan, 10);
  EXPECT_EQ(X.apexIntensity, smoothed.intensities[9]);
  EXPECT_NE(X.apexIntensity, 100000);
  EXPECT_EQ(X.intensities, trace);
}

TEST(ProcessXIC, FeatureMassReadsTheChannelsOwnSpectra) {
  // Scan numbers start at 5001, far past the store's list; another channel's
  // spectra come first in the store.
  TraceRun run({30000, 60000, 40000, 0, 0, 0, 0, 0, 0, 0, 0}, 10, 5001, 250.0, 0.002);
  for (int i = 0; i < 3; ++i) {
    scan other;
    other.num = i + 1;
    datapeak p;
    p.mz = 250.3;
    p.intensity = 1e6;
    other.peaks.push_back(p);
    run.store.scans.push_back(other);
  }
  run.process();
  const chrom& X = run.X();
  EXPECT_EQ(X.startScan, 5001);
  EXPECT_EQ(X.endScan, 5004);  // index 3 ends the flank; its spectrum has no peak in the window
  EXPECT_EQ(X.peakMz, (((0.0 + 250.0) + 250.002) + 250.004) / 3);
}

TEST(ProcessXIC, DenoisedGaussianIsFoundNearItsCentre) {
  std::vector<double> trace;
  for (int i = 0; i < 60; ++i) {
    const double z = (i - 30.3) / 2.5;
    trace.push_back(200000 * std::exp(-0.5 * z * z) + 500 * (i % 3));
  }
  TraceRun run(trace, 3, 1, 100.0, 0.001);
  run.processor.skipDenoise = 0;
  run.seedAt(28);
  run.process();
  const chrom& X = run.X();
  EXPECT_NEAR(X.apexTime, 90, 6);
  EXPECT_LT(X.startScan, X.apexScan);
  EXPECT_GT(X.endScan, X.apexScan);
  EXPECT_GT(X.area, 0);
  EXPECT_EQ(X.intensities, trace);
}
