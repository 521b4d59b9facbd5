#include "compounds/correlation.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
void movingAverage(const double* values, std::size_t count, std::vector<double>& smooth) {
  smooth.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t low = k >= 2 ? k - 2 : 0, high = std::min(count, k + 3);
    if (high - low == 5) {  // the five in a row, summed as the loop below sums them (from 0, in order)
      const double* v = values + low;
      smooth[k] = ((((0.0 + v[0]) + v[1]) + v[2]) + v[3] + v[4]) / 5.0;
      continue;
    }
    double sum = 0;
    for (std::size_t j = low; j < high; ++j) sum += values[j];
    smooth[k] = sum / static_cast<double>(high - low);
  }
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
  movingAverage(valuesA, count, smoothA);
  movingAverage(valuesB, count, smoothB);
  return pearson(smoothA.data(), smoothB.data(), count, 5);
}

SmoothedTrace smoothedTrace(FeatureTrace trace) {
  SmoothedTrace smoothed;
  movingAverage(trace.values.data(), trace.values.size(), smoothed.smooth);
  const std::size_t length = smoothed.smooth.size();
  smoothed.sums.assign(length + 1, 0.0);
  smoothed.squareSums.assign(length + 1, 0.0);
  for (std::size_t k = 0; k < length; ++k) {
    smoothed.sums[k + 1] = smoothed.sums[k] + smoothed.smooth[k];
    smoothed.squareSums[k + 1] = smoothed.squareSums[k] + smoothed.smooth[k] * smoothed.smooth[k];
  }
  // A difference of two running sums is off by at most about 2 n epsilon times the whole sum; the variance
  // sum(x^2) - sum(x)^2 / n, with sum(x) at most sqrt(n sum(x^2)), by about 8 n^1.5 epsilon sum(x^2).
  const double n = static_cast<double>(length) + 1;
  smoothed.roundingBound =
      8 * n * std::sqrt(n) * std::numeric_limits<double>::epsilon() * smoothed.squareSums[length];
  smoothed.peakBegin = trace.peakBegin();
  smoothed.peakFinish = trace.peakFinish();
  smoothed.trace = std::move(trace);
  return smoothed;
}

namespace {

// The moving average over the shared spectra `values[0, count)`, whose first entry is entry `offset` of a
// trace averaged whole (`whole`): its own average two or more from either end, computed at the ends.
void sharedAverage(const double* values, std::size_t count, const std::vector<double>& whole,
                   std::size_t offset, std::vector<double>& smooth) {
  smooth.resize(count);
  if (count > 4) {
    std::copy(whole.begin() + static_cast<std::ptrdiff_t>(offset + 2),
              whole.begin() + static_cast<std::ptrdiff_t>(offset + count - 2), smooth.begin() + 2);
  }
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
  sharedAverage(valuesA, count, a.smooth, first - traceA.first, smoothA);
  sharedAverage(valuesB, count, b.smooth, first - traceB.first, smoothB);
  return pearson(smoothA.data(), smoothB.data(), count, 5);
}

namespace {

// The sums over the shared spectra [first, first + count), count at least 5, of one trace's shared moving
// average (whose two entries at either end are its own, the rest the whole trace's), and those ends.
struct SharedSums {
  double sum = 0, squares = 0;
  double ends[4] = {0, 0, 0, 0};  // the averages of shared entries 0, 1, count - 2, count - 1
};

SharedSums sharedSums(const SmoothedTrace& s, std::size_t first, std::size_t count) {
  SharedSums sums;
  const std::size_t offset = first - s.trace.first;
  const double* v = s.trace.values.data() + offset;
  const double* w = v + count - 4;
  // The five-point average at either end of at least five spectra, as sharedAverage takes it.
  sums.ends[0] = (v[0] + v[1] + v[2]) / 3;
  sums.ends[1] = (v[0] + v[1] + v[2] + v[3]) / 4;
  sums.ends[2] = (w[0] + w[1] + w[2] + w[3]) / 4;
  sums.ends[3] = (w[1] + w[2] + w[3]) / 3;
  const double* e = sums.ends;
  sums.sum = e[0] + e[1] + e[2] + e[3] + (s.sums[offset + count - 2] - s.sums[offset + 2]);
  sums.squares = e[0] * e[0] + e[1] * e[1] + e[2] * e[2] + e[3] * e[3] +
                 (s.squareSums[offset + count - 2] - s.squareSums[offset + 2]);
  return sums;
}

// An upper bound of the correlation of the shared moving averages from their ends, without a pass over the
// spectra between. Centred and scaled to unit length, the two series za and zb have za . zb = r, so
// |za - zb|^2 = 2 - 2r; replacing each entry by the average of its block (here: the two entries at either
// end on their own, the rest as one) projects both onto the series constant within blocks, which can only
// shorten the difference, so r <= 1 - |P(za - zb)|^2 / 2. Centred series sum to 0, so the block of the rest
// sums to minus the ends. On the Orbitrap run this turns away four fifths of the pairs the fragment search
// asks about; blocks inside the rest, from the running sums, turn away a few more but cost more than the
// pass they save.
double endsBound(const SharedSums& sa, const SharedSums& sb, std::size_t count, double varianceA,
                 double varianceB) {
  const double n = static_cast<double>(count);
  const double scaleA = 1 / std::sqrt(varianceA), scaleB = 1 / std::sqrt(varianceB);
  const double meanA = sa.sum / n, meanB = sb.sum / n;
  double apart = 0, sum = 0;
  for (int e = 0; e < 4; ++e) {
    const double d = (sa.ends[e] - meanA) * scaleA - (sb.ends[e] - meanB) * scaleB;
    apart += d * d;
    sum += d;
  }
  return 1 - (apart + sum * sum / static_cast<double>(count - 4)) / 2;
}

}  // namespace

bool shapeCorrelationBelow(const SmoothedTrace& a, const SmoothedTrace& b, double threshold) {
  const FeatureTrace &traceA = a.trace, &traceB = b.trace;
  if (a.sums.size() != traceA.values.size() + 1 || b.sums.size() != traceB.values.size() + 1) return false;
  // sharedSpectra, from the peaks' spans kept with the traces.
  const std::size_t first =
      std::max(std::max(traceA.first, traceB.first), std::min(a.peakBegin, b.peakBegin));
  const std::size_t end =
      std::min(std::min(traceA.end(), traceB.end()), std::max(a.peakFinish, b.peakFinish));
  if (end <= first || end - first < 5) return true;  // NaN
  const std::size_t count = end - first;
  const SharedSums sa = sharedSums(a, first, count), sb = sharedSums(b, first, count);
  const double n = static_cast<double>(count);
  const double varianceA = sa.squares - sa.sum * sa.sum / n;
  const double varianceB = sb.squares - sb.sum * sb.sum / n;
  // Trusted where each variance lies a million times above what rounding could have moved it by: the
  // bound and the estimate below are then within about 1e-6 of their exact values (the cross sum, taken in
  // one pass, is off by far less), well inside the margin.
  const double trust = 1e6;
  if (!(varianceA > trust * a.roundingBound) || !(varianceB > trust * b.roundingBound)) return false;
  const double below = threshold - 1e-4;
  if (endsBound(sa, sb, count, varianceA, varianceB) < below) return true;
  const double* smoothA = a.smooth.data() + (first - traceA.first);
  const double* smoothB = b.smooth.data() + (first - traceB.first);
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
  const double estimate = (cross - sa.sum * sb.sum / n) / std::sqrt(varianceA * varianceB);
  return estimate < below;
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
