#ifndef TORVA_PROCESSING_WAVELET_SYMMLET8_H
#define TORVA_PROCESSING_WAVELET_SYMMLET8_H

#include <vector>

#include "processing/wavelet/symmlet8_filter.h"

// Orders doubles from largest to smallest when used as a sort comparison.
struct GreaterThanS {
  bool operator()(double a, double b) const { return a > b; }
};

// Periodic fast wavelet transform with the 8-tap Symmlet filter, its inverse,
// and soft thresholding. Stateless; every operation works on the list it is given.
class FastSymmlet8 {
 public:
  // Low-pass and high-pass filter coefficients (single-precision values as doubles).
  static constexpr const double (&L)[8] = symmlet8::kLow;
  static constexpr const double (&H)[8] = symmlet8::kHigh;

  // Full forward transform of the first n entries (n a power of two).
  static void transform(std::vector<double>& values, int n);
  // One analysis level on the first len entries.
  static void transform(std::vector<double>& values, int n, int len);
  // Full inverse of transform(values, n).
  static void invTransform(std::vector<double>& values, int n);
  // One synthesis level rebuilding the first 2*half entries.
  static void invTransform(std::vector<double>& values, int n, int half);
  // One synthesis level with every detail coefficient taken as 0.
  static void expand(std::vector<double>& values, int count);
  // Soft-thresholds every entry; statistics leave out the last pad/2 entries.
  static void threshold(std::vector<double>& values, int pad, int levels, double& fraction);
};

#endif
