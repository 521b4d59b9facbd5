// Periodic Symmlet-8 wavelet transform, its inverse and soft thresholding.
#include "processing/wavelet/symmlet8.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

// A level of length len works on values[0 .. len-1]; it must be even and fit the list.
bool validLevel(const std::vector<double>& values, int len) {
  return len > 0 && len % 2 == 0 && static_cast<std::size_t>(len) <= values.size();
}

// One synthesis level rebuilding values[0 .. 2*half-1] from half approximation
// coefficients followed by half detail coefficients (taken as 0 when
// `withDetails` is false).
void synthesize(std::vector<double>& values, int half, bool withDetails) {
  const std::size_t h = static_cast<std::size_t>(half);
  const std::size_t len = 2 * h;
  std::vector<double> rebuilt(len, 0.0);
  for (std::size_t i = 0; i < h; ++i) {
    const double a = values[i];
    const double d = withDetails ? values[h + i] : 0.0;
    for (std::size_t m = 0; m < 8; ++m) {
      rebuilt[(2 * i + m) % len] += a * FastSymmlet8::L[m] + d * FastSymmlet8::H[m];
    }
  }
  std::copy(rebuilt.begin(), rebuilt.end(), values.begin());
}

}  // namespace

void FastSymmlet8::transform(std::vector<double>& values, int n) {
  for (int len = n; len > 8; len /= 2) transform(values, n, len);
}

void FastSymmlet8::transform(std::vector<double>& values, int /*n*/, int len) {
  if (!validLevel(values, len)) return;
  const std::size_t length = static_cast<std::size_t>(len);
  const std::size_t half = length / 2;
  std::vector<double> out(length);
  for (std::size_t i = 0; i < half; ++i) {
    // Periodic extension: indices past the end wrap to the start of the level.
    double a = L[0] * values[(2 * i) % length];
    double d = H[0] * values[(2 * i) % length];
    for (std::size_t m = 1; m < 8; ++m) {
      const double x = values[(2 * i + m) % length];
      a += L[m] * x;
      d += H[m] * x;
    }
    out[i] = a;
    out[half + i] = d;
  }
  std::copy(out.begin(), out.end(), values.begin());
}

void FastSymmlet8::invTransform(std::vector<double>& values, int n) {
  for (int half = 8; 2 * half <= n; half *= 2) invTransform(values, n, half);
}

void FastSymmlet8::invTransform(std::vector<double>& values, int /*n*/, int half) {
  if (half <= 0 || !validLevel(values, 2 * half)) return;
  synthesize(values, half, true);
}

void FastSymmlet8::expand(std::vector<double>& values, int count) {
  if (!validLevel(values, count)) return;
  synthesize(values, count / 2, false);
}

void FastSymmlet8::threshold(std::vector<double>& values, int pad, int /*levels*/, double& fraction) {
  const std::size_t size = values.size();
  const double n = static_cast<double>(size);
  // The finest details over the padded tail are left out of the statistics.
  const double statisticsEnd = n - std::floor(pad * 0.5);
  std::vector<double> magnitudes;
  for (std::size_t i = 0; i < size && static_cast<double>(i) < statisticsEnd; ++i) {
    const double magnitude = std::fabs(values[i]);
    // A NaN has no rank; leaving it out keeps the ordering well defined.
    if (!std::isnan(magnitude)) magnitudes.push_back(magnitude);
  }
  std::sort(magnitudes.begin(), magnitudes.end(), GreaterThanS());
  while (!magnitudes.empty() && magnitudes.back() == 0) magnitudes.pop_back();

  const std::size_t m = magnitudes.size();
  if (m < 2) return;
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (!(rank >= 0) || rank >= static_cast<double>(m)) return;
  const double T = std::sqrt(2 * std::log(n)) * magnitudes[static_cast<std::size_t>(rank)];

  // Soft thresholding: every entry shrinks towards 0 by T; zero entries stay as they are.
  for (double& value : values) {
    const double g = std::fabs(value) - T;
    if (value > 0) {
      value = 1.0 * (std::fabs(g) + g) * 0.5;
    } else if (value < 0) {
      value = -1.0 * (std::fabs(g) + g) * 0.5;
    }
  }
}
