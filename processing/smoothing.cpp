// Savitzky-Golay smoothing of a chromatogram trace and its trapezoid area.
#include "processing/smoothing.h"

#include <cstddef>

#include "processing/filterer.h"

namespace {

// Quadratic/cubic Savitzky-Golay smoothing sets with their integer divisors.
const int kCoefficients7[] = {-2, 3, 6, 7, 6, 3, -2};
const int kCoefficients17[] = {-21, -6, 7, 18, 27, 34, 39, 42, 43, 42, 39, 34, 27, 18, 7, -6, -21};
const int kCoefficients25[] = {-253, -138, -33, 62,  147, 222, 287, 342, 387, 422, 447,  462, 467,
                               462,  447,  422, 387, 342, 287, 222, 147, 62,  -33, -138, -253};

struct SmoothingWindow {
  const int* coefficients;
  std::size_t halfWidth;
  double divisor;
};

SmoothingWindow windowFor(int selector) {
  if (selector <= 5) return {kCoefficients7, 3, 21.0};
  if (selector <= 10) return {kCoefficients17, 8, 323.0};
  return {kCoefficients25, 12, 5175.0};
}

// The smallest trace that is smoothed at all.
const std::size_t kShortestSmoothedTrace = 12;

void clampNegatives(std::vector<double>& x) {
  for (double& value : x) value = value < 0 ? 0.0 : value;
}

}  // namespace

void smoothSevenPoint(const double* in, std::size_t n, std::vector<double>& out) {
  if (n < kShortestSmoothedTrace) {
    out.assign(in, in + n);
    return;
  }
  out.resize(n);
  double* __restrict values = out.data();
  const auto clamped = [](double value) { return value < 0 ? 0.0 : value; };
  // The three points at each end keep their values; all are clamped as they are written.
  for (std::size_t i = 0; i < 3; ++i) {
    values[i] = clamped(in[i]);
    values[n - 1 - i] = clamped(in[n - 1 - i]);
  }
  // The same products, added to 0.0 in the same order, as the general window;
  // written out so that neighbouring points can be computed together.
  for (std::size_t i = 3; i + 3 < n; ++i) {
    double sum = 0.0;
    sum += -2.0 * in[i - 3];
    sum += 3.0 * in[i - 2];
    sum += 6.0 * in[i - 1];
    sum += 7.0 * in[i];
    sum += 6.0 * in[i + 1];
    sum += 3.0 * in[i + 2];
    sum += -2.0 * in[i + 3];
    values[i] = clamped(sum / 21.0);
  }
}

void filterer::SGsmooth(int window, chrom& X) {
  std::vector<double>& x = X.intensities;
  const std::size_t n = x.size();
  if (n < kShortestSmoothedTrace) return;
  if (window <= 5) {
    std::vector<double> smoothed;
    smoothSevenPoint(x.data(), n, smoothed);
    x.swap(smoothed);
    return;
  }
  const SmoothingWindow w = windowFor(window);
  const std::size_t h = w.halfWidth;

  // A trace with no point that has a full window on both sides keeps its values.
  if (n > 2 * h) {
    std::vector<double> smoothed(x);
    for (std::size_t i = h; i + h < n; ++i) {
      double sum = 0.0;
      for (std::size_t j = 0; j <= 2 * h; ++j) {
        sum += static_cast<double>(w.coefficients[j]) * x[i - h + j];
      }
      smoothed[i] = sum / w.divisor;
    }
    x.swap(smoothed);
  }
  clampNegatives(x);
}

double trapezoidArea(const std::vector<double>& t, const std::vector<double>& y, int start, int end) {
  if (start == end) return y.at(static_cast<std::size_t>(start));
  if (end < start + 2) return 0;
  double sum = 0.0;
  for (int k = start + 1; k < end; ++k) {
    const std::size_t at = static_cast<std::size_t>(k);
    sum += (y.at(at) + y.at(at - 1)) * (t.at(at) - t.at(at - 1));
  }
  return 0.5 * sum;
}

void filterer::trapizoid(chrom& X, int start, int end) {
  X.area = trapezoidArea(X.times, X.intensities, start, end);
}
