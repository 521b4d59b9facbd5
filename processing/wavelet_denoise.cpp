// Repeated, shifted Symmlet-8 wavelet shrinkage of a chromatogram trace.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "processing/filterer.h"
#include "processing/symmlet8_kernels.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

void symmlet8::denoise(std::vector<double>& trace, double fraction, int passes, WaveletWorkspace& ws) {
  const std::size_t length = trace.size();
  const double originalLength = static_cast<double>(length);
  if (passes == 0 || length == 0) return;

  std::vector<ConstantRun> runs;
  for (int pass = 0;; ++pass) {
    // Pass i > 0 runs on the trace preceded by trunc(N0 / i) copies of its first
    // value, so that the wavelet grid falls differently on the signal.
    const std::size_t shift = pass > 0 ? static_cast<std::size_t>(originalLength / pass) : 0;
    const std::size_t n = shift + length;
    // Pad with zeros to the next power of two.
    std::size_t padded = 1;
    while (padded < n) padded *= 2;

    if (ws.padded.size() < padded) ws.padded.resize(padded);
    double* x = ws.padded.data();
    std::fill(x, x + shift, trace.front());
    std::copy(trace.begin(), trace.end(), x + shift);
    std::fill(x + n, x + padded, 0.0);

    // The shift block (with any repeats of the first value) and the zero
    // padding (with any trailing zeros of the same sign) are constant stretches.
    runs.clear();
    std::size_t head = shift;
    while (head < n && sameBits(x[head], x[0])) ++head;
    std::size_t tail = n;
    while (tail > head && sameBits(x[tail - 1], 0.0)) --tail;
    if (head >= 2) runs.push_back({0, head});
    if (padded - tail >= 2) runs.push_back({tail, padded});

    forward(x, padded, ws, runs);
    // The threshold comes from all coefficients, but only those that the kept
    // entries depend on are shrunk, just before the inverse reads them.
    double T = 0;
    const bool shrinks = thresholdLevel(x, padded, static_cast<int>(padded - n), fraction, ws, ws.detailRuns, T);
    inverse(x, padded, ws, shift, n, shrinks ? &T : nullptr);

    // Drop the shift block and the padding again.
    std::copy(x + shift, x + n, trace.begin());
    if (pass + 1 >= passes) break;
  }
}

void filterer::waveletDenoise(double& fraction, int passes, chrom& X) {
  WaveletWorkspace ws;
  symmlet8::denoise(X.intensities, fraction, passes, ws);
}
