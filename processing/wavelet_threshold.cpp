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
  ensureSize(ws.magnitudes, counted);
  double* magnitudes = ws.magnitudes.data();
  std::size_t listed = 0;
  std::size_t repeated = 0;
  std::size_t topBin = 0;
  std::size_t lowBin = kBins - 1;
  const auto visit = [&](std::size_t from, std::size_t to) {
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
  ensureSize(ws.candidates, histogram[bin] + 1);  // every magnitude is written once before it is counted
  clearHistogram();
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

}  // namespace symmlet8
