#ifndef TORVA_TESTS_REFERENCE_REFERENCE_PROCESSING_H
#define TORVA_TESTS_REFERENCE_REFERENCE_PROCESSING_H

// The straightforward chromatogram algorithms, kept as the reference that the
// fast production code is checked against bit for bit. Each function does what
// its production namesake does, in the plainest form: every window is found by
// scanning every peak, every trace is denoised on its own, every wavelet level
// allocates its own temporary list and the thresholding sorts all magnitudes
// (the wavelet operations are the production plain path, FastSymmlet8).
// The peak search on a processed trace has no shortcut: it is findPeak itself.

#include <vector>

#include "processing/filterer.h"
#include "records/chrom.h"
#include "store/file_handle.h"

namespace reference {

void generateXIC(const filterer& params, fileHandle& run);
void processXIC(const filterer& params, fileHandle& run);

void SGsmooth(int window, chrom& X);
void waveletDenoise(double fraction, int passes, chrom& X);

void transform(std::vector<double>& values, int n);
void transformLevel(std::vector<double>& values, int len);
void invTransform(std::vector<double>& values, int n);
void invTransformLevel(std::vector<double>& values, int half);
void threshold(std::vector<double>& values, int pad, double fraction);

}  // namespace reference

#endif
