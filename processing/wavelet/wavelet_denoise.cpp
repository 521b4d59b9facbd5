// Repeated, shifted Symmlet-8 wavelet shrinkage of a chromatogram trace.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "processing/filterer.h"
#include "processing/wavelet/symmlet8.h"
#include "processing/wavelet/symmlet8_kernels.h"
#include "util/same_bits.h"

namespace {

// Values far below the range where a transform could overflow. A trace with
// anything else (NaN, infinities, absurd magnitudes) takes the plain path, so
// that even the signs of NaNs come out as the plain operations give them.
bool ordinaryValues(const std::vector<double>& trace) {
  for (double value : trace) {
    if (!(std::fabs(value) < 1e290)) return false;
  }
  return true;
}

}  // namespace

// The denoising in its plain form, one list operation after another.
void symmlet8::plainDenoise(std::vector<double>& x, double fraction, int passes) {
  const double originalLength = static_cast<double>(x.size());
  if (passes == 0) return;
  for (int pass = 0;; ++pass) {
    const std::size_t n = x.size();
    int p = 0;
    while (std::pow(2.0, p) < static_cast<double>(n)) ++p;
    const std::size_t padded = static_cast<std::size_t>(std::pow(2.0, p));
    x.resize(padded, 0.0);
    FastSymmlet8::transform(x, static_cast<int>(padded));
    FastSymmlet8::threshold(x, static_cast<int>(padded - n), p, fraction);
    FastSymmlet8::invTransform(x, static_cast<int>(padded));
    x.resize(n);
    if (pass > 0) {
      const std::size_t shift = static_cast<std::size_t>(originalLength / pass);
      x.erase(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(shift, x.size())));
    }
    if (pass + 1 >= passes) break;
    const std::size_t nextShift = static_cast<std::size_t>(originalLength / (pass + 1));
    if (nextShift > 0 && !x.empty()) {
      const double first = x.front();
      x.insert(x.begin(), nextShift, first);
    }
  }
}

void symmlet8::denoise(std::vector<double>& trace, double fraction, int passes, WaveletWorkspace& ws) {
  const double* values = denoised(trace, fraction, passes, ws);
  if (values != trace.data()) trace.assign(values, values + trace.size());
}

const double* symmlet8::denoised(const std::vector<double>& input, double fraction, int passes,
                                 WaveletWorkspace& ws) {
  const std::size_t length = input.size();
  const double originalLength = static_cast<double>(length);
  if (passes == 0 || length == 0) return input.data();
  if (!ordinaryValues(input)) {
    ws.plain.assign(input.begin(), input.end());
    plainDenoise(ws.plain, fraction, passes);
    return ws.plain.data();
  }

  // Each pass works on a window of ws.padded that begins length - shift
  // entries in. The trace that a pass leaves at window[shift ..] is then
  // already where the next pass, with its shorter shift block, wants it, so
  // only the first pass copies the trace in, and the last leaves it there.
  // The longest pass (shift = length) is padded to the power of two >= 2 * length.
  std::size_t longest = 1;
  while (longest < 2 * length) longest *= 2;
  if (ws.padded.size() < length + longest) ws.padded.resize(length + longest);
  std::copy(input.begin(), input.end(), ws.padded.begin() + static_cast<std::ptrdiff_t>(length));

  std::vector<ConstantRun> runs;
  for (int pass = 0;; ++pass) {
    // Pass i > 0 runs on the trace preceded by trunc(N0 / i) copies of its first
    // value, so that the wavelet grid falls differently on the signal.
    const std::size_t shift = pass > 0 ? static_cast<std::size_t>(originalLength / pass) : 0;
    const std::size_t n = shift + length;
    // Pad with zeros to the next power of two.
    std::size_t padded = 1;
    while (padded < n) padded *= 2;

    if (ws.coefficients.size() < padded) ws.coefficients.resize(padded);
    double* x = ws.padded.data() + (length - shift);
    double* coefficients = ws.coefficients.data();
    // The shift block and the padding are constant runs (see below), of which
    // the transform reads only the edges.
    fillRunEdges(x, 0, shift, x[shift]);
    fillRunEdges(x, n, padded, 0.0);

    // The shift block (with any repeats of the first value) and the zero
    // padding (with any trailing zeros of the same sign) are constant stretches.
    runs.clear();
    std::size_t head = shift;
    while (head < n && sameBits(x[head], x[0])) ++head;
    std::size_t tail = n;
    while (tail > head && sameBits(x[tail - 1], 0.0)) --tail;
    if (head >= 2) runs.push_back({0, head});
    if (padded - tail >= 2) runs.push_back({tail, padded});

    forward(x, coefficients, padded, ws, runs);
    // The threshold comes from all coefficients, but only those that the kept
    // entries depend on are shrunk, just before the inverse reads them.
    double T = 0;
    const std::size_t guesses = sizeof ws.rankMagnitudes / sizeof ws.rankMagnitudes[0];
    double* guess = static_cast<std::size_t>(pass) < guesses ? &ws.rankMagnitudes[pass] : nullptr;
    const bool shrinks = thresholdLevel(coefficients, padded, static_cast<int>(padded - n), fraction, ws,
                                        ws.detailRuns, T, guess);
    // Rebuilds exactly x[shift .. n-1]: the trace without the shift block and the padding.
    inverse(coefficients, x, padded, shift, n, shrinks ? &T : nullptr, ws.detailRuns);
    if (pass + 1 >= passes) return x + shift;
  }
}

void filterer::waveletDenoise(double& fraction, int passes, chrom& X) {
  WaveletWorkspace ws;
  symmlet8::denoise(X.intensities, fraction, passes, ws);
}
