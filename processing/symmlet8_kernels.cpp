// Symmlet-8 analysis and synthesis levels on plain arrays, two outputs at a time.
#include "processing/symmlet8_kernels.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TORVA_WIDE_KERNELS 1
#endif

namespace {

// The filter of FastSymmlet8 (L and H), as literals so that they stay in registers.
const double L0 = 0.03222310170531273, L1 = -0.01260396745055914, L2 = -0.09921954572200775,
             L3 = 0.29785779118537903, L4 = 0.8037387728691101, L5 = 0.4976186752319336,
             L6 = -0.029635528102517128, L7 = -0.0757657140493393;
const double H0 = 0.0757657140493393, H1 = -0.029635528102517128, H2 = -0.4976186752319336,
             H3 = 0.8037387728691101, H4 = -0.29785779118537903, H5 = -0.09921954572200775,
             H6 = 0.01260396745055914, H7 = 0.03222310170531273;

// Approximation and detail of the eight samples s[0..7] (s[m] = x[2i+m]),
// products added left to right.
inline void analyseOne(const double* s, double& a, double& d) {
  a = L0 * s[0];
  a += L1 * s[1];
  a += L2 * s[2];
  a += L3 * s[3];
  a += L4 * s[4];
  a += L5 * s[5];
  a += L6 * s[6];
  a += L7 * s[7];
  d = H0 * s[0];
  d += H1 * s[1];
  d += H2 * s[2];
  d += H3 * s[3];
  d += H4 * s[4];
  d += H5 * s[5];
  d += H6 * s[6];
  d += H7 * s[7];
}

#if defined(TORVA_WIDE_KERNELS)
// Four outputs at a time in 256-bit registers, on processors that have them
// (checked at run time, so the build stays the same for every x86-64
// machine). Each lane does the very multiplications and additions of the
// two-lane and scalar forms, in the same order, so the results are identical.
bool wideVectorsAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}
bool wideVectorsWanted = true;

// Outputs i .. from `from`, four at a time while four fit below `to`;
// returns the first output not yet computed. Lanes hold outputs i, i+2, i+1,
// i+3, which lets each sample vector come from one unpack of two loads.
__attribute__((target("avx2"))) std::size_t analyseRangeWide(double* x, double* detail, std::size_t from,
                                                             std::size_t to) {
  std::size_t i = from;
  const __m256d l0 = _mm256_set1_pd(L0), l1 = _mm256_set1_pd(L1), l2 = _mm256_set1_pd(L2),
                l3 = _mm256_set1_pd(L3), l4 = _mm256_set1_pd(L4), l5 = _mm256_set1_pd(L5),
                l6 = _mm256_set1_pd(L6), l7 = _mm256_set1_pd(L7);
  const __m256d h0 = _mm256_set1_pd(H0), h1 = _mm256_set1_pd(H1), h2 = _mm256_set1_pd(H2),
                h3 = _mm256_set1_pd(H3), h4 = _mm256_set1_pd(H4), h5 = _mm256_set1_pd(H5),
                h6 = _mm256_set1_pd(H6), h7 = _mm256_set1_pd(H7);
  for (; i + 4 <= to; i += 4) {
    const double* s = x + 2 * i;
    // Sample m of the four outputs: x[2i+m], x[2i+4+m], x[2i+2+m], x[2i+6+m].
    const __m256d w0 = _mm256_loadu_pd(s), w1 = _mm256_loadu_pd(s + 4);
    const __m256d w2 = _mm256_loadu_pd(s + 2), w3 = _mm256_loadu_pd(s + 6);
    const __m256d w4 = _mm256_loadu_pd(s + 4), w5 = _mm256_loadu_pd(s + 8);
    const __m256d w6 = _mm256_loadu_pd(s + 6), w7 = _mm256_loadu_pd(s + 10);
    const __m256d s0 = _mm256_unpacklo_pd(w0, w1), s1 = _mm256_unpackhi_pd(w0, w1);
    const __m256d s2 = _mm256_unpacklo_pd(w2, w3), s3 = _mm256_unpackhi_pd(w2, w3);
    const __m256d s4 = _mm256_unpacklo_pd(w4, w5), s5 = _mm256_unpackhi_pd(w4, w5);
    const __m256d s6 = _mm256_unpacklo_pd(w6, w7), s7 = _mm256_unpackhi_pd(w6, w7);
    __m256d a = _mm256_mul_pd(l0, s0);
    a = _mm256_add_pd(a, _mm256_mul_pd(l1, s1));
    a = _mm256_add_pd(a, _mm256_mul_pd(l2, s2));
    a = _mm256_add_pd(a, _mm256_mul_pd(l3, s3));
    a = _mm256_add_pd(a, _mm256_mul_pd(l4, s4));
    a = _mm256_add_pd(a, _mm256_mul_pd(l5, s5));
    a = _mm256_add_pd(a, _mm256_mul_pd(l6, s6));
    a = _mm256_add_pd(a, _mm256_mul_pd(l7, s7));
    __m256d d = _mm256_mul_pd(h0, s0);
    d = _mm256_add_pd(d, _mm256_mul_pd(h1, s1));
    d = _mm256_add_pd(d, _mm256_mul_pd(h2, s2));
    d = _mm256_add_pd(d, _mm256_mul_pd(h3, s3));
    d = _mm256_add_pd(d, _mm256_mul_pd(h4, s4));
    d = _mm256_add_pd(d, _mm256_mul_pd(h5, s5));
    d = _mm256_add_pd(d, _mm256_mul_pd(h6, s6));
    d = _mm256_add_pd(d, _mm256_mul_pd(h7, s7));
    // Back to the order i, i+1, i+2, i+3. All samples are loaded by now, and
    // x[i .. i+3] lies below every sample a later output reads.
    _mm256_storeu_pd(x + i, _mm256_permute4x64_pd(a, _MM_SHUFFLE(3, 1, 2, 0)));
    _mm256_storeu_pd(detail + i, _mm256_permute4x64_pd(d, _MM_SHUFFLE(3, 1, 2, 0)));
  }
  return i;
}

// Pairs k-4 .. k-1 side by side, from k = last down while k-4 >= from;
// returns the k at which the narrower forms go on.
__attribute__((target("avx2"))) std::size_t synthesiseRangeWide(double* x, const double* detail, std::size_t from,
                                                                std::size_t last) {
  std::size_t k = last;
  const __m256d l0 = _mm256_set1_pd(L0), l1 = _mm256_set1_pd(L1), l2 = _mm256_set1_pd(L2),
                l3 = _mm256_set1_pd(L3), l4 = _mm256_set1_pd(L4), l5 = _mm256_set1_pd(L5),
                l6 = _mm256_set1_pd(L6), l7 = _mm256_set1_pd(L7);
  const __m256d h0 = _mm256_set1_pd(H0), h1 = _mm256_set1_pd(H1), h2 = _mm256_set1_pd(H2),
                h3 = _mm256_set1_pd(H3), h4 = _mm256_set1_pd(H4), h5 = _mm256_set1_pd(H5),
                h6 = _mm256_set1_pd(H6), h7 = _mm256_set1_pd(H7);
  for (; k >= from + 4; k -= 4) {
    const std::size_t base = k - 4 - 3;
    const __m256d a0 = _mm256_loadu_pd(x + base), a1 = _mm256_loadu_pd(x + base + 1);
    const __m256d a2 = _mm256_loadu_pd(x + base + 2), a3 = _mm256_loadu_pd(x + base + 3);
    const __m256d d0 = _mm256_loadu_pd(detail + base), d1 = _mm256_loadu_pd(detail + base + 1);
    const __m256d d2 = _mm256_loadu_pd(detail + base + 2), d3 = _mm256_loadu_pd(detail + base + 3);
    __m256d even = _mm256_setzero_pd();
    even = _mm256_add_pd(even, _mm256_add_pd(_mm256_mul_pd(a0, l6), _mm256_mul_pd(d0, h6)));
    even = _mm256_add_pd(even, _mm256_add_pd(_mm256_mul_pd(a1, l4), _mm256_mul_pd(d1, h4)));
    even = _mm256_add_pd(even, _mm256_add_pd(_mm256_mul_pd(a2, l2), _mm256_mul_pd(d2, h2)));
    even = _mm256_add_pd(even, _mm256_add_pd(_mm256_mul_pd(a3, l0), _mm256_mul_pd(d3, h0)));
    __m256d odd = _mm256_setzero_pd();
    odd = _mm256_add_pd(odd, _mm256_add_pd(_mm256_mul_pd(a0, l7), _mm256_mul_pd(d0, h7)));
    odd = _mm256_add_pd(odd, _mm256_add_pd(_mm256_mul_pd(a1, l5), _mm256_mul_pd(d1, h5)));
    odd = _mm256_add_pd(odd, _mm256_add_pd(_mm256_mul_pd(a2, l3), _mm256_mul_pd(d2, h3)));
    odd = _mm256_add_pd(odd, _mm256_add_pd(_mm256_mul_pd(a3, l1), _mm256_mul_pd(d3, h1)));
    // (e0, o0, e2, o2) and (e1, o1, e3, o3), then entries 2(k-4) .. 2k-1 in order.
    const __m256d lo = _mm256_unpacklo_pd(even, odd), hi = _mm256_unpackhi_pd(even, odd);
    _mm256_storeu_pd(x + 2 * (k - 2), _mm256_permute2f128_pd(lo, hi, 0x31));
    _mm256_storeu_pd(x + 2 * (k - 4), _mm256_permute2f128_pd(lo, hi, 0x20));
  }
  return k;
}
#endif

// Outputs i = from .. to-1 from x[2i .. 2i+7] (no wrap-around). The
// approximations may overwrite x in place: output i is written at i, below
// every sample that a later output reads.
void analyseRange(double* x, double* detail, std::size_t from, std::size_t to) {
  std::size_t i = from;
#if defined(TORVA_WIDE_KERNELS)
  if (symmlet8::wideVectorsInUse()) i = analyseRangeWide(x, detail, i, to);
#endif
#if defined(__SSE2__)
  // Outputs i and i+1 side by side: lane 0 reads x[2i ..], lane 1 x[2i+2 ..].
  const __m128d l0 = _mm_set1_pd(L0), l1 = _mm_set1_pd(L1), l2 = _mm_set1_pd(L2), l3 = _mm_set1_pd(L3),
                l4 = _mm_set1_pd(L4), l5 = _mm_set1_pd(L5), l6 = _mm_set1_pd(L6), l7 = _mm_set1_pd(L7);
  const __m128d h0 = _mm_set1_pd(H0), h1 = _mm_set1_pd(H1), h2 = _mm_set1_pd(H2), h3 = _mm_set1_pd(H3),
                h4 = _mm_set1_pd(H4), h5 = _mm_set1_pd(H5), h6 = _mm_set1_pd(H6), h7 = _mm_set1_pd(H7);
  for (; i + 2 <= to; i += 2) {
    const double* s = x + 2 * i;
    const __m128d v0 = _mm_loadu_pd(s);
    const __m128d v1 = _mm_loadu_pd(s + 2);
    const __m128d v2 = _mm_loadu_pd(s + 4);
    const __m128d v3 = _mm_loadu_pd(s + 6);
    const __m128d v4 = _mm_loadu_pd(s + 8);
    const __m128d s0 = _mm_unpacklo_pd(v0, v1), s1 = _mm_unpackhi_pd(v0, v1);
    const __m128d s2 = _mm_unpacklo_pd(v1, v2), s3 = _mm_unpackhi_pd(v1, v2);
    const __m128d s4 = _mm_unpacklo_pd(v2, v3), s5 = _mm_unpackhi_pd(v2, v3);
    const __m128d s6 = _mm_unpacklo_pd(v3, v4), s7 = _mm_unpackhi_pd(v3, v4);
    __m128d a = _mm_mul_pd(l0, s0);
    a = _mm_add_pd(a, _mm_mul_pd(l1, s1));
    a = _mm_add_pd(a, _mm_mul_pd(l2, s2));
    a = _mm_add_pd(a, _mm_mul_pd(l3, s3));
    a = _mm_add_pd(a, _mm_mul_pd(l4, s4));
    a = _mm_add_pd(a, _mm_mul_pd(l5, s5));
    a = _mm_add_pd(a, _mm_mul_pd(l6, s6));
    a = _mm_add_pd(a, _mm_mul_pd(l7, s7));
    __m128d d = _mm_mul_pd(h0, s0);
    d = _mm_add_pd(d, _mm_mul_pd(h1, s1));
    d = _mm_add_pd(d, _mm_mul_pd(h2, s2));
    d = _mm_add_pd(d, _mm_mul_pd(h3, s3));
    d = _mm_add_pd(d, _mm_mul_pd(h4, s4));
    d = _mm_add_pd(d, _mm_mul_pd(h5, s5));
    d = _mm_add_pd(d, _mm_mul_pd(h6, s6));
    d = _mm_add_pd(d, _mm_mul_pd(h7, s7));
    _mm_storeu_pd(x + i, a);
    _mm_storeu_pd(detail + i, d);
  }
#endif
  for (; i < to; ++i) {
    double a = 0;
    double d = 0;
    analyseOne(x + 2 * i, a, d);
    x[i] = a;
    detail[i] = d;
  }
}

// Entry 2k of a synthesis level: the contributions a[i]*L[m] + d[i]*H[m] of
// i = k-3, k-2, k-1, k (taps 6, 4, 2, 0) added to 0.0 in that order; entry
// 2k+1 the same with taps 7, 5, 3, 1. ai[j], di[j] hold a and d at i = k-3+j.
inline void synthesiseOne(const double* ai, const double* di, double& even, double& odd) {
  double s = 0.0;
  s += ai[0] * L6 + di[0] * H6;
  s += ai[1] * L4 + di[1] * H4;
  s += ai[2] * L2 + di[2] * H2;
  s += ai[3] * L0 + di[3] * H0;
  even = s;
  s = 0.0;
  s += ai[0] * L7 + di[0] * H7;
  s += ai[1] * L5 + di[1] * H5;
  s += ai[2] * L3 + di[2] * H3;
  s += ai[3] * L1 + di[3] * H1;
  odd = s;
}

// Entries 2k and 2k+1 for k = from .. last-1 (from >= 3, no wrap-around),
// written over x from the top down: pair k reads a[k-3 .. k] = x[k-3 .. k],
// all below the entries written so far.
void synthesiseRange(double* x, const double* detail, std::size_t from, std::size_t last) {
  std::size_t k = last;
#if defined(TORVA_WIDE_KERNELS)
  if (symmlet8::wideVectorsInUse()) k = synthesiseRangeWide(x, detail, from, k);
#endif
#if defined(__SSE2__)
  const __m128d l0 = _mm_set1_pd(L0), l1 = _mm_set1_pd(L1), l2 = _mm_set1_pd(L2), l3 = _mm_set1_pd(L3),
                l4 = _mm_set1_pd(L4), l5 = _mm_set1_pd(L5), l6 = _mm_set1_pd(L6), l7 = _mm_set1_pd(L7);
  const __m128d h0 = _mm_set1_pd(H0), h1 = _mm_set1_pd(H1), h2 = _mm_set1_pd(H2), h3 = _mm_set1_pd(H3),
                h4 = _mm_set1_pd(H4), h5 = _mm_set1_pd(H5), h6 = _mm_set1_pd(H6), h7 = _mm_set1_pd(H7);
  // Pairs k-2 and k-1 side by side.
  for (; k >= from + 2; k -= 2) {
    const std::size_t base = k - 2 - 3;
    const __m128d a0 = _mm_loadu_pd(x + base), a1 = _mm_loadu_pd(x + base + 1);
    const __m128d a2 = _mm_loadu_pd(x + base + 2), a3 = _mm_loadu_pd(x + base + 3);
    const __m128d d0 = _mm_loadu_pd(detail + base), d1 = _mm_loadu_pd(detail + base + 1);
    const __m128d d2 = _mm_loadu_pd(detail + base + 2), d3 = _mm_loadu_pd(detail + base + 3);
    __m128d even = _mm_setzero_pd();
    even = _mm_add_pd(even, _mm_add_pd(_mm_mul_pd(a0, l6), _mm_mul_pd(d0, h6)));
    even = _mm_add_pd(even, _mm_add_pd(_mm_mul_pd(a1, l4), _mm_mul_pd(d1, h4)));
    even = _mm_add_pd(even, _mm_add_pd(_mm_mul_pd(a2, l2), _mm_mul_pd(d2, h2)));
    even = _mm_add_pd(even, _mm_add_pd(_mm_mul_pd(a3, l0), _mm_mul_pd(d3, h0)));
    __m128d odd = _mm_setzero_pd();
    odd = _mm_add_pd(odd, _mm_add_pd(_mm_mul_pd(a0, l7), _mm_mul_pd(d0, h7)));
    odd = _mm_add_pd(odd, _mm_add_pd(_mm_mul_pd(a1, l5), _mm_mul_pd(d1, h5)));
    odd = _mm_add_pd(odd, _mm_add_pd(_mm_mul_pd(a2, l3), _mm_mul_pd(d2, h3)));
    odd = _mm_add_pd(odd, _mm_add_pd(_mm_mul_pd(a3, l1), _mm_mul_pd(d3, h1)));
    // Entries 2(k-2), 2(k-2)+1, 2(k-1), 2(k-1)+1.
    _mm_storeu_pd(x + 2 * (k - 1), _mm_unpackhi_pd(even, odd));
    _mm_storeu_pd(x + 2 * (k - 2), _mm_unpacklo_pd(even, odd));
  }
#endif
  for (; k > from; --k) {
    const std::size_t pair = k - 1;
    double even = 0;
    double odd = 0;
    synthesiseOne(x + pair - 3, detail + pair - 3, even, odd);
    x[2 * pair] = even;
    x[2 * pair + 1] = odd;
  }
}

}  // namespace

namespace symmlet8 {

bool wideVectorsInUse() {
#if defined(TORVA_WIDE_KERNELS)
  return wideVectorsWanted && wideVectorsAvailable();
#else
  return false;
#endif
}

bool useWideVectors(bool wanted) {
#if defined(TORVA_WIDE_KERNELS)
  const bool previous = wideVectorsWanted;
  wideVectorsWanted = wanted;
  return previous;
#else
  (void)wanted;
  return false;
#endif
}

void fillRunEdges(double* x, std::size_t begin, std::size_t end, double value) {
  if (end - begin <= 2 * kRunEdge) {
    std::fill(x + begin, x + end, value);
    return;
  }
  std::fill(x + begin, x + begin + kRunEdge, value);
  std::fill(x + end - kRunEdge, x + end, value);
}

void analyseLevel(double* x, std::size_t len, double* detail, const std::vector<ConstantRun>& inputRuns,
                  std::vector<ConstantRun>& outputRuns) {
  const std::size_t half = len / 2;
  // The last three outputs wrap around to x[0 ..]; they are computed first,
  // while those samples are still in place.
  double a[3];
  double d[3];
  for (std::size_t j = 0; j < 3; ++j) {
    const std::size_t i = half - 3 + j;
    double s[8];
    for (std::size_t m = 0; m < 8; ++m) s[m] = x[(2 * i + m) % len];
    analyseOne(s, a[j], d[j]);
  }

  // Outputs whose eight inputs all lie in one constant stretch are equal.
  outputRuns.clear();
  for (const ConstantRun& run : inputRuns) {
    if (run.end > len || run.end < 8) continue;
    const std::size_t first = (run.begin + 1) / 2;  // 2i >= begin
    const std::size_t last = (run.end - 8) / 2 + 1;  // 2i + 7 <= end - 1
    if (last >= first + 2) outputRuns.push_back({first, last});
  }
  std::size_t from = 0;
  for (const ConstantRun& run : outputRuns) {
    analyseRange(x, detail, from, run.begin + 1);
    // The next level reads only the edges of this run.
    fillRunEdges(x, run.begin + 1, run.end, x[run.begin]);
    std::fill(detail + run.begin + 1, detail + run.end, detail[run.begin]);
    from = run.end;
  }
  analyseRange(x, detail, from, half - 3);
  for (std::size_t j = 0; j < 3; ++j) {
    x[half - 3 + j] = a[j];
    detail[half - 3 + j] = d[j];
  }
}

void synthesiseLevel(double* x, const double* detail, std::size_t half, std::size_t first, std::size_t last) {
  last = std::min(last, half);
  if (first >= last) return;
  // Pairs 0..2 also receive the wrapped taps of the last three i, which come
  // after the unwrapped ones because their i is larger. Their inputs are read
  // before the pairs above them overwrite x.
  double low[6];
  const std::size_t h = half;
  if (first < 3) {
    const double a[6] = {x[h - 3], x[h - 2], x[h - 1], x[0], x[1], x[2]};
    const double d[6] = {detail[h - 3], detail[h - 2], detail[h - 1], detail[0], detail[1], detail[2]};
    // Pair 0: i = 0 (taps 0, 1), then h-3 (6, 7), h-2 (4, 5), h-1 (2, 3).
    double s = 0.0;
    s += a[3] * L0 + d[3] * H0;
    s += a[0] * L6 + d[0] * H6;
    s += a[1] * L4 + d[1] * H4;
    s += a[2] * L2 + d[2] * H2;
    low[0] = s;
    s = 0.0;
    s += a[3] * L1 + d[3] * H1;
    s += a[0] * L7 + d[0] * H7;
    s += a[1] * L5 + d[1] * H5;
    s += a[2] * L3 + d[2] * H3;
    low[1] = s;
    // Pair 1: i = 0 (taps 2, 3), 1 (0, 1), then h-2 (6, 7), h-1 (4, 5).
    s = 0.0;
    s += a[3] * L2 + d[3] * H2;
    s += a[4] * L0 + d[4] * H0;
    s += a[1] * L6 + d[1] * H6;
    s += a[2] * L4 + d[2] * H4;
    low[2] = s;
    s = 0.0;
    s += a[3] * L3 + d[3] * H3;
    s += a[4] * L1 + d[4] * H1;
    s += a[1] * L7 + d[1] * H7;
    s += a[2] * L5 + d[2] * H5;
    low[3] = s;
    // Pair 2: i = 0 (taps 4, 5), 1 (2, 3), 2 (0, 1), then h-1 (6, 7).
    s = 0.0;
    s += a[3] * L4 + d[3] * H4;
    s += a[4] * L2 + d[4] * H2;
    s += a[5] * L0 + d[5] * H0;
    s += a[2] * L6 + d[2] * H6;
    low[4] = s;
    s = 0.0;
    s += a[3] * L5 + d[3] * H5;
    s += a[4] * L3 + d[4] * H3;
    s += a[5] * L1 + d[5] * H1;
    s += a[2] * L7 + d[2] * H7;
    low[5] = s;
  }
  synthesiseRange(x, detail, std::max<std::size_t>(first, 3), last);
  for (std::size_t k = first; k < std::min<std::size_t>(last, 3); ++k) {
    x[2 * k] = low[2 * k];
    x[2 * k + 1] = low[2 * k + 1];
  }
}

void forward(double* x, double* coefficients, std::size_t n, WaveletWorkspace& ws,
             const std::vector<ConstantRun>& inputRuns) {
  ws.detailRuns.clear();
  ws.levelRuns.assign(inputRuns.begin(), inputRuns.end());
  std::size_t len = n;
  for (; len > 8; len /= 2) {
    // The details of this level are final; its approximations are the next
    // level's input.
    analyseLevel(x, len, coefficients + len / 2, ws.levelRuns, ws.nextRuns);
    for (const ConstantRun& run : ws.nextRuns) ws.detailRuns.push_back({len / 2 + run.begin, len / 2 + run.end});
    ws.levelRuns.swap(ws.nextRuns);
  }
  std::copy(x, x + std::min(len, n), coefficients);
}

void inverse(double* coefficients, double* x, std::size_t n, std::size_t keepBegin, std::size_t keepEnd,
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
    std::size_t low, high;    // approximations and details read
  };
  Span spans[64];
  int levels = 0;
  std::size_t low = low0;
  std::size_t high = high0;
  for (std::size_t half = n / 2; half >= 8; half /= 2) {
    Span& span = spans[levels++];
    span.first = low / 2;
    span.last = std::min(half, (high + 1) / 2);
    span.low = span.first >= 3 ? span.first - 3 : 0;
    span.high = span.first >= 3 ? span.last : half;
    low = span.low;
    high = span.high;
  }
  // The coarsest approximations (or, without any level, the kept entries).
  if (threshold != nullptr) shrink(coefficients, low, high, *threshold);
  std::copy(coefficients + low, coefficients + high, x + low);
  // Then from the coarsest level up, shrinking each level's details just
  // before their one use.
  std::size_t half = 8;
  for (int level = levels - 1; level >= 0; --level, half *= 2) {
    const Span& span = spans[level];
    if (threshold != nullptr) shrink(coefficients + half, span.low, span.high, *threshold);
    synthesiseLevel(x, coefficients + half, half, span.first, span.last);
  }
}

}  // namespace symmlet8
