// Periodic Symmlet-8 wavelet transform, its inverse and soft thresholding.
#include "processing/symmlet8.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "processing/symmlet8_kernels.h"

// Daubechies' least-asymmetric filter with 4 vanishing moments, each value the
// single-precision number nearest to the published coefficient.
const double FastSymmlet8::L[8] = {
    0.03222310170531273, -0.01260396745055914, -0.09921954572200775, 0.29785779118537903,
    0.8037387728691101,  0.4976186752319336,   -0.029635528102517128, -0.0757657140493393};
// H[k] = (-1)^(k+1) * L[7-k]
const double FastSymmlet8::H[8] = {
    0.0757657140493393,   -0.029635528102517128, -0.4976186752319336, 0.8037387728691101,
    -0.29785779118537903, -0.09921954572200775,  0.01260396745055914, 0.03222310170531273};

namespace {

// Local copies of the filter, so that the loops below keep them in registers.
const double L0 = 0.03222310170531273, L1 = -0.01260396745055914, L2 = -0.09921954572200775,
             L3 = 0.29785779118537903, L4 = 0.8037387728691101, L5 = 0.4976186752319336,
             L6 = -0.029635528102517128, L7 = -0.0757657140493393;
const double H0 = 0.0757657140493393, H1 = -0.029635528102517128, H2 = -0.4976186752319336,
             H3 = 0.8037387728691101, H4 = -0.29785779118537903, H5 = -0.09921954572200775,
             H6 = 0.01260396745055914, H7 = 0.03222310170531273;

// A level of length len works on values[0 .. len-1]; it must be even and fit the list.
bool validLevel(const std::vector<double>& values, int len) {
  return len > 0 && len % 2 == 0 && static_cast<std::size_t>(len) <= values.size();
}

void ensureSize(std::vector<double>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize(size);
}

// One synthesis level in its plain form: every contribution added to its
// (wrapped) entry in increasing order of i, then of m. Used for levels too short
// for the unrolled form and for `expand`, where every detail is taken as 0.
void synthesisePlain(double* values, std::size_t half, bool withDetails, WaveletWorkspace& ws) {
  const std::size_t len = 2 * half;
  ensureSize(ws.level, len);
  double* rebuilt = ws.level.data();
  std::fill(rebuilt, rebuilt + len, 0.0);
  for (std::size_t i = 0; i < half; ++i) {
    const double a = values[i];
    const double d = withDetails ? values[half + i] : 0.0;
    for (std::size_t m = 0; m < 8; ++m) {
      rebuilt[(2 * i + m) % len] += a * FastSymmlet8::L[m] + d * FastSymmlet8::H[m];
    }
  }
  std::copy(rebuilt, rebuilt + len, values);
}

}  // namespace

namespace symmlet8 {

void analyse(double* values, std::size_t len, WaveletWorkspace& ws) {
  const std::size_t half = len / 2;
  // Split the level into its even and odd samples and repeat the first three of
  // each past the end: the periodic extension without any index arithmetic.
  const std::size_t extended = half + 3;
  ensureSize(ws.even, extended);
  ensureSize(ws.odd, extended);
  ensureSize(ws.level, len);
  double* __restrict e = ws.even.data();
  double* __restrict o = ws.odd.data();
  for (std::size_t j = 0; j < half; ++j) {
    e[j] = values[2 * j];
    o[j] = values[2 * j + 1];
  }
  for (std::size_t j = half; j < extended; ++j) {
    e[j] = values[(2 * j) % len];
    o[j] = values[(2 * j + 1) % len];
  }
  // a[i] and d[i] take x[2i] .. x[2i+7], products added left to right.
  double* __restrict out = ws.level.data();
  for (std::size_t i = 0; i < half; ++i) {
    double a = L0 * e[i];
    a += L1 * o[i];
    a += L2 * e[i + 1];
    a += L3 * o[i + 1];
    a += L4 * e[i + 2];
    a += L5 * o[i + 2];
    a += L6 * e[i + 3];
    a += L7 * o[i + 3];
    out[i] = a;
  }
  for (std::size_t i = 0; i < half; ++i) {
    double d = H0 * e[i];
    d += H1 * o[i];
    d += H2 * e[i + 1];
    d += H3 * o[i + 1];
    d += H4 * e[i + 2];
    d += H5 * o[i + 2];
    d += H6 * e[i + 3];
    d += H7 * o[i + 3];
    out[half + i] = d;
  }
  std::copy(out, out + len, values);
}

void synthesise(double* values, std::size_t half, WaveletWorkspace& ws) {
  // Below 4 a wrapped contribution can come from an i that also contributes
  // unwrapped; the plain form keeps the order right there.
  if (half < 4) {
    synthesisePlain(values, half, true, ws);
    return;
  }
  const std::size_t len = 2 * half;
  ensureSize(ws.level, len);
  ensureSize(ws.even, half);
  ensureSize(ws.odd, half);
  const double* a = values;
  const double* d = values + half;
  // Entry 2k receives (in increasing i) the contributions of i = k-3 (tap 6),
  // k-2 (tap 4), k-1 (tap 2) and k (tap 0), each a[i]*L[m] + d[i]*H[m], added to
  // 0.0 one by one; entry 2k+1 the odd taps 7, 5, 3, 1. The even and odd
  // entries are built in separate lists and interleaved afterwards.
  double* __restrict ev = ws.even.data();
  double* __restrict od = ws.odd.data();
  for (std::size_t k = 3; k < half; ++k) {
    double s = 0.0;
    s += a[k - 3] * L6 + d[k - 3] * H6;
    s += a[k - 2] * L4 + d[k - 2] * H4;
    s += a[k - 1] * L2 + d[k - 1] * H2;
    s += a[k] * L0 + d[k] * H0;
    ev[k] = s;
  }
  for (std::size_t k = 3; k < half; ++k) {
    double s = 0.0;
    s += a[k - 3] * L7 + d[k - 3] * H7;
    s += a[k - 2] * L5 + d[k - 2] * H5;
    s += a[k - 1] * L3 + d[k - 1] * H3;
    s += a[k] * L1 + d[k] * H1;
    od[k] = s;
  }
  // The first three pairs also receive the wrapped taps of the last three i,
  // which come after the unwrapped ones because their i is larger.
  const std::size_t h = half;
  {
    double s = 0.0;
    s += a[0] * L0 + d[0] * H0;
    s += a[h - 3] * L6 + d[h - 3] * H6;
    s += a[h - 2] * L4 + d[h - 2] * H4;
    s += a[h - 1] * L2 + d[h - 1] * H2;
    ev[0] = s;
    s = 0.0;
    s += a[0] * L1 + d[0] * H1;
    s += a[h - 3] * L7 + d[h - 3] * H7;
    s += a[h - 2] * L5 + d[h - 2] * H5;
    s += a[h - 1] * L3 + d[h - 1] * H3;
    od[0] = s;
  }
  {
    double s = 0.0;
    s += a[0] * L2 + d[0] * H2;
    s += a[1] * L0 + d[1] * H0;
    s += a[h - 2] * L6 + d[h - 2] * H6;
    s += a[h - 1] * L4 + d[h - 1] * H4;
    ev[1] = s;
    s = 0.0;
    s += a[0] * L3 + d[0] * H3;
    s += a[1] * L1 + d[1] * H1;
    s += a[h - 2] * L7 + d[h - 2] * H7;
    s += a[h - 1] * L5 + d[h - 1] * H5;
    od[1] = s;
  }
  {
    double s = 0.0;
    s += a[0] * L4 + d[0] * H4;
    s += a[1] * L2 + d[1] * H2;
    s += a[2] * L0 + d[2] * H0;
    s += a[h - 1] * L6 + d[h - 1] * H6;
    ev[2] = s;
    s = 0.0;
    s += a[0] * L5 + d[0] * H5;
    s += a[1] * L3 + d[1] * H3;
    s += a[2] * L1 + d[2] * H1;
    s += a[h - 1] * L7 + d[h - 1] * H7;
    od[2] = s;
  }
  for (std::size_t k = 0; k < half; ++k) {
    values[2 * k] = ev[k];
    values[2 * k + 1] = od[k];
  }
}

void forward(double* values, std::size_t n, WaveletWorkspace& ws) {
  for (std::size_t len = n; len > 8; len /= 2) {
    if (len % 2 == 0) analyse(values, len, ws);
  }
}

void inverse(double* values, std::size_t n, WaveletWorkspace& ws) {
  for (std::size_t half = 8; 2 * half <= n; half *= 2) synthesise(values, half, ws);
}

void softThreshold(double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws) {
  const double n = static_cast<double>(size);
  // The finest details over the padded tail are left out of the statistics.
  const double statisticsEnd = n - std::floor(pad * 0.5);
  std::vector<double>& magnitudes = ws.magnitudes;
  magnitudes.clear();
  for (std::size_t i = 0; i < size && static_cast<double>(i) < statisticsEnd; ++i) {
    const double magnitude = std::fabs(values[i]);
    // Zeros never rank and a NaN has no rank: only positive magnitudes count.
    if (magnitude > 0) magnitudes.push_back(magnitude);
  }
  const std::size_t m = magnitudes.size();
  if (m < 2) return;
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (!(rank >= 0) || rank >= static_cast<double>(m)) return;
  // The magnitude at this rank from the top is the same whether the whole list
  // is sorted or only that position is put in place.
  const std::size_t k = static_cast<std::size_t>(rank);
  std::nth_element(magnitudes.begin(), magnitudes.begin() + static_cast<std::ptrdiff_t>(k),
                   magnitudes.end(), GreaterThanS());
  const double T = std::sqrt(2 * std::log(n)) * magnitudes[k];

  // Soft thresholding: every entry shrinks towards 0 by T; zero entries stay as they are.
  for (std::size_t j = 0; j < size; ++j) {
    const double value = values[j];
    const double g = std::fabs(value) - T;
    const double shrunk = std::fabs(g) + g;
    values[j] = value > 0 ? 1.0 * shrunk * 0.5 : (value < 0 ? -1.0 * shrunk * 0.5 : value);
  }
}

}  // namespace symmlet8

void FastSymmlet8::transform(std::vector<double>& values, int n) {
  WaveletWorkspace ws;
  for (int len = n; len > 8; len /= 2) {
    if (validLevel(values, len)) symmlet8::analyse(values.data(), static_cast<std::size_t>(len), ws);
  }
}

void FastSymmlet8::transform(std::vector<double>& values, int /*n*/, int len) {
  if (!validLevel(values, len)) return;
  WaveletWorkspace ws;
  symmlet8::analyse(values.data(), static_cast<std::size_t>(len), ws);
}

void FastSymmlet8::invTransform(std::vector<double>& values, int n) {
  WaveletWorkspace ws;
  for (int half = 8; 2 * half <= n; half *= 2) {
    if (validLevel(values, 2 * half)) symmlet8::synthesise(values.data(), static_cast<std::size_t>(half), ws);
  }
}

void FastSymmlet8::invTransform(std::vector<double>& values, int /*n*/, int half) {
  if (half <= 0 || !validLevel(values, 2 * half)) return;
  WaveletWorkspace ws;
  symmlet8::synthesise(values.data(), static_cast<std::size_t>(half), ws);
}

void FastSymmlet8::expand(std::vector<double>& values, int count) {
  if (!validLevel(values, count)) return;
  WaveletWorkspace ws;
  synthesisePlain(values.data(), static_cast<std::size_t>(count / 2), false, ws);
}

void FastSymmlet8::threshold(std::vector<double>& values, int pad, int /*levels*/, double& fraction) {
  WaveletWorkspace ws;
  symmlet8::softThreshold(values.data(), values.size(), pad, fraction, ws);
}
