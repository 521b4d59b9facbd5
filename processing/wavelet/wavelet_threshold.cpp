// Soft thresholding of wavelet coefficients: the threshold from the rank
// statistics of the magnitudes, and the shrinking of the coefficients.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "processing/wavelet/symmlet8.h"
#include "processing/wavelet/symmlet8_kernels.h"
#include "processing/wavelet/vector_kernels.h"

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
namespace {

// A constant stretch's magnitude and how often it counts.
using RunMagnitude = std::pair<double, std::size_t>;

// The magnitude of rank `within` (0 the largest) among candidates[0 ..
// found-1] together with the run magnitudes, each counted as often as it
// repeats. Magnitudes that compare equal are the same bits (none is a NaN or
// a zero), so any exact selection gives the same value.
double rankedMagnitude(double* candidates, std::size_t found, std::vector<RunMagnitude>& runMagnitudes,
                       std::size_t within) {
  std::sort(runMagnitudes.begin(), runMagnitudes.end(),
            [](const RunMagnitude& a, const RunMagnitude& b) { return a.first > b.first; });
  // Run entries larger than the listed magnitudes still in question.
  std::size_t runsBefore = 0;
  for (std::size_t j = 0; j < runMagnitudes.size();) {
    const double magnitude = runMagnitudes[j].first;
    std::size_t repeats = 0;
    for (; j < runMagnitudes.size() && runMagnitudes[j].first == magnitude; ++j)
      repeats += runMagnitudes[j].second;
    std::size_t greater = 0;
    for (std::size_t i = 0; i < found; ++i) greater += candidates[i] > magnitude;
    // A listed magnitude between this run magnitude and the larger ones.
    if (within < runsBefore + greater) break;
    // The run's entries come right after the larger magnitudes, before the
    // listed ones equal to them.
    if (within < runsBefore + greater + repeats) return magnitude;
    runsBefore += repeats;
  }
  const std::size_t listedRank = within - runsBefore;
  std::nth_element(candidates, candidates + listedRank, candidates + found, GreaterThanS());
  return candidates[listedRank];
}

// The rank of the threshold's magnitude, trunc(m * fraction) - 1 from the top
// among m positive magnitudes; false when there is none.
bool thresholdRank(std::size_t m, double fraction, std::size_t& k) {
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (m < 2 || !(rank >= 0) || rank >= static_cast<double>(m)) return false;
  k = static_cast<std::size_t>(rank);
  return true;
}

enum class Rank { kNone, kFound, kElsewhere };

// Both searches below visit the entries before `counted` outside the constant
// stretches (ws.sortedRuns, cut to those entries) and take each stretch's one
// magnitude as often as it repeats: visit(from, to) for the entries between
// the stretches, stretch(magnitude, repeats) for each stretch of a positive
// magnitude, in index order.
template <typename Visit, typename Stretch>
void walkMagnitudes(const double* values, std::size_t counted, const std::vector<ConstantRun>& runs,
                    Visit visit, Stretch stretch) {
  std::size_t position = 0;
  for (const ConstantRun& run : runs) {
    visit(position, run.begin);
    position = std::max(position, run.end);
    if (run.end <= run.begin) continue;
    const double magnitude = std::fabs(values[run.begin]);
    if (magnitude > 0) stretch(magnitude, run.end - run.begin);
  }
  visit(position, counted);
}

// The magnitude of the rank in one visit, when it lies in [low, high) (0 <
// low < high): the magnitudes in there are collected while all are counted.
// kElsewhere when the rank lies outside.
Rank rankInWindow(const double* values, std::size_t counted, double fraction, WaveletWorkspace& ws,
                  double low, double high, double& magnitude) {
  const LaneKernels* widest = laneKernels().widest();
  ensureSize(ws.candidates, counted + kMostLanes);
  double* candidates = ws.candidates.data();
  std::size_t found = 0;
  WindowVisit visited;
  const auto visit = [&](std::size_t from, std::size_t to) {
    if (widest != nullptr) from = widest->window(values, from, to, low, high, candidates, found, visited);
    for (std::size_t i = from; i < to; ++i) {
      const double value = std::fabs(values[i]);
      visited.positive += value > 0;
      visited.above += value >= high;
      candidates[found] = value;
      found += value >= low && value < high;
    }
  };
  ws.runMagnitudes.clear();
  std::size_t repeated = 0;
  std::size_t repeatedAbove = 0;
  std::size_t repeatedWithin = 0;
  walkMagnitudes(values, counted, ws.sortedRuns, visit, [&](double value, std::size_t repeats) {
    repeated += repeats;
    if (value >= high) {
      repeatedAbove += repeats;
    } else if (value >= low) {
      repeatedWithin += repeats;
      ws.runMagnitudes.push_back({value, repeats});
    }
  });

  std::size_t k = 0;
  if (!thresholdRank(visited.positive + repeated, fraction, k)) return Rank::kNone;
  const std::size_t above = visited.above + repeatedAbove;
  if (k < above || k - above >= found + repeatedWithin) return Rank::kElsewhere;
  magnitude = rankedMagnitude(candidates, found, ws.runMagnitudes, k - above);
  return Rank::kFound;
}

// The same from a histogram of the magnitudes' bins, then a second visit that
// collects the magnitudes of the one bin that holds the rank.
Rank rankByHistogram(const double* values, std::size_t counted, double fraction, WaveletWorkspace& ws,
                     double& magnitude) {
  // Positive magnitudes (zeros never rank and a NaN has no rank), counted per
  // exponent bin. The histogram is all zeros between calls; only the bins used
  // are cleared again. Its tables are counted apart (see LaneKernels::visit)
  // and summed per bin.
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
      const double value = std::fabs(values[i]);
      const bool positive = value > 0;
      const std::size_t bin = binOf(value);
      listed += positive;
      histogram[bin] += positive;
      topBin = positive && bin > topBin ? bin : topBin;
      lowBin = positive && bin < lowBin ? bin : lowBin;
    }
  };
  walkMagnitudes(values, counted, ws.sortedRuns, visit, [&](double value, std::size_t repeats) {
    histogram[binOf(value)] += repeats;
    topBin = std::max(topBin, binOf(value));
    lowBin = std::min(lowBin, binOf(value));
    repeated += repeats;
  });

  const auto clearHistogram = [&]() {
    if (lowBin > topBin) return;
    for (std::size_t table = 0; table < kHistogramTables; ++table)
      std::fill(histogram + table * kBins + lowBin, histogram + table * kBins + topBin + 1, 0);
  };
  std::size_t k = 0;
  if (!thresholdRank(listed + repeated, fraction, k)) {
    clearHistogram();
    return Rank::kNone;
  }

  // The magnitude at rank k from the top lies in the bin where the counts from
  // the top first exceed k; only that bin's magnitudes need ordering.
  const auto count = [&](std::size_t bin) {
    std::size_t sum = 0;
    for (std::size_t table = 0; table < kHistogramTables; ++table) sum += histogram[table * kBins + bin];
    return sum;
  };
  std::size_t above = 0;
  std::size_t bin = topBin;
  while (above + count(bin) <= k) above += count(bin--);
  // The wide collection writes whole vectors.
  ensureSize(ws.candidates, count(bin) + kMostLanes);
  clearHistogram();
  double* candidates = ws.candidates.data();
  std::size_t found = 0;
  // The magnitudes in that bin, from the entries visited above.
  const auto collect = [&](std::size_t from, std::size_t to) {
    if (widest != nullptr && widest->collect != nullptr)
      from = widest->collect(values, from, to, bin, candidates, found);
    for (std::size_t i = from; i < to; ++i) {
      const double value = std::fabs(values[i]);
      candidates[found] = value;
      found += value > 0 && binOf(value) == bin;
    }
  };
  ws.runMagnitudes.clear();
  walkMagnitudes(values, counted, ws.sortedRuns, collect, [&](double value, std::size_t repeats) {
    if (binOf(value) == bin) ws.runMagnitudes.push_back({value, repeats});
  });
  magnitude = rankedMagnitude(candidates, found, ws.runMagnitudes, k - above);
  return Rank::kFound;
}

}  // namespace

bool thresholdLevel(const double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws,
                    const std::vector<ConstantRun>& runs, double& T, double* guess) {
  const double n = static_cast<double>(size);
  // The finest details over the padded tail are left out of the statistics:
  // entries i with i < size - floor(pad / 2).
  const double statisticsEnd = n - std::floor(pad * 0.5);
  const std::size_t counted =
      statisticsEnd <= 0 ? 0 : std::min(size, static_cast<std::size_t>(std::ceil(statisticsEnd)));

  // The constant stretches in index order, cut to the entries counted.
  ws.sortedRuns.assign(runs.begin(), runs.end());
  std::sort(ws.sortedRuns.begin(), ws.sortedRuns.end(),
            [](const ConstantRun& x, const ConstantRun& y) { return x.begin < y.begin; });
  std::size_t position = 0;
  for (ConstantRun& run : ws.sortedRuns) {
    run.begin = std::max(position, std::min(run.begin, counted));
    run.end = std::max(run.begin, std::min(run.end, counted));
    position = std::max(position, run.end);
  }

  // The rank's magnitude is mostly within a few percent of the one found by
  // the call before with the same guess (the same pass of the previous trace);
  // the search looks there first. Any window gives the same magnitude.
  double magnitude = 0;
  Rank rank = Rank::kElsewhere;
  if (guess != nullptr) {
    const double low = *guess * 0.9375;
    const double high = *guess * 1.0625;
    if (low > 0 && low < high && high < HUGE_VAL)
      rank = rankInWindow(values, counted, fraction, ws, low, high, magnitude);
  }
  if (rank == Rank::kElsewhere) rank = rankByHistogram(values, counted, fraction, ws, magnitude);
  if (rank == Rank::kNone) return false;
  if (guess != nullptr) *guess = magnitude;
  T = std::sqrt(2 * std::log(n)) * magnitude;
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
