#include "compounds/correlation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "util/large_block.h"
#include "util/parallel_for.h"

double pearson(const double* a, const double* b, std::size_t count, std::size_t minPoints) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  if (count < minPoints || count < 2) return none;
  double meanA = 0, meanB = 0;
  for (std::size_t k = 0; k < count; ++k) {
    meanA += a[k];
    meanB += b[k];
  }
  meanA /= static_cast<double>(count);
  meanB /= static_cast<double>(count);
  double cross = 0, squaresA = 0, squaresB = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const double da = a[k] - meanA, db = b[k] - meanB;
    cross += da * db;
    squaresA += da * da;
    squaresB += db * db;
  }
  if (!(squaresA > 0) || !(squaresB > 0)) return none;
  return cross / std::sqrt(squaresA * squaresB);
}

namespace {

// A trace that varies by less than a fifth of its mean (a background ion, a plateau) has no shape to compare:
// its correlation with anything is noise.
bool isFlat(const double* values, std::size_t count) {
  if (count < 2) return true;
  double mean = 0, squares = 0;
  for (std::size_t k = 0; k < count; ++k) mean += values[k];
  mean /= static_cast<double>(count);
  for (std::size_t k = 0; k < count; ++k) squares += (values[k] - mean) * (values[k] - mean);
  return !(mean > 0) || std::sqrt(squares / static_cast<double>(count)) < 0.2 * mean;
}

// Five-point moving average (fewer at the ends): scan-to-scan scatter of weak ions (automatic gain control,
// counting noise) would otherwise hide a shared elution profile.
void movingAverage(const double* values, std::size_t count, double* smooth) {
  const auto fewer = [&](std::size_t k) {
    const std::size_t low = k >= 2 ? k - 2 : 0, high = std::min(count, k + 3);
    double sum = 0;
    for (std::size_t j = low; j < high; ++j) sum += values[j];
    smooth[k] = sum / static_cast<double>(high - low);
  };
  if (count < 5) {
    for (std::size_t k = 0; k < count; ++k) fewer(k);
    return;
  }
  fewer(0);
  fewer(1);
  // The five in a row, summed as `fewer` sums them (from 0, in order).
  for (std::size_t k = 2; k + 2 < count; ++k) {
    const double* v = values + k - 2;
    smooth[k] = ((((0.0 + v[0]) + v[1]) + v[2]) + v[3] + v[4]) / 5.0;
  }
  fewer(count - 2);
  fewer(count - 1);
}

}  // namespace

namespace {

// The spectra [first, end) a pair's shapes are compared over: both peaks' span, where both traces were read.
void sharedSpectra(const FeatureTrace& a, const FeatureTrace& b, std::size_t& first, std::size_t& end) {
  first = std::max(std::max(a.first, b.first), std::min(a.peakBegin(), b.peakBegin()));
  end = std::min(std::min(a.end(), b.end()), std::max(a.peakFinish(), b.peakFinish()));
}

}  // namespace

double shapeCorrelation(const FeatureTrace& a, const FeatureTrace& b) {
  std::size_t first = 0, end = 0;
  sharedSpectra(a, b, first, end);
  if (end <= first) return std::numeric_limits<double>::quiet_NaN();
  const double* valuesA = a.values.data() + (first - a.first);
  const double* valuesB = b.values.data() + (first - b.first);
  const std::size_t count = end - first;
  if (isFlat(valuesA, count) || isFlat(valuesB, count)) return kFlatTraces;
  // Kept from call to call: the grouping asks for many pairs.
  thread_local std::vector<double> smoothA, smoothB;
  smoothA.resize(count);
  smoothB.resize(count);
  movingAverage(valuesA, count, smoothA.data());
  movingAverage(valuesB, count, smoothB.data());
  return pearson(smoothA.data(), smoothB.data(), count, 5);
}

namespace {

// Fills `averages` (3 n + 2 entries for a trace of n) and the rest of `smoothed` but its stretch.
void smoothInto(FeatureTrace trace, double* averages, SmoothedTrace& smoothed) {
  const std::size_t length = trace.values.size();
  double* smooth = averages;
  double* running = smooth + length;
  movingAverage(trace.values.data(), length, smooth);
  running[0] = running[1] = 0.0;
  for (std::size_t k = 0; k < length; ++k) {
    running[2 * k + 2] = running[2 * k] + smooth[k];
    running[2 * k + 3] = running[2 * k + 1] + smooth[k] * smooth[k];
  }
  // A difference of two running sums is off by at most about 2 n epsilon times the whole sum; the variance
  // sum(x^2) - sum(x)^2 / n, with sum(x) at most sqrt(n sum(x^2)), by about 8 n^1.5 epsilon sum(x^2).
  const double n = static_cast<double>(length) + 1;
  smoothed.roundingBound =
      8 * n * std::sqrt(n) * std::numeric_limits<double>::epsilon() * running[2 * length + 1];
  smoothed.averages = averages;
  smoothed.averagesLength = 3 * length + 2;
  smoothed.peakBegin = trace.peakBegin();
  smoothed.peakFinish = trace.peakFinish();
  smoothed.trace = std::move(trace);
}

}  // namespace

SmoothedTrace smoothedTrace(FeatureTrace trace) {
  SmoothedTrace smoothed;
  const std::size_t length = 3 * trace.values.size() + 2;
  std::shared_ptr<double> block(new double[length], std::default_delete<double[]>());
  smoothInto(std::move(trace), block.get(), smoothed);
  smoothed.block = std::move(block);
  return smoothed;
}

std::vector<SmoothedTrace> smoothedTraces(std::vector<FeatureTrace> traces, std::size_t workers) {
  std::vector<std::size_t> start(traces.size() + 1, 0);
  for (std::size_t j = 0; j < traces.size(); ++j) start[j + 1] = start[j] + 3 * traces[j].values.size() + 2;
  const std::shared_ptr<double> block = largeDoubleBlock(start.back());
  std::vector<SmoothedTrace> smoothed(traces.size());
  parallelForRuns(traces.size(), workers, 64, [&](std::size_t j, std::size_t) {
    smoothInto(std::move(traces[j]), block.get() + start[j], smoothed[j]);
  });
  for (SmoothedTrace& trace : smoothed) trace.block = block;  // one thread at the block's count
  return smoothed;
}

namespace {

// The moving average over the shared spectra `values[0, count)`, whose first entry is entry `offset` of a
// trace averaged whole (`whole`): its own average two or more from either end, computed at the ends.
void sharedAverage(const double* values, std::size_t count, const double* whole, std::size_t offset,
                   std::vector<double>& smooth) {
  smooth.resize(count);
  if (count > 4) std::copy(whole + offset + 2, whole + offset + count - 2, smooth.begin() + 2);
  for (std::size_t k = 0; k < count; ++k) {
    if (k == 2 && count > 4) k = count - 2;  // the middle is the whole trace's
    const std::size_t low = k >= 2 ? k - 2 : 0, high = std::min(count, k + 3);
    double sum = 0;
    for (std::size_t j = low; j < high; ++j) sum += values[j];
    smooth[k] = sum / static_cast<double>(high - low);
  }
}

}  // namespace

double shapeCorrelation(const SmoothedTrace& a, const SmoothedTrace& b) {
  const FeatureTrace &traceA = a.trace, &traceB = b.trace;
  std::size_t first = 0, end = 0;
  sharedSpectra(traceA, traceB, first, end);
  if (end <= first) return std::numeric_limits<double>::quiet_NaN();
  const double* valuesA = traceA.values.data() + (first - traceA.first);
  const double* valuesB = traceB.values.data() + (first - traceB.first);
  const std::size_t count = end - first;
  if (isFlat(valuesA, count) || isFlat(valuesB, count)) return kFlatTraces;
  thread_local std::vector<double> smoothA, smoothB;
  sharedAverage(valuesA, count, a.smooth(), first - traceA.first, smoothA);
  sharedAverage(valuesB, count, b.smooth(), first - traceB.first, smoothB);
  return pearson(smoothA.data(), smoothB.data(), count, 5);
}

namespace {

// One trace's share of the screen over the shared spectra [first, first + count), count at least 5: the
// averages of shared entries 0, 1, count - 2 and count - 1 (its own five-point average cut at either end,
// as sharedAverage takes it; here rounded by other steps, far inside the screen's margin), and the sums of
// the shared moving average and of its squares (the rest from the whole trace's running sums).
struct SharedSums {
  double sum, squares;
  double ends[4];
};

// sharedSpectra, from the peaks' spans kept with the smoothed traces.
inline void sharedSpectra(const SmoothedTrace& a, const SmoothedTrace& b, std::size_t& first,
                          std::size_t& end) {
  first = std::max(std::max(a.trace.first, b.trace.first), std::min(a.peakBegin, b.peakBegin));
  end = std::min(std::min(a.trace.end(), b.trace.end()), std::max(a.peakFinish, b.peakFinish));
}

inline SharedSums sharedSums(const SmoothedTrace& s, std::size_t offset, std::size_t count) {
  const double* v = s.trace.values.data() + offset;
  const double* w = v + count - 4;
  // The running sums (and of squares) of the first offset + 2 and of the first offset + count - 2 entries.
  const double* upToStart = s.runningSums() + 2 * (offset + 2);
  const double* upToEnd = s.runningSums() + 2 * (offset + count - 2);
  constexpr double third = 1.0 / 3;
  const double head = v[0] + v[1] + v[2], tail = w[1] + w[2] + w[3];
  SharedSums out;
  out.ends[0] = head * third;
  out.ends[1] = (head + v[3]) * 0.25;
  out.ends[2] = (tail + w[0]) * 0.25;
  out.ends[3] = tail * third;
  const double* e = out.ends;
  out.sum = (e[0] + e[1]) + (e[2] + e[3]) + (upToEnd[0] - upToStart[0]);
  out.squares = (e[0] * e[0] + e[1] * e[1]) + (e[2] * e[2] + e[3] * e[3]) + (upToEnd[1] - upToStart[1]);
  return out;
}

}  // namespace

// Two bounds, the second only where the first does not decide.
//
// An upper bound from the ends alone, without a pass over the spectra between. Centred and scaled to unit
// length, the two series za and zb have za . zb = r, so |za - zb|^2 = 2 - 2r; replacing each entry by the
// average of its block (here: the two entries at either end on their own, the rest as one) projects both
// onto the series constant within blocks, which can only shorten the difference, so r <= 1 - |P(za -
// zb)|^2 / 2. Centred series sum to 0, so the block of the rest sums to minus the ends. Multiplied through
// by both standard deviations (d = sb (a - ma) - sa (b - mb) is sa sb (za - zb) at an end), the test
// needs no division by them. On the Orbitrap run this turns away four fifths of the pairs the fragment
// search asks about; blocks inside the rest, from the running sums, turn away a few more but cost more
// than the pass they save.
//
// Then an estimate from one pass over the shared spectra between the ends.
Screened screenShapeCorrelation(const SmoothedTrace& a, const SmoothedTrace& b, double threshold) {
  const FeatureTrace &traceA = a.trace, &traceB = b.trace;
  if (!a.averaged() || !b.averaged()) return Screened::kUnsure;
  std::size_t first = 0, end = 0;
  sharedSpectra(a, b, first, end);
  if (end <= first || end - first < 5) return Screened::kTooShort;
  const std::size_t count = end - first;
  const std::size_t offsetA = first - traceA.first, offsetB = first - traceB.first;
  const SharedSums sa = sharedSums(a, offsetA, count), sb = sharedSums(b, offsetB, count);
  const double n = static_cast<double>(count);
  const double meanA = sa.sum / n, meanB = sb.sum / n;
  const double varianceA = sa.squares - sa.sum * meanA;
  const double varianceB = sb.squares - sb.sum * meanB;
  // Trusted where each variance lies a million times above what rounding could have moved it by: the
  // bound and the estimate below are then within about 1e-6 of their exact values (the cross sum, taken in
  // one pass, is off by far less), well inside the margin.
  const double trust = 1e6;
  if (!(varianceA > trust * a.roundingBound) || !(varianceB > trust * b.roundingBound))
    return Screened::kUnsure;
  const double below = threshold - 1e-4;
  const double deviationA = std::sqrt(varianceA), deviationB = std::sqrt(varianceB);
  const double d0 = (sa.ends[0] - meanA) * deviationB - (sb.ends[0] - meanB) * deviationA;
  const double d1 = (sa.ends[1] - meanA) * deviationB - (sb.ends[1] - meanB) * deviationA;
  const double d2 = (sa.ends[2] - meanA) * deviationB - (sb.ends[2] - meanB) * deviationA;
  const double d3 = (sa.ends[3] - meanA) * deviationB - (sb.ends[3] - meanB) * deviationA;
  const double apart = (d0 * d0 + d1 * d1) + (d2 * d2 + d3 * d3), rest = (d0 + d1) + (d2 + d3);
  // r <= 1 - (apart + rest^2 / (count - 4)) / (2 varianceA varianceB) < below.
  const double product = varianceA * varianceB;
  if ((apart + rest * rest / (n - 4)) > 2 * (1 - below) * product) return Screened::kBelow;
  const double* smoothA = a.smooth() + offsetA;
  const double* smoothB = b.smooth() + offsetB;
  // Two running sums, even and odd entries: half the dependent additions.
  double even = 0, odd = 0;
  std::size_t k = 2;
  for (; k + 3 < count; k += 2) {
    even += smoothA[k] * smoothB[k];
    odd += smoothA[k + 1] * smoothB[k + 1];
  }
  if (k + 2 < count) even += smoothA[k] * smoothB[k];
  const double cross = sa.ends[0] * sb.ends[0] + sa.ends[1] * sb.ends[1] + sa.ends[2] * sb.ends[2] +
                       sa.ends[3] * sb.ends[3] + (even + odd);
  const double estimate = (cross - sa.sum * meanB) / (deviationA * deviationB);
  return estimate < below ? Screened::kBelow : Screened::kUnsure;
}

void screenShapeCorrelations(const std::vector<SmoothedTrace>& traces, std::size_t a,
                             const std::size_t* others, std::size_t count, double threshold,
                             Screened* verdicts) {
  const SmoothedTrace& one = traces[a];
  constexpr std::size_t kAhead = 16;
  for (std::size_t from = 0; from < count; from += kAhead) {
    const std::size_t to = std::min(count, from + kAhead);
    for (std::size_t k = from; k < to; ++k) {
      const SmoothedTrace& other = traces[others[k]];
      // Where screenShapeCorrelation will read: both ends of the shared spectra, in the values and the
      // running sums.
      const FeatureTrace& trace = other.trace;
      std::size_t first = 0, end = 0;
      sharedSpectra(one, other, first, end);
      if (end <= first || end - first < 5 || !other.averaged()) continue;
      const std::size_t offset = first - trace.first, last = end - 1 - trace.first;
      __builtin_prefetch(trace.values.data() + offset);
      __builtin_prefetch(trace.values.data() + last);
      __builtin_prefetch(other.runningSums() + 2 * (offset + 2));
      __builtin_prefetch(other.runningSums() + 2 * (last - 1));
    }
    for (std::size_t k = from; k < to; ++k)
      verdicts[k] = screenShapeCorrelation(one, traces[others[k]], threshold);
  }
}

double abundanceCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> logA, logB;
  for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) {
    if (a[k] > 0 && b[k] > 0) {
      logA.push_back(std::log(a[k]));
      logB.push_back(std::log(b[k]));
    }
  }
  return pearson(logA.data(), logB.data(), logA.size(), 3);
}
