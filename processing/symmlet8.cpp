// Periodic Symmlet-8 wavelet transform, its inverse and soft thresholding.
#include "processing/symmlet8.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Magnitudes are non-negative, so their bit patterns order like their values;
// the top 12 bits (exponent and first mantissa bit) name a histogram bin.
const std::size_t kBins = 4096;
inline std::size_t binOf(double magnitude) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  return static_cast<std::size_t>(bits >> 51);
}

// A level of length len works on values[0 .. len-1]; it must be even and fit the list.
bool validLevel(const std::vector<double>& values, int len) {
  return len > 0 && len % 2 == 0 && static_cast<std::size_t>(len) <= values.size();
}

void ensureSize(std::vector<double>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize(size);
}

// Outputs from .. to-1 of an analysis level from its even and odd samples:
// a[i] and d[i] take x[2i] .. x[2i+7], products added left to right.
void analysisOutputs(const double* __restrict e, const double* __restrict o, double* __restrict a,
                     double* __restrict d, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    double s = L0 * e[i];
    s += L1 * o[i];
    s += L2 * e[i + 1];
    s += L3 * o[i + 1];
    s += L4 * e[i + 2];
    s += L5 * o[i + 2];
    s += L6 * e[i + 3];
    s += L7 * o[i + 3];
    a[i] = s;
  }
  for (std::size_t i = from; i < to; ++i) {
    double s = H0 * e[i];
    s += H1 * o[i];
    s += H2 * e[i + 1];
    s += H3 * o[i + 1];
    s += H4 * e[i + 2];
    s += H5 * o[i + 2];
    s += H6 * e[i + 3];
    s += H7 * o[i + 3];
    d[i] = s;
  }
}

// One synthesis level in its plain form: every contribution added to its
// (wrapped) entry in increasing order of i, then of m. Used for levels too short
// for the unrolled form and for `expand`, where every detail is taken as 0.
void synthesisePlain(double* values, std::size_t half, bool withDetails, WaveletWorkspace& ws) {
  const std::size_t len = 2 * half;
  ensureSize(ws.even, len);
  double* rebuilt = ws.even.data();
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

void analyse(double* values, std::size_t len, WaveletWorkspace& ws, const std::vector<ConstantRun>& inputRuns,
             std::vector<ConstantRun>& outputRuns) {
  const std::size_t half = len / 2;
  // Split the level into its even and odd samples and repeat the first three of
  // each past the end: the periodic extension without any index arithmetic.
  const std::size_t extended = half + 3;
  ensureSize(ws.even, extended);
  ensureSize(ws.odd, extended);
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

  // Outputs whose eight inputs all lie in one constant stretch are equal.
  outputRuns.clear();
  for (const ConstantRun& run : inputRuns) {
    if (run.end > len || run.end < 8) continue;
    const std::size_t first = (run.begin + 1) / 2;  // 2i >= begin
    const std::size_t last = (run.end - 8) / 2 + 1;  // 2i + 7 <= end - 1
    if (last >= first + 2) outputRuns.push_back({first, last});
  }

  // The inputs are now in e and o, so the outputs go straight into values.
  double* a = values;
  double* d = values + half;
  std::size_t from = 0;
  for (const ConstantRun& run : outputRuns) {
    analysisOutputs(e, o, a, d, from, run.begin + 1);
    std::fill(a + run.begin + 1, a + run.end, a[run.begin]);
    std::fill(d + run.begin + 1, d + run.end, d[run.begin]);
    from = run.end;
  }
  analysisOutputs(e, o, a, d, from, half);
}

void synthesise(double* values, std::size_t half, WaveletWorkspace& ws, std::size_t first, std::size_t last) {
  // Below 4 a wrapped contribution can come from an i that also contributes
  // unwrapped; the plain form keeps the order right there.
  if (half < 4) {
    synthesisePlain(values, half, true, ws);
    return;
  }
  last = std::min(last, half);
  if (first >= last) return;
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
  const std::size_t from = std::max<std::size_t>(first, 3);
  for (std::size_t k = from; k < last; ++k) {
    double s = 0.0;
    s += a[k - 3] * L6 + d[k - 3] * H6;
    s += a[k - 2] * L4 + d[k - 2] * H4;
    s += a[k - 1] * L2 + d[k - 1] * H2;
    s += a[k] * L0 + d[k] * H0;
    ev[k] = s;
  }
  for (std::size_t k = from; k < last; ++k) {
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
  if (first <= 0 && last > 0) {
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
  if (first <= 1 && last > 1) {
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
  if (first <= 2 && last > 2) {
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
  for (std::size_t k = first; k < last; ++k) {
    values[2 * k] = ev[k];
    values[2 * k + 1] = od[k];
  }
}

void forward(double* values, std::size_t n, WaveletWorkspace& ws, const std::vector<ConstantRun>& inputRuns) {
  ws.detailRuns.clear();
  ws.levelRuns.assign(inputRuns.begin(), inputRuns.end());
  for (std::size_t len = n; len > 8; len /= 2) {
    analyse(values, len, ws, ws.levelRuns, ws.nextRuns);
    // The detail half of this level is final; its approximation half is the
    // next level's input.
    for (const ConstantRun& run : ws.nextRuns) ws.detailRuns.push_back({len / 2 + run.begin, len / 2 + run.end});
    ws.levelRuns.swap(ws.nextRuns);
  }
}

void inverse(double* values, std::size_t n, WaveletWorkspace& ws, std::size_t keepBegin, std::size_t keepEnd,
             const double* threshold) {
  const std::size_t low0 = keepBegin;
  const std::size_t high0 = std::min(keepEnd, n);
  if (low0 >= high0) return;
  // From the finest level down: the pairs each level must rebuild so that the
  // next finer level (or the caller) gets the entries it reads, and the
  // coefficients those pairs read. Pair k reads a[k-3 .. k] and d[k-3 .. k];
  // pairs 0..2 also read the last three, so they need everything.
  struct Span {
    std::size_t first, last;  // pairs to rebuild
    std::size_t low, high;    // coefficients read
  };
  Span spans[64];
  int levels = 0;
  std::size_t low = low0;
  std::size_t high = high0;
  for (std::size_t half = n / 2; half >= 8 && 2 * half <= n; half /= 2) {
    Span& span = spans[levels++];
    span.first = low / 2;
    span.last = std::min(half, (high + 1) / 2);
    span.low = span.first >= 3 ? span.first - 3 : 0;
    span.high = span.first >= 3 ? span.last : half;
    low = span.low;
    high = span.high;
  }
  if (levels == 0) {
    // No level to undo: the kept entries are the coefficients themselves.
    if (threshold != nullptr) shrink(values, low0, high0, *threshold);
    return;
  }
  // Then from the coarsest level up, shrinking each coefficient just before
  // its one use: the coarsest approximations and every level's details.
  std::size_t half = 8;
  for (int level = levels - 1; level >= 0; --level, half *= 2) {
    const Span& span = spans[level];
    if (threshold != nullptr) {
      if (level == levels - 1) shrink(values, span.low, span.high, *threshold);
      shrink(values, half + span.low, half + span.high, *threshold);
    }
    synthesise(values, half, ws, span.first, span.last);
  }
}

bool thresholdLevel(const double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws,
                    const std::vector<ConstantRun>& runs, double& T) {
  const double n = static_cast<double>(size);
  // The finest details over the padded tail are left out of the statistics:
  // entries i with i < size - floor(pad / 2).
  const double statisticsEnd = n - std::floor(pad * 0.5);
  const std::size_t counted =
      statisticsEnd <= 0 ? 0 : std::min(size, static_cast<std::size_t>(std::ceil(statisticsEnd)));

  // Positive magnitudes (zeros never rank and a NaN has no rank), counted per
  // exponent bin; a constant stretch adds its one magnitude as often as it repeats.
  ws.histogram.assign(kBins, 0);
  std::size_t* histogram = ws.histogram.data();
  ensureSize(ws.magnitudes, counted);
  double* magnitudes = ws.magnitudes.data();
  std::size_t listed = 0;
  std::size_t repeated = 0;
  std::size_t topBin = 0;
  const auto visit = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const double magnitude = std::fabs(values[i]);
      const bool positive = magnitude > 0;
      const std::size_t bin = binOf(magnitude);
      magnitudes[listed] = magnitude;
      listed += positive;
      histogram[bin] += positive;
      topBin = positive && bin > topBin ? bin : topBin;
    }
  };
  ws.sortedRuns.assign(runs.begin(), runs.end());
  std::sort(ws.sortedRuns.begin(), ws.sortedRuns.end(),
            [](const ConstantRun& x, const ConstantRun& y) { return x.begin < y.begin; });
  std::size_t position = 0;
  for (ConstantRun& run : ws.sortedRuns) {
    const std::size_t begin = std::max(position, std::min(run.begin, counted));
    const std::size_t end = std::max(begin, std::min(run.end, counted));
    visit(position, begin);
    run.end = end;  // the part inside the statistics, used again below
    run.begin = begin;
    if (end > begin) {
      const double magnitude = std::fabs(values[begin]);
      if (magnitude > 0) {
        histogram[binOf(magnitude)] += end - begin;
        topBin = std::max(topBin, binOf(magnitude));
        repeated += end - begin;
      }
    }
    position = std::max(position, end);
  }
  visit(position, counted);

  const std::size_t m = listed + repeated;
  if (m < 2) return false;
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (!(rank >= 0) || rank >= static_cast<double>(m)) return false;

  // The magnitude at rank k from the top lies in the bin where the counts from
  // the top first exceed k; only that bin's magnitudes need ordering.
  const std::size_t k = static_cast<std::size_t>(rank);
  std::size_t above = 0;
  std::size_t bin = topBin;
  while (above + histogram[bin] <= k) above += histogram[bin--];
  ensureSize(ws.candidates, histogram[bin] + 1);  // every magnitude is written once before it is counted
  double* candidates = ws.candidates.data();
  std::size_t found = 0;
  for (std::size_t i = 0; i < listed; ++i) {
    candidates[found] = magnitudes[i];
    found += binOf(magnitudes[i]) == bin;
  }
  for (const ConstantRun& run : ws.sortedRuns) {
    if (run.end <= run.begin) continue;
    const double magnitude = std::fabs(values[run.begin]);
    if (magnitude > 0 && binOf(magnitude) == bin) {
      std::fill(candidates + found, candidates + found + (run.end - run.begin), magnitude);
      found += run.end - run.begin;
    }
  }
  const std::size_t within = k - above;
  std::nth_element(candidates, candidates + within, candidates + found, GreaterThanS());
  T = std::sqrt(2 * std::log(n)) * candidates[within];
  return true;
}

void shrink(double* values, std::size_t from, std::size_t to, double T) {
  // Soft thresholding: every entry shrinks towards 0 by T; zero entries stay as they are.
  std::size_t j = from;
#if defined(__SSE2__)
  // Two entries at a time, with the scalar operations: |g| + g, then times 0.5
  // for a positive entry, or its negation times 0.5 for a negative one. With a
  // finite T no NaN is formed in a lane that is kept, so the lanes match the
  // scalar form bit for bit; an infinite T takes the scalar loop throughout.
  if (std::isfinite(T)) {
    const __m128d magnitudeMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d signMask = _mm_castsi128_pd(_mm_set1_epi64x(static_cast<long long>(0x8000000000000000ULL)));
    const __m128d threshold = _mm_set1_pd(T);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d zero = _mm_setzero_pd();
    for (; j + 2 <= to; j += 2) {
      const __m128d value = _mm_loadu_pd(values + j);
      const __m128d g = _mm_sub_pd(_mm_and_pd(value, magnitudeMask), threshold);
      const __m128d shrunk = _mm_add_pd(_mm_and_pd(g, magnitudeMask), g);
      const __m128d positive = _mm_mul_pd(shrunk, half);
      const __m128d negative = _mm_mul_pd(_mm_xor_pd(shrunk, signMask), half);
      const __m128d isPositive = _mm_cmpgt_pd(value, zero);
      const __m128d isNegative = _mm_cmplt_pd(value, zero);
      const __m128d kept = _mm_andnot_pd(_mm_or_pd(isPositive, isNegative), value);
      const __m128d result =
          _mm_or_pd(_mm_or_pd(_mm_and_pd(isPositive, positive), _mm_and_pd(isNegative, negative)), kept);
      _mm_storeu_pd(values + j, result);
    }
  }
#endif
  for (; j < to; ++j) {
    double& value = values[j];
    const double g = std::fabs(value) - T;
    if (value > 0) {
      value = 1.0 * (std::fabs(g) + g) * 0.5;
    } else if (value < 0) {
      value = -1.0 * (std::fabs(g) + g) * 0.5;
    }
  }
}

void softThreshold(double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws,
                   const std::vector<ConstantRun>& runs) {
  double T = 0;
  if (thresholdLevel(values, size, pad, fraction, ws, runs, T)) shrink(values, 0, size, T);
}

}  // namespace symmlet8

void FastSymmlet8::transform(std::vector<double>& values, int n) {
  WaveletWorkspace ws;
  for (int len = n; len > 8; len /= 2) {
    if (validLevel(values, len)) {
      symmlet8::analyse(values.data(), static_cast<std::size_t>(len), ws, {}, ws.nextRuns);
    }
  }
}

void FastSymmlet8::transform(std::vector<double>& values, int /*n*/, int len) {
  if (!validLevel(values, len)) return;
  WaveletWorkspace ws;
  symmlet8::analyse(values.data(), static_cast<std::size_t>(len), ws, {}, ws.nextRuns);
}

void FastSymmlet8::invTransform(std::vector<double>& values, int n) {
  WaveletWorkspace ws;
  for (int half = 8; 2 * half <= n; half *= 2) {
    if (!validLevel(values, 2 * half)) continue;
    const std::size_t h = static_cast<std::size_t>(half);
    symmlet8::synthesise(values.data(), h, ws, 0, h);
  }
}

void FastSymmlet8::invTransform(std::vector<double>& values, int /*n*/, int half) {
  if (half <= 0 || !validLevel(values, 2 * half)) return;
  WaveletWorkspace ws;
  const std::size_t h = static_cast<std::size_t>(half);
  symmlet8::synthesise(values.data(), h, ws, 0, h);
}

void FastSymmlet8::expand(std::vector<double>& values, int count) {
  if (!validLevel(values, count)) return;
  WaveletWorkspace ws;
  synthesisePlain(values.data(), static_cast<std::size_t>(count / 2), false, ws);
}

void FastSymmlet8::threshold(std::vector<double>& values, int pad, int /*levels*/, double& fraction) {
  WaveletWorkspace ws;
  symmlet8::softThreshold(values.data(), values.size(), pad, fraction, ws, {});
}
