// The vector kernels of the wavelet denoising, written once for a vector of
// kWidth doubles. This source is built once per instruction set: as it is
// (SSE2, two lanes), with -mavx2 (four lanes) and with -mavx512f (eight lanes);
// the instruction set it is built for sets the width and names the one table
// it defines. Everything else here has internal linkage and nothing included
// defines code, so no function built for wider vectors can stand in for one of
// a narrower build.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "processing/wavelet/symmlet8_filter.h"
#include "processing/wavelet/vector_kernels.h"

#if defined(__AVX512F__) || defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#else
#error "the vector kernels are built for x86-64 only"
#endif

namespace {

// The small helpers below are always inlined, so that each kernel keeps its
// vectors in registers.
#if defined(__AVX512F__)
constexpr std::size_t kWidth = 8;
#elif defined(__AVX2__)
constexpr std::size_t kWidth = 4;
#else
constexpr std::size_t kWidth = 2;
#endif
typedef double Vector __attribute__((vector_size(kWidth * sizeof(double))));
typedef std::int64_t Bits __attribute__((vector_size(kWidth * sizeof(double))));
using LaneIndices = std::make_index_sequence<kWidth>;

[[gnu::always_inline]] inline Vector load(const double* p) {
  Vector v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
[[gnu::always_inline]] inline void store(double* p, Vector v) { std::memcpy(p, &v, sizeof v); }
[[gnu::always_inline]] inline Bits bitsOf(Vector v) { return (Bits)v; }
[[gnu::always_inline]] inline Vector fromBits(Bits b) { return (Vector)b; }
// True when every lane of a comparison's result is set. (The eight-lane
// build tests masks directly and may not use it.)
[[gnu::always_inline, maybe_unused]] inline bool allLanes(Bits b) {
#if defined(__AVX512F__)
  return _mm512_cmplt_epi64_mask((__m512i)b, _mm512_setzero_si512()) == 0xFF;
#elif defined(__AVX2__)
  return _mm256_movemask_pd((__m256d)b) == 0xF;
#else
  return _mm_movemask_pd((__m128d)b) == 0x3;
#endif
}

// True when no bit of b is set. (With eight lanes the test goes straight to a
// mask; a comparison's result as a vector would cost two steps more.)
[[gnu::always_inline]] inline bool noBitSet(Bits b) {
#if defined(__AVX512F__)
  return _mm512_test_epi64_mask((__m512i)b, (__m512i)b) == 0;
#else
  return allLanes(b == Bits{});
#endif
}

// True when every lane of a is below that of b (false with a NaN).
[[gnu::always_inline]] inline bool allBelow(Vector a, Vector b) {
#if defined(__AVX512F__)
  return _mm512_cmp_pd_mask((__m512d)a, (__m512d)b, _CMP_LT_OQ) == 0xFF;
#else
  return allLanes(a < b);
#endif
}

// The sign bits of a comparison's result, lane 0 lowest. (The eight-lane
// build compares into masks directly and may not use it.)
[[gnu::always_inline, maybe_unused]] inline int laneMask(Bits b) {
#if defined(__AVX512F__)
  return _mm512_cmplt_epi64_mask((__m512i)b, _mm512_setzero_si512());
#elif defined(__AVX2__)
  return _mm256_movemask_pd((__m256d)b);
#else
  return _mm_movemask_pd((__m128d)b);
#endif
}

// The lane of two vectors (a, b), numbered a[0] .. a[kWidth-1] b[0] ..,
// that an unpack of their even entries within each 128-bit half puts at
// `lane`: a[0] b[0] a[2] b[2] ... The odd entries follow one lane later.
constexpr std::size_t unpackSource(std::size_t lane) { return (lane % 2) * kWidth + (lane / 2) * 2; }

// The analysis keeps its outputs in "spread" lane order, in which each
// 128-bit half holds outputs kWidth/2 apart: lane l holds output
// unpackSource(l) / 2 (i, i+2, i+1, i+3 with four lanes). Then every sample
// vector is one unpack of two loads, and one permutation per result restores
// the order.
constexpr std::size_t spreadLane(std::size_t output) {
  return output < kWidth / 2 ? 2 * output : 2 * (output - kWidth / 2) + 1;
}

// Samples s[2j] and s[2j+1] of output j, in spread order.
template <std::size_t... L>
[[gnu::always_inline]] inline void loadSamplePair(const double* s, Vector& even, Vector& odd,
                                                  std::index_sequence<L...>) {
  const Vector low = load(s);
  const Vector high = load(s + kWidth);
  even = __builtin_shufflevector(low, high, unpackSource(L)...);
  odd = __builtin_shufflevector(low, high, unpackSource(L) + 1 ...);
}

// Stores outputs held in spread order at p[0 .. kWidth-1], in order.
template <std::size_t... L>
[[gnu::always_inline]] inline void storeInOrder(double* p, Vector v, std::index_sequence<L...>) {
  store(p, __builtin_shufflevector(v, v, spreadLane(L)...));
}

// Stores even[j] at p[2j] and odd[j] at p[2j+1], j = 0 .. kWidth-1: the
// pairs (even[j], odd[j]) by one unpack, then their 128-bit halves in order.
template <std::size_t... L>
[[gnu::always_inline]] inline void storeInterleaved(double* p, Vector even, Vector odd,
                                                    std::index_sequence<L...>) {
  const Vector low = __builtin_shufflevector(even, odd, unpackSource(L)...);        // pairs 0, 2, ...
  const Vector high = __builtin_shufflevector(even, odd, unpackSource(L) + 1 ...);  // pairs 1, 3, ...
  store(p, __builtin_shufflevector(low, high, unpackSource(L / 2) + L % 2 ...));
  store(p + kWidth, __builtin_shufflevector(low, high, unpackSource((kWidth + L) / 2) + L % 2 ...));
}

// taps[0] * sample[0] + ... + taps[7] * sample[7], added left to right.
[[gnu::always_inline]] inline Vector filter(const double* taps, const Vector* sample) {
  Vector sum = taps[0] * sample[0];
  sum += taps[1] * sample[1];
  sum += taps[2] * sample[2];
  sum += taps[3] * sample[3];
  sum += taps[4] * sample[4];
  sum += taps[5] * sample[5];
  sum += taps[6] * sample[6];
  sum += taps[7] * sample[7];
  return sum;
}

std::size_t analyseLanes(double* x, double* detail, std::size_t from, std::size_t to) {
  std::size_t i = from;
  for (; i + kWidth <= to; i += kWidth) {
    const double* s = x + 2 * i;
    Vector sample[8];  // sample m of each output: x[2i + m], ...
    loadSamplePair(s, sample[0], sample[1], LaneIndices());
    loadSamplePair(s + 2, sample[2], sample[3], LaneIndices());
    loadSamplePair(s + 4, sample[4], sample[5], LaneIndices());
    loadSamplePair(s + 6, sample[6], sample[7], LaneIndices());
    // All samples are loaded by now, and x[i ..] lies below every sample a
    // later output reads.
    storeInOrder(x + i, filter(symmlet8::kLow, sample), LaneIndices());
    storeInOrder(detail + i, filter(symmlet8::kHigh, sample), LaneIndices());
  }
  return i;
}

// The contributions a[t] * L[top - 2t] + d[t] * H[top - 2t], t = 0 .. 3,
// added to 0.0 in that order.
[[gnu::always_inline]] inline Vector synthesisSum(const Vector* a, const Vector* d, std::size_t top) {
  using symmlet8::kHigh;
  using symmlet8::kLow;
  Vector sum = Vector{};
  sum += a[0] * kLow[top] + d[0] * kHigh[top];
  sum += a[1] * kLow[top - 2] + d[1] * kHigh[top - 2];
  sum += a[2] * kLow[top - 4] + d[2] * kHigh[top - 4];
  sum += a[3] * kLow[top - 6] + d[3] * kHigh[top - 6];
  return sum;
}

// The same sum where every d[t] is 0 or -0: the contributions a[t] *
// L[top - 2t] alone. Each d[t] * H is then a zero, and a[t] * L + (a zero) is
// a[t] * L except that a zero product may change its sign; a running sum that
// starts at +0 is never -0, and adding +0 or -0 to it gives the same result,
// so the sum is the same bit for bit.
[[gnu::always_inline]] inline Vector approximationSum(const Vector* a, std::size_t top) {
  using symmlet8::kLow;
  Vector sum = Vector{};
  sum += a[0] * kLow[top];
  sum += a[1] * kLow[top - 2];
  sum += a[2] * kLow[top - 4];
  sum += a[3] * kLow[top - 6];
  return sum;
}

std::size_t synthesiseLanes(double* x, const double* detail, std::size_t from, std::size_t last) {
  const std::int64_t magnitudeBits = 0x7fffffffffffffffLL;
  std::size_t k = last;
  // Pairs k - kWidth .. k-1 side by side; lane j reads a and d at base + j .. base + j + 3.
  for (; k >= from + kWidth; k -= kWidth) {
    const std::size_t base = k - kWidth - 3;
    const Vector a[4] = {load(x + base), load(x + base + 1), load(x + base + 2), load(x + base + 3)};
    // Thresholding leaves most details of smooth stretches at zero. The
    // details read, detail[base .. base + kWidth + 2], checked in whole vectors.
    Bits details = bitsOf(load(detail + base)) | bitsOf(load(detail + base + 3));
    if (kWidth < 4) details |= bitsOf(load(detail + base + 2));
    if (noBitSet(details & magnitudeBits)) {
      storeInterleaved(x + 2 * (k - kWidth), approximationSum(a, 6), approximationSum(a, 7), LaneIndices());
    } else {
      const Vector d[4] = {load(detail + base), load(detail + base + 1), load(detail + base + 2),
                           load(detail + base + 3)};
      storeInterleaved(x + 2 * (k - kWidth), synthesisSum(a, d, 6), synthesisSum(a, d, 7), LaneIndices());
    }
  }
  return k;
}

// The scalar soft thresholding lane by lane: |g| + g, then times 0.5 for a
// positive entry, or its negation times 0.5 for a negative one; other entries
// (zeros, NaN) are kept. With a finite T no NaN is formed in a lane that is
// kept, so the lanes match the scalar form bit for bit.
[[gnu::always_inline]] inline Vector shrinkLiterally(Vector value, double T) {
  const std::int64_t magnitudeBits = 0x7fffffffffffffffLL;
  const std::int64_t signBit = static_cast<std::int64_t>(0x8000000000000000ULL);
  const Vector g = fromBits(bitsOf(value) & magnitudeBits) - T;
  const Vector shrunk = fromBits(bitsOf(g) & magnitudeBits) + g;
  const Vector positive = shrunk * 0.5;
  const Vector negative = fromBits(bitsOf(shrunk) ^ signBit) * 0.5;
  const Bits isPositive = value > Vector{};
  const Bits isNegative = value < Vector{};
  const Bits kept = ~(isPositive | isNegative) & bitsOf(value);
  return fromBits((isPositive & bitsOf(positive)) | (isNegative & bitsOf(negative)) | kept);
}

// The same in fewer steps, for T >= 0 and |value| < 2^1023. With g = |value| - T:
// for g > 0, |g| + g = 2g exactly (no overflow below 2^1023) and 2g * 0.5 = g;
// for g <= 0 (g is never -0), |g| + g = +0. The negation (-1.0 *) gives the
// sign of the value, and a zero value (g = -T <= 0) keeps its own zero. So
// each entry becomes max(g, +0) with the sign of the value.
std::size_t shrinkLanes(double* values, std::size_t from, std::size_t to, double T) {
  const std::int64_t magnitudeBits = 0x7fffffffffffffffLL;
  const std::int64_t signBit = static_cast<std::int64_t>(0x8000000000000000ULL);
  const Vector limit = Vector{} + 0x1p1023;
  const bool nonNegative = T >= 0;
  std::size_t j = from;
  for (; j + kWidth <= to; j += kWidth) {
    const Vector value = load(values + j);
    const Vector magnitude = fromBits(bitsOf(value) & magnitudeBits);
    if (!nonNegative || !allBelow(magnitude, limit)) {  // a NaN is not below the limit
      store(values + j, shrinkLiterally(value, T));
      continue;
    }
    const Vector g = magnitude - T;
    const Vector kept = fromBits(bitsOf(g) & (g > Vector{}));  // +0 where g <= 0
    store(values + j, fromBits(bitsOf(kept) | (bitsOf(value) & signBit)));
  }
  return j;
}

#if defined(__AVX512F__)
// The number of lanes that each mask of eight lanes names.
struct LaneCounts {
  unsigned char count[256];
  constexpr LaneCounts() : count() {
    for (int mask = 1; mask < 256; ++mask)
      count[mask] = static_cast<unsigned char>(count[mask / 2] + mask % 2);
  }
};
constexpr LaneCounts kLaneCounts;

// As the four-lane visit below, with masks for the comparisons; lanes l and
// l + 4 count in table l.
std::size_t visitMagnitudes(const double* values, std::size_t from, std::size_t to, std::size_t* histogram,
                            symmlet8::MagnitudeVisit& out) {
  constexpr std::size_t kBins = symmlet8::kHistogramBins;
  const __m512i magnitudeBits = _mm512_set1_epi64(0x7fffffffffffffffLL);
  const __m512i one = _mm512_set1_epi64(1);
  const __m512d zero = _mm512_setzero_pd();
  __m512d largest = zero;
  __m512d smallest = _mm512_set1_pd(HUGE_VAL);
  __mmask8 anyPositive = 0;
  // Per lane, the positive magnitudes, and the zeros counted in bin 0 of that lane's table.
  __m512i positives = _mm512_setzero_si512();
  __m512i zeros = _mm512_setzero_si512();
  alignas(64) std::uint64_t bins[8];
  std::size_t i = from;
  for (; i + 8 <= to; i += 8) {
    const __m512i bits = _mm512_and_si512(_mm512_loadu_si512(values + i), magnitudeBits);
    const __m512d magnitude = _mm512_castsi512_pd(bits);
    const __mmask8 positive = _mm512_cmp_pd_mask(magnitude, zero, _CMP_GT_OQ);  // false for 0 and NaN
    positives = _mm512_mask_add_epi64(positives, positive, positives, one);
    const __m512i bin = (__m512i)((Bits)bits >> 51);  // the sign bit is clear
    _mm512_store_si512(bins, bin);
    ++histogram[bins[0]];
    ++histogram[kBins + bins[1]];
    ++histogram[2 * kBins + bins[2]];
    ++histogram[3 * kBins + bins[3]];
    ++histogram[bins[4]];
    ++histogram[kBins + bins[5]];
    ++histogram[2 * kBins + bins[6]];
    ++histogram[3 * kBins + bins[7]];
    const __mmask8 binZero = _mm512_testn_epi64_mask(bin, bin);
    zeros = _mm512_mask_add_epi64(zeros, static_cast<__mmask8>(binZero & ~positive), zeros, one);
    const unsigned otherLanes = ~(positive | binZero) & 0xFFu;
    if (otherLanes != 0) {
      for (std::size_t lane = 0; lane < 8; ++lane) {
        if ((otherLanes >> lane) & 1) --histogram[lane % 4 * kBins + bins[lane]];
      }
    }
    largest = _mm512_mask_max_pd(largest, positive, largest, magnitude);
    smallest = _mm512_mask_min_pd(smallest, positive, smallest, magnitude);
    anyPositive |= positive;
  }
  alignas(64) std::uint64_t zeroCounts[8];
  _mm512_store_si512(zeroCounts, zeros);
  for (std::size_t lane = 0; lane < 8; ++lane) histogram[lane % 4 * kBins] -= zeroCounts[lane];
  // The lanes reduced to one (no NaN among them).
  const Bits positiveCounts = (Bits)positives;
  const Vector largestLanes = (Vector)largest;
  const Vector smallestLanes = (Vector)smallest;
  out.anyPositive = anyPositive != 0;
  out.largest = largestLanes[0];
  out.smallest = smallestLanes[0];
  for (std::size_t lane = 0; lane < 8; ++lane) {
    out.positive += static_cast<std::size_t>(positiveCounts[lane]);
    out.largest = largestLanes[lane] > out.largest ? largestLanes[lane] : out.largest;
    out.smallest = smallestLanes[lane] < out.smallest ? smallestLanes[lane] : out.smallest;
  }
  return i;
}

std::size_t collectBin(const double* values, std::size_t from, std::size_t to, std::size_t wanted,
                       double* candidates, std::size_t& found) {
  const __m512i magnitudeBits = _mm512_set1_epi64(0x7fffffffffffffffLL);
  const __m512d zero = _mm512_setzero_pd();
  const __m512i wantedBin = _mm512_set1_epi64(static_cast<long long>(wanted));
  std::size_t i = from;
  for (; i + 8 <= to; i += 8) {
    const __m512i bits = _mm512_and_si512(_mm512_loadu_si512(values + i), magnitudeBits);
    const __m512d magnitude = _mm512_castsi512_pd(bits);
    // Zeros share bin 0 with the smallest magnitudes and a NaN may share the
    // top bin with infinity; neither is positive.
    const __mmask8 positive = _mm512_cmp_pd_mask(magnitude, zero, _CMP_GT_OQ);
    const __mmask8 inBin = _mm512_mask_cmpeq_epi64_mask(positive, (__m512i)((Bits)bits >> 51), wantedBin);
    _mm512_storeu_pd(candidates + found, _mm512_maskz_compress_pd(inBin, magnitude));
    found += kLaneCounts.count[inBin];
  }
  return i;
}

[[gnu::always_inline]] inline void appendLanes(double* p, std::size_t& found, Vector v, int chosen) {
  const __mmask8 mask = static_cast<__mmask8>(chosen);
  _mm512_storeu_pd(p + found, _mm512_maskz_compress_pd(mask, (__m512d)v));
  found += kLaneCounts.count[mask];
}
#elif defined(__AVX2__)
// For each mask of four lanes: the 32-bit source indices that move the
// 64-bit lanes named by the mask to the front, in order, and their number.
struct PackTable {
  alignas(32) std::int32_t index[16][8];
  std::size_t count[16];
};
const PackTable& packTable() {
  static const PackTable table = [] {
    PackTable t{};
    for (int mask = 0; mask < 16; ++mask) {
      int placed = 0;
      for (int lane = 0; lane < 4; ++lane) {
        if (((mask >> lane) & 1) == 0) continue;
        t.index[mask][2 * placed] = 2 * lane;
        t.index[mask][2 * placed + 1] = 2 * lane + 1;
        ++placed;
      }
      t.count[mask] = static_cast<std::size_t>(placed);
    }
    return t;
  }();
  return table;
}

std::size_t visitMagnitudes(const double* values, std::size_t from, std::size_t to, std::size_t* histogram,
                            symmlet8::MagnitudeVisit& out) {
  const PackTable& table = packTable();
  const __m256d magnitudeMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
  const __m256d zero = _mm256_setzero_pd();
  const __m256d infinity = _mm256_set1_pd(HUGE_VAL);
  __m256d largest = zero;
  __m256d smallest = infinity;
  int anyPositive = 0;
  // Per lane, the zeros counted in bin 0 of that lane's table.
  __m256i zeros = _mm256_setzero_si256();
  std::size_t positives = 0;
  alignas(32) std::uint64_t bins[4];
  std::size_t i = from;
  for (; i + 4 <= to; i += 4) {
    const __m256d magnitude = _mm256_and_pd(_mm256_loadu_pd(values + i), magnitudeMask);
    const __m256d positive = _mm256_cmp_pd(magnitude, zero, _CMP_GT_OQ);  // false for 0 and NaN
    const int mask = _mm256_movemask_pd(positive);
    positives += table.count[mask];
    const __m256i bin = _mm256_srli_epi64(_mm256_castpd_si256(magnitude), 51);
    _mm256_store_si256(reinterpret_cast<__m256i*>(bins), bin);
    // Every lane is counted, each in its own table, so that equal bins in
    // neighbouring lanes do not wait on each other; those that are not
    // positive are taken back: a zero (bin 0) in one sum per lane at the end,
    // a NaN (a high bin, rare) at once.
    ++histogram[bins[0]];
    ++histogram[symmlet8::kHistogramBins + bins[1]];
    ++histogram[2 * symmlet8::kHistogramBins + bins[2]];
    ++histogram[3 * symmlet8::kHistogramBins + bins[3]];
    const __m256i binZero = _mm256_cmpeq_epi64(bin, _mm256_setzero_si256());
    const __m256i zeroLanes = _mm256_andnot_si256(_mm256_castpd_si256(positive), binZero);
    zeros = _mm256_sub_epi64(zeros, zeroLanes);  // a lane's mask is -1 where it holds a zero
    const int notPositive = ~mask & 0xF;
    const int otherLanes = notPositive & ~_mm256_movemask_pd(_mm256_castsi256_pd(binZero));
    if (otherLanes != 0) {
      for (int lane = 0; lane < 4; ++lane) {
        if ((otherLanes >> lane) & 1)
          --histogram[static_cast<std::size_t>(lane) * symmlet8::kHistogramBins + bins[lane]];
      }
    }
    largest = _mm256_max_pd(largest, _mm256_and_pd(positive, magnitude));
    smallest = _mm256_min_pd(smallest, _mm256_blendv_pd(infinity, magnitude, positive));
    anyPositive |= mask;
  }
  alignas(32) std::uint64_t zeroCounts[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(zeroCounts), zeros);
  for (std::size_t lane = 0; lane < 4; ++lane) histogram[lane * symmlet8::kHistogramBins] -= zeroCounts[lane];
  // The four lanes reduced to one, by the same max and min.
  largest = _mm256_max_pd(largest, _mm256_permute4x64_pd(largest, _MM_SHUFFLE(1, 0, 3, 2)));
  largest = _mm256_max_pd(largest, _mm256_permute4x64_pd(largest, _MM_SHUFFLE(2, 3, 0, 1)));
  smallest = _mm256_min_pd(smallest, _mm256_permute4x64_pd(smallest, _MM_SHUFFLE(1, 0, 3, 2)));
  smallest = _mm256_min_pd(smallest, _mm256_permute4x64_pd(smallest, _MM_SHUFFLE(2, 3, 0, 1)));
  out.positive += positives;
  out.anyPositive = anyPositive != 0;
  out.largest = _mm256_cvtsd_f64(largest);
  out.smallest = _mm256_cvtsd_f64(smallest);
  return i;
}

std::size_t collectBin(const double* values, std::size_t from, std::size_t to, std::size_t wanted,
                       double* candidates, std::size_t& found) {
  const PackTable& table = packTable();
  const __m256d magnitudeMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
  const __m256d zero = _mm256_setzero_pd();
  const __m256i wantedBin = _mm256_set1_epi64x(static_cast<long long>(wanted));
  std::size_t i = from;
  for (; i + 4 <= to; i += 4) {
    const __m256d magnitude = _mm256_and_pd(_mm256_loadu_pd(values + i), magnitudeMask);
    const __m256i bits = _mm256_castpd_si256(magnitude);
    // Zeros share bin 0 with the smallest magnitudes and a NaN may share the
    // top bin with infinity; neither is positive.
    const __m256i inBin = _mm256_and_si256(_mm256_cmpeq_epi64(_mm256_srli_epi64(bits, 51), wantedBin),
                                           _mm256_castpd_si256(_mm256_cmp_pd(magnitude, zero, _CMP_GT_OQ)));
    const int mask = _mm256_movemask_pd(_mm256_castsi256_pd(inBin));
    const __m256i pack = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.index[mask]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(candidates + found),
                        _mm256_permutevar8x32_epi32(bits, pack));
    found += table.count[mask];
  }
  return i;
}

// Appends the lanes of v that `chosen` names (a mask as from laneMask) at
// p[found], in order; writes a whole vector.
[[gnu::always_inline]] inline void appendLanes(double* p, std::size_t& found, Vector v, int chosen) {
  const PackTable& table = packTable();
  const __m256i pack = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.index[chosen]));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + found),
                      _mm256_permutevar8x32_epi32(_mm256_castpd_si256((__m256d)v), pack));
  found += table.count[chosen];
}
#else
[[gnu::always_inline]] inline void appendLanes(double* p, std::size_t& found, Vector v, int chosen) {
  const Vector pair = chosen == 2 ? __builtin_shufflevector(v, v, 1, 1) : v;
  store(p + found, pair);
  found += static_cast<std::size_t>((chosen & 1) + (chosen >> 1));
}
#endif

// The comparisons are ordered: a NaN is neither positive, nor above, nor in the window.
#if defined(__AVX512F__)
// With eight lanes the comparisons give masks, which count and choose lanes
// directly; the lanes count in vectors of their own.
std::size_t visitWindow(const double* values, std::size_t from, std::size_t to, double low, double high,
                        double* candidates, std::size_t& found, symmlet8::WindowVisit& out) {
  const __m512i magnitudeBits = _mm512_set1_epi64(0x7fffffffffffffffLL);
  const __m512i one = _mm512_set1_epi64(1);
  const __m512d zero = _mm512_setzero_pd();
  const __m512d lowest = _mm512_set1_pd(low);
  const __m512d limit = _mm512_set1_pd(high);
  __m512i positives = _mm512_setzero_si512();
  __m512i above = _mm512_setzero_si512();
  std::size_t listed = found;
  std::size_t i = from;
  for (; i + 8 <= to; i += 8) {
    const __m512d magnitude =
        _mm512_castsi512_pd(_mm512_and_si512(_mm512_loadu_si512(values + i), magnitudeBits));
    const __mmask8 positive = _mm512_cmp_pd_mask(magnitude, zero, _CMP_GT_OQ);
    const __mmask8 atLimit = _mm512_cmp_pd_mask(magnitude, limit, _CMP_GE_OQ);
    positives = _mm512_mask_add_epi64(positives, positive, positives, one);
    above = _mm512_mask_add_epi64(above, atLimit, above, one);
    const __mmask8 inWindow =
        _mm512_mask_cmp_pd_mask(static_cast<__mmask8>(~atLimit), magnitude, lowest, _CMP_GE_OQ);
    // A narrow window holds few magnitudes: mostly nothing to append.
    if (inWindow != 0) appendLanes(candidates, listed, (Vector)magnitude, inWindow);
  }
  found = listed;
  const Bits positiveCounts = (Bits)positives;
  const Bits aboveCounts = (Bits)above;
  for (std::size_t lane = 0; lane < 8; ++lane) {
    out.positive += static_cast<std::size_t>(positiveCounts[lane]);
    out.above += static_cast<std::size_t>(aboveCounts[lane]);
  }
  return i;
}
#else
std::size_t visitWindow(const double* values, std::size_t from, std::size_t to, double low, double high,
                        double* candidates, std::size_t& found, symmlet8::WindowVisit& out) {
  const std::int64_t magnitudeBits = 0x7fffffffffffffffLL;
  const Vector lowest = Vector{} + low;
  const Vector limit = Vector{} + high;
  // Per lane, minus the number of positive magnitudes and of those above.
  Bits positives = Bits{};
  Bits above = Bits{};
  std::size_t i = from;
  for (; i + kWidth <= to; i += kWidth) {
    const Vector magnitude = fromBits(bitsOf(load(values + i)) & magnitudeBits);
    const Bits atLimit = magnitude >= limit;
    positives += magnitude > Vector{};
    above += atLimit;
    // A narrow window holds few magnitudes: mostly nothing to append.
    const int inWindow = laneMask((magnitude >= lowest) & ~atLimit);
    if (inWindow != 0) appendLanes(candidates, found, magnitude, inWindow);
  }
  for (std::size_t lane = 0; lane < kWidth; ++lane) {
    out.positive -= static_cast<std::size_t>(positives[lane]);
    out.above -= static_cast<std::size_t>(above[lane]);
  }
  return i;
}
#endif

}  // namespace

namespace symmlet8 {

#if defined(__AVX512F__)
const LaneKernels kAvx512Kernels = {analyseLanes,    synthesiseLanes, shrinkLanes,
                                    visitMagnitudes, collectBin,      visitWindow};
#elif defined(__AVX2__)
const LaneKernels kAvx2Kernels = {analyseLanes,    synthesiseLanes, shrinkLanes,
                                  visitMagnitudes, collectBin,      visitWindow};
#else
const LaneKernels kSse2Kernels = {analyseLanes, synthesiseLanes, shrinkLanes, nullptr, nullptr, visitWindow};
#endif

}  // namespace symmlet8
