#include "tests/reference/reference_processing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "processing/peak_detection.h"
#include "processing/wavelet/symmlet8.h"
#include "processing/xic_seeding.h"

namespace reference {

namespace {

// ---- generation ----

double traceSumInWindow(const scan& spectrum, double targetMz, double tolerance) {
  double sum = 0.0;
  for (const StoredPeak& peak : spectrum.peaks) {
    if (targetMz > peak.mz - tolerance && targetMz < peak.mz + tolerance) sum += peak.intensity;
  }
  return sum;
}

// Seeds as the tool takes them, except that an untargeted channel's peaks are
// picked spectrum by spectrum, one after another.
void appendSeeds(filterer& picker, fileHandle& run, channel& ch) {
  if (!run.targetPeaks.empty() || picker.seedFromTraces) {
    appendSeededChroms(picker, run, ch);
    return;
  }
  for (std::size_t index : ch.scans) {
    scan& spectrum = run.scans.at(index);
    std::vector<datapeak> seeds;
    picker.pickPeaks(&spectrum, seeds);
    for (const datapeak& seed : seeds) {
      chrom X;
      X.mz = seed.mz;
      X.seedIntensity = seed.intensity;
      X.seedTime = spectrum.rt;
      X.seedScan = static_cast<std::int32_t>(spectrum.num);
      ch.chroms.push_back(std::move(X));
    }
  }
}

// ---- peak detection ----

void featureMass(const fileHandle& run, const channel& ch, chrom& X, std::size_t start, std::size_t end,
                 double tolerance) {
  double sum = 0.0;
  long long count = 0;
  for (std::size_t k = start; k < end; ++k) {
    if (k >= ch.scans.size() || ch.scans[k] >= run.scans.size()) continue;
    for (const StoredPeak& peak : run.scans[ch.scans[k]].peaks) {
      if (peak.mz > X.mz - tolerance && peak.mz < X.mz + tolerance) {
        sum += peak.mz;
        ++count;
      }
    }
  }
  if (count > 0) X.peakMz = sum / count;
}

}  // namespace

void generateXIC(const filterer& params, fileHandle& run) {
  filterer picker = params;
  const bool targeted = !run.targetPeaks.empty();
  for (channel& ch : run.channels) {
    if (ch.scans.empty()) continue;
    const std::size_t first = ch.chroms.size();
    appendSeeds(picker, run, ch);
    for (std::size_t c = first; c < ch.chroms.size(); ++c) {
      chrom& X = ch.chroms[c];
      for (std::size_t index : ch.scans) {
        const scan& spectrum = run.scans.at(index);
        X.times.push_back(spectrum.rt);
        X.scanNumbers.push_back(static_cast<std::int32_t>(spectrum.num));
        const double sum = traceSumInWindow(spectrum, X.mz, params.massWindowAt(X.mz));
        X.intensities.push_back(sum);
        X.totalIntensity += sum;
      }
      if (targeted) seedAtTraceMaximum(X, X.intensities, X.times, X.scanNumbers);
    }
  }
}

void SGsmooth(int window, chrom& X) {
  static const int c7[] = {-2, 3, 6, 7, 6, 3, -2};
  static const int c17[] = {-21, -6, 7, 18, 27, 34, 39, 42, 43, 42, 39, 34, 27, 18, 7, -6, -21};
  static const int c25[] = {-253, -138, -33, 62,  147, 222, 287, 342, 387, 422, 447,  462, 467,
                            462,  447,  422, 387, 342, 287, 222, 147, 62,  -33, -138, -253};
  std::vector<double>& x = X.intensities;
  const std::size_t n = x.size();
  if (n < 12) return;
  const int* c = window <= 5 ? c7 : (window <= 10 ? c17 : c25);
  const std::size_t h = window <= 5 ? 3 : (window <= 10 ? 8 : 12);
  const double divisor = window <= 5 ? 21.0 : (window <= 10 ? 323.0 : 5175.0);
  if (n > 2 * h) {
    std::vector<double> smoothed(x);
    for (std::size_t i = h; i + h < n; ++i) {
      double sum = 0.0;
      for (std::size_t j = 0; j <= 2 * h; ++j) sum += static_cast<double>(c[j]) * x[i - h + j];
      smoothed[i] = sum / divisor;
    }
    x.swap(smoothed);
  }
  for (double& value : x) {
    if (value < 0) value = 0;
  }
}

// The wavelet operations in their plain form are production code
// (FastSymmlet8, taken by traces with extreme values); the vectorised kernels
// are checked against them.
void transform(std::vector<double>& values, int n) { FastSymmlet8::transform(values, n); }
void transformLevel(std::vector<double>& values, int len) { FastSymmlet8::transform(values, len, len); }
void invTransform(std::vector<double>& values, int n) { FastSymmlet8::invTransform(values, n); }
void invTransformLevel(std::vector<double>& values, int half) {
  FastSymmlet8::invTransform(values, 2 * half, half);
}
void threshold(std::vector<double>& values, int pad, double fraction) {
  FastSymmlet8::threshold(values, pad, 0, fraction);
}

void waveletDenoise(double fraction, int passes, chrom& X) {
  symmlet8::plainDenoise(X.intensities, fraction, passes);
}

void processXIC(const filterer& params, fileHandle& run) {
  const double cutoffLevel = static_cast<double>(params.cutoff);
  const double edgeFloor = static_cast<double>(params.cutoff / 500);
  for (channel& ch : run.channels) {
    for (chrom& X : ch.chroms) {
      X.apexTime = 0;
      X.apexIntensity = 0;
      const std::vector<double> raw = X.intensities;

      if (params.skipDenoise == 0) waveletDenoise(kDenoiseFraction, kDenoisePasses, X);
      SGsmooth(5, X);

      PeakSpan span;
      const std::vector<double> processed = X.intensities;
      if (!findPeak(X, raw, processed, X.times, X.scanNumbers, cutoffLevel, edgeFloor, span)) continue;
      X.intensities = raw;  // with a peak the chromatogram keeps its raw trace
      featureMass(run, ch, X, span.start, span.end, params.massWindowAt(X.mz));
    }
  }
}

}  // namespace reference
