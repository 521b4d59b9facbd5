// Repeated, shifted Symmlet-8 wavelet shrinkage of a chromatogram trace.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "processing/filterer.h"
#include "processing/symmlet8.h"

void filterer::waveletDenoise(double& fraction, int passes, chrom& X) {
  std::vector<double>& x = X.intensities;
  const double originalLength = static_cast<double>(x.size());
  if (passes == 0) return;

  for (int pass = 0;; ++pass) {
    // Pad with zeros to the next power of two, M = 2^p.
    const std::size_t n = x.size();
    int p = 0;
    while (std::pow(2.0, p) < static_cast<double>(n)) ++p;
    const std::size_t padded = static_cast<std::size_t>(std::pow(2.0, p));
    x.resize(padded, 0.0);

    FastSymmlet8::transform(x, static_cast<int>(padded));
    FastSymmlet8::threshold(x, static_cast<int>(padded - n), p, fraction);
    FastSymmlet8::invTransform(x, static_cast<int>(padded));
    x.resize(n);

    // Remove the block of repeated values that shifted this pass.
    if (pass > 0) {
      const std::size_t shift = static_cast<std::size_t>(originalLength / pass);
      x.erase(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(shift, x.size())));
    }
    if (pass + 1 >= passes) break;

    // Shift the next pass by prefixing copies of the first value, so that the
    // wavelet grid falls differently on the signal.
    const std::size_t nextShift = static_cast<std::size_t>(originalLength / (pass + 1));
    if (nextShift > 0 && !x.empty()) {
      const double first = x.front();
      x.insert(x.begin(), nextShift, first);
    }
  }
}
