// Soft thresholding of wavelet coefficients: the threshold from the rank
// statistics of the magnitudes, and the shrinking of the coefficients.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "processing/symmlet8.h"
#include "processing/symmlet8_kernels.h"
#include "processing/vector_kernels.h"

namespace {

// Magnitudes are non-negative, so their bit patterns order like their values;
// the top 12 bits (exponent and first mantissa bit) name a histogram bin.
const std::size_t kBins = symmlet8::kHistogramBins;
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
  // Its tables are counted apart (see LaneKernels::visit) and summed per bin.
  if (ws.histogram.size() != kBins * kHistogramTables) ws.histogram.assign(kBins * kHistogramTables, 0);
  std::size_t* histogram = ws.histogram.data();
  // The widest kernels may have vector forms of the visit and the collection.
  const LaneKernels* widest = laneKernels().widest();
  std::size_t listed = 0;  // positive magnitudes outside the constant stretches
  std::size_t repeated = 0;
  std::size_t topBin = 0;
  std::size_t lowBin = kBins - 1;
  const auto visit = [&](std::size_t from, std::size_t to) {
    if (widest != nullptr && widest->visit != nullptr) {
      MagnitudeVisit part;
      from = widest->visit(values, from, to, histogram, part);
      listed += part.positive;
      if (part.anyPositive) {
        topBin = std::max(topBin, binOf(part.largest));
        lowBin = std::min(lowBin, binOf(part.smallest));
      }
    }
    for (std::size_t i = from; i < to; ++i) {
      const double magnitude = std::fabs(values[i]);
      const bool positive = magnitude > 0;
      const std::size_t bin = binOf(magnitude);
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
    if (lowBin > topBin) return;
    for (std::size_t table = 0; table < kHistogramTables; ++table)
      std::fill(histogram + table * kBins + lowBin, histogram + table * kBins + topBin + 1, 0);
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
  const auto count = [&](std::size_t bin) {
    std::size_t sum = 0;
    for (std::size_t table = 0; table < kHistogramTables; ++table) sum += histogram[table * kBins + bin];
    return sum;
  };
  std::size_t above = 0;
  std::size_t bin = topBin;
  while (above + count(bin) <= k) above += count(bin--);
  // The wide collection writes whole vectors, four at most.
  ensureSize(ws.candidates, count(bin) + 4);
  clearHistogram();
  double* candidates = ws.candidates.data();
  std::size_t found = 0;
  // The magnitudes in that bin, from the entries visited above.
  const auto collect = [&](std::size_t from, std::size_t to) {
    if (widest != nullptr && widest->collect != nullptr)
      from = widest->collect(values, from, to, bin, candidates, found);
    for (std::size_t i = from; i < to; ++i) {
      const double magnitude = std::fabs(values[i]);
      candidates[found] = magnitude;
      found += magnitude > 0 && binOf(magnitude) == bin;
    }
  };
  position = 0;
  for (const ConstantRun& run : ws.sortedRuns) {
    collect(position, run.begin);
    position = std::max(position, run.end);
  }
  collect(position, counted);
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
  // The vector forms match this loop bit for bit with a finite T; an infinite
  // T (which would form NaNs in kept lanes) takes this loop throughout.
  if (std::isfinite(T)) {
    for (const LaneKernels* kernels : laneKernels()) j = kernels->shrink(values, j, to, T);
  }
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
