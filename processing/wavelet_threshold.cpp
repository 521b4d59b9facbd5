// Soft thresholding of wavelet coefficients: the threshold from the rank
// statistics of the magnitudes, and the shrinking of the coefficients.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "processing/symmlet8.h"
#include "processing/symmlet8_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TORVA_WIDE_STATISTICS 1
#endif

namespace {

// Magnitudes are non-negative, so their bit patterns order like their values;
// the top 12 bits (exponent and first mantissa bit) name a histogram bin.
const std::size_t kBins = 4096;
inline std::size_t binOf(double magnitude) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  return static_cast<std::size_t>(bits >> 51);
}

void ensureSize(std::vector<double>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize(size);
}

#if defined(TORVA_WIDE_STATISTICS)
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

// What the magnitudes of a stretch of values add to the statistics, four at
// a time: the positive magnitudes appended in order to `magnitudes` (which
// has room for four more), each counted in its bin, and the largest and
// smallest positive magnitude. Values from `from` while four fit below `to`;
// returns the first value not visited.
struct WideVisit {
  std::size_t listed = 0;
  bool anyPositive = false;
  double largest = 0;
  double smallest = 0;
};
__attribute__((target("avx2"))) std::size_t visitWide(const double* values, std::size_t from, std::size_t to,
                                                      double* magnitudes, std::size_t* histogram, WideVisit& out) {
  const PackTable& table = packTable();
  const __m256d magnitudeMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
  const __m256d zero = _mm256_setzero_pd();
  const __m256d infinity = _mm256_set1_pd(HUGE_VAL);
  __m256d largest = zero;
  __m256d smallest = infinity;
  int anyPositive = 0;
  std::size_t zeros = 0;
  std::size_t listed = out.listed;
  alignas(32) std::uint64_t bins[4];
  std::size_t i = from;
  for (; i + 4 <= to; i += 4) {
    const __m256d magnitude = _mm256_and_pd(_mm256_loadu_pd(values + i), magnitudeMask);
    const __m256d positive = _mm256_cmp_pd(magnitude, zero, _CMP_GT_OQ);  // false for 0 and NaN
    const int mask = _mm256_movemask_pd(positive);
    const __m256i bits = _mm256_castpd_si256(magnitude);
    const __m256i pack = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.index[mask]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(magnitudes + listed), _mm256_permutevar8x32_epi32(bits, pack));
    listed += table.count[mask];
    const __m256i bin = _mm256_srli_epi64(bits, 51);
    _mm256_store_si256(reinterpret_cast<__m256i*>(bins), bin);
    // Every lane is counted; those that are not positive are taken back: a
    // zero (bin 0) in one sum at the end, a NaN (a high bin, rare) at once.
    ++histogram[bins[0]];
    ++histogram[bins[1]];
    ++histogram[bins[2]];
    ++histogram[bins[3]];
    const int binZero = _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpeq_epi64(bin, _mm256_setzero_si256())));
    const int notPositive = ~mask & 0xF;
    zeros += table.count[notPositive & binZero];
    if ((notPositive & ~binZero) != 0) {
      for (int lane = 0; lane < 4; ++lane) {
        if (((notPositive & ~binZero) >> lane) & 1) --histogram[bins[lane]];
      }
    }
    largest = _mm256_max_pd(largest, _mm256_and_pd(positive, magnitude));
    smallest = _mm256_min_pd(smallest, _mm256_blendv_pd(infinity, magnitude, positive));
    anyPositive |= mask;
  }
  histogram[0] -= zeros;
  alignas(32) double high[4];
  alignas(32) double low[4];
  _mm256_store_pd(high, largest);
  _mm256_store_pd(low, smallest);
  out.listed = listed;
  out.anyPositive = anyPositive != 0;
  out.largest = std::max(std::max(high[0], high[1]), std::max(high[2], high[3]));
  out.smallest = std::min(std::min(low[0], low[1]), std::min(low[2], low[3]));
  return i;
}

// Appends to candidates[found ..] (room for four more) the magnitudes of
// magnitudes[0 .. listed-1] that lie in `wanted`'s bin, in order, four at a
// time; returns the first magnitude not looked at.
__attribute__((target("avx2"))) std::size_t collectWide(const double* magnitudes, std::size_t listed,
                                                        std::size_t wanted, double* candidates, std::size_t& found) {
  const PackTable& table = packTable();
  const __m256i wantedBin = _mm256_set1_epi64x(static_cast<long long>(wanted));
  std::size_t i = 0;
  for (; i + 4 <= listed; i += 4) {
    const __m256i bits = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(magnitudes + i));
    const __m256i inBin = _mm256_cmpeq_epi64(_mm256_srli_epi64(bits, 51), wantedBin);
    const int mask = _mm256_movemask_pd(_mm256_castsi256_pd(inBin));
    const __m256i pack = _mm256_load_si256(reinterpret_cast<const __m256i*>(table.index[mask]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(candidates + found), _mm256_permutevar8x32_epi32(bits, pack));
    found += table.count[mask];
  }
  return i;
}

// Soft thresholding of values[from ..] four at a time while four fit below
// `to`, with the lane operations of the two-lane form below (finite T only);
// returns the first entry not done.
__attribute__((target("avx2"))) std::size_t shrinkWide(double* values, std::size_t from, std::size_t to, double T) {
  const __m256d magnitudeMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
  const __m256d signMask = _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ULL)));
  const __m256d threshold = _mm256_set1_pd(T);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d zero = _mm256_setzero_pd();
  std::size_t j = from;
  for (; j + 4 <= to; j += 4) {
    const __m256d value = _mm256_loadu_pd(values + j);
    const __m256d g = _mm256_sub_pd(_mm256_and_pd(value, magnitudeMask), threshold);
    const __m256d shrunk = _mm256_add_pd(_mm256_and_pd(g, magnitudeMask), g);
    const __m256d positive = _mm256_mul_pd(shrunk, half);
    const __m256d negative = _mm256_mul_pd(_mm256_xor_pd(shrunk, signMask), half);
    const __m256d isPositive = _mm256_cmp_pd(value, zero, _CMP_GT_OQ);
    const __m256d isNegative = _mm256_cmp_pd(value, zero, _CMP_LT_OQ);
    const __m256d kept = _mm256_andnot_pd(_mm256_or_pd(isPositive, isNegative), value);
    const __m256d result = _mm256_or_pd(
        _mm256_or_pd(_mm256_and_pd(isPositive, positive), _mm256_and_pd(isNegative, negative)), kept);
    _mm256_storeu_pd(values + j, result);
  }
  return j;
}
#endif

}  // namespace

namespace symmlet8 {

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
  // The histogram is all zeros between calls; only the bins used are cleared again.
  if (ws.histogram.size() != kBins) ws.histogram.assign(kBins, 0);
  std::size_t* histogram = ws.histogram.data();
  ensureSize(ws.magnitudes, counted + 4);  // the wide visit stores four at a time
  double* magnitudes = ws.magnitudes.data();
  const bool wide = wideVectorsInUse();
  std::size_t listed = 0;
  std::size_t repeated = 0;
  std::size_t topBin = 0;
  std::size_t lowBin = kBins - 1;
  const auto visit = [&](std::size_t from, std::size_t to) {
#if defined(TORVA_WIDE_STATISTICS)
    if (wide) {
      WideVisit part;
      part.listed = listed;
      from = visitWide(values, from, to, magnitudes, histogram, part);
      listed = part.listed;
      if (part.anyPositive) {
        topBin = std::max(topBin, binOf(part.largest));
        lowBin = std::min(lowBin, binOf(part.smallest));
      }
    }
#endif
    for (std::size_t i = from; i < to; ++i) {
      const double magnitude = std::fabs(values[i]);
      const bool positive = magnitude > 0;
      const std::size_t bin = binOf(magnitude);
      magnitudes[listed] = magnitude;
      listed += positive;
      histogram[bin] += positive;
      topBin = positive && bin > topBin ? bin : topBin;
      lowBin = positive && bin < lowBin ? bin : lowBin;
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
        lowBin = std::min(lowBin, binOf(magnitude));
        repeated += end - begin;
      }
    }
    position = std::max(position, end);
  }
  visit(position, counted);

  const auto clearHistogram = [&]() {
    if (lowBin <= topBin) std::fill(histogram + lowBin, histogram + topBin + 1, 0);
  };
  const std::size_t m = listed + repeated;
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (m < 2 || !(rank >= 0) || rank >= static_cast<double>(m)) {
    clearHistogram();
    return false;
  }

  // The magnitude at rank k from the top lies in the bin where the counts from
  // the top first exceed k; only that bin's magnitudes need ordering.
  const std::size_t k = static_cast<std::size_t>(rank);
  std::size_t above = 0;
  std::size_t bin = topBin;
  while (above + histogram[bin] <= k) above += histogram[bin--];
  // Every magnitude is written once before it is counted; the wide
  // collection writes four at a time.
  ensureSize(ws.candidates, histogram[bin] + 4);
  clearHistogram();
  double* candidates = ws.candidates.data();
  std::size_t found = 0;
  std::size_t collected = 0;
#if defined(TORVA_WIDE_STATISTICS)
  if (wide) collected = collectWide(magnitudes, listed, bin, candidates, found);
#endif
  for (std::size_t i = collected; i < listed; ++i) {
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
#if defined(TORVA_WIDE_STATISTICS)
    if (wideVectorsInUse()) j = shrinkWide(values, j, to, T);
#endif
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

}  // namespace symmlet8
