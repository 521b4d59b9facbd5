#ifndef TORVA_PROCESSING_SYMMLET8_KERNELS_H
#define TORVA_PROCESSING_SYMMLET8_KERNELS_H

// The Symmlet-8 transform levels, soft thresholding and shifted denoising on
// plain arrays, with buffers that are reused from call to call. Every output
// coefficient is computed with the same operations in the same order as the
// textbook form (products added left to right, periodic wrap-around), so the
// results are identical bit for bit; the loops are laid out so that the
// compiler can process several coefficients at once.

#include <cstddef>
#include <vector>

// Buffers of the wavelet kernels; they grow to the largest trace seen and are
// then reused, so a denoising pass allocates nothing.
struct WaveletWorkspace {
  std::vector<double> level;       // output of one level
  std::vector<double> even;        // x[0], x[2], ... of a level, wrapped past its end
  std::vector<double> odd;         // x[1], x[3], ...
  std::vector<double> magnitudes;  // non-zero magnitudes for the threshold
  std::vector<double> padded;      // one denoising pass: shift block, trace, zero padding
};

namespace symmlet8 {

// One analysis level on values[0 .. len-1] (len even, at least 2).
void analyse(double* values, std::size_t len, WaveletWorkspace& ws);
// One synthesis level rebuilding values[0 .. 2*half-1] (half at least 1).
void synthesise(double* values, std::size_t half, WaveletWorkspace& ws);
// Full transform of n entries: levels of length n, n/2, ... while above 8.
void forward(double* values, std::size_t n, WaveletWorkspace& ws);
// Full inverse: levels of half 8, 16, ... while 2*half <= n.
void inverse(double* values, std::size_t n, WaveletWorkspace& ws);
// Soft thresholding of values[0 .. size-1] at sqrt(2 ln size) times the
// magnitude of rank trunc(m * fraction) - 1 among the m non-zero magnitudes of
// the entries before size - floor(pad / 2).
void softThreshold(double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws);
// Repeated shifted wavelet shrinkage of one trace, in place.
void denoise(std::vector<double>& trace, double fraction, int passes, WaveletWorkspace& ws);

}  // namespace symmlet8

#endif
