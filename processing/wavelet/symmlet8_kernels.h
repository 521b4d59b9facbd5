#ifndef TORVA_PROCESSING_WAVELET_SYMMLET8_KERNELS_H
#define TORVA_PROCESSING_WAVELET_SYMMLET8_KERNELS_H

// The Symmlet-8 transform levels, soft thresholding and shifted denoising on
// plain arrays, with buffers that are reused from call to call. Every output
// coefficient is computed with the same operations in the same order as the
// textbook form (products added left to right, periodic wrap-around), so the
// results are identical bit for bit; neighbouring outputs are computed side
// by side in the lanes of a vector register (vector_kernels.h). Three
// shortcuts keep the work near the length of the trace rather than of its
// padded, shifted form:
// - outputs of an analysis level whose eight inputs all lie in one stretch of
//   bit-identical values are equal; one is computed and copied;
// - the inverse rebuilds only the entries that the caller keeps, and of the
//   coarser levels only the entries those depend on;
// - the threshold rank is found from a histogram of the magnitudes' exponents
//   and a partial selection inside one histogram bin, not by sorting; or, in
//   one visit, by a selection among the magnitudes near a guess.

#include <cstddef>
#include <utility>
#include <vector>

#include "processing/wavelet/vector_kernels.h"

// Entries begin .. end-1 of a list, all bit-identical.
struct ConstantRun {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Buffers of the wavelet kernels; they grow to the largest trace seen and are
// then reused, so a denoising pass allocates nothing.
struct WaveletWorkspace {
  std::vector<double> padded;        // the denoising passes: shift block, trace, zero padding
  std::vector<double> coefficients;  // its wavelet coefficients
  std::vector<double> plain;         // a trace denoised in the plain form
  std::vector<double> candidates;    // magnitudes near the wanted rank
  // ... of constant stretches, with their lengths
  std::vector<std::pair<double, std::size_t>> runMagnitudes;
  std::vector<std::size_t> histogram;   // magnitudes per exponent bin, in kHistogramTables tables
  std::vector<ConstantRun> levelRuns;   // constant stretches of the current level's input
  std::vector<ConstantRun> nextRuns;    // ... of its approximation output
  std::vector<ConstantRun> detailRuns;  // constant stretches of the finished coefficients
  std::vector<ConstantRun> sortedRuns;  // the same, in index order, for the threshold
  // Per denoising pass, the magnitude of the threshold's rank in the last
  // trace (0: none yet), near which the next trace's search looks first.
  double rankMagnitudes[16] = {};
};

namespace symmlet8 {

// Entries at each end of a constant run that the analysis reads or writes.
constexpr std::size_t kRunEdge = 16;

// Sets the first and last kRunEdge entries of x[begin .. end-1] to `value`
// (all of them when the stretch is no longer than 2 * kRunEdge).
void fillRunEdges(double* x, std::size_t begin, std::size_t end, double value);

// One analysis level of x[0 .. len-1] (len even, at least 8): the
// approximations replace x[0 .. len/2-1] and the details go to
// detail[0 .. len/2-1], a separate list. `inputRuns` (sorted, disjoint) are
// constant stretches of the input; `outputRuns` receives the constant
// stretches of the outputs, the same in both halves. Of an input run only the
// first and last kRunEdge entries are read (the interior may hold anything),
// and of the outputs' runs only those entries are written.
void analyseLevel(double* x, std::size_t len, double* detail, const std::vector<ConstantRun>& inputRuns,
                  std::vector<ConstantRun>& outputRuns);
// One synthesis level (half at least 4) from the approximations x[0 .. half-1]
// and the details detail[0 .. half-1] (a separate list): rebuilds entries 2k
// and 2k+1 of x for k = first .. last-1; other entries are left unspecified.
void synthesiseLevel(double* x, const double* detail, std::size_t half, std::size_t first, std::size_t last);

// Full transform of x[0 .. n-1] (n a power of two) into coefficients[0 .. n-1]
// (8 approximations, then the details from the coarsest level to the finest);
// x is overwritten. `inputRuns` are constant stretches of x; the constant
// stretches of the coefficients are left in ws.detailRuns, and of those only
// the first and last kRunEdge entries are written.
void forward(double* x, double* coefficients, std::size_t n, WaveletWorkspace& ws,
             const std::vector<ConstantRun>& inputRuns);
// Full inverse of `coefficients` into x, exact on the entries keepBegin ..
// keepEnd-1 (the others are left unspecified). `runs` are constant stretches
// of the coefficients of which only the edges are set, as forward leaves
// them; the entries read inside them are filled in first. With a threshold,
// each coefficient that the kept entries depend on is soft-thresholded at it
// first, which gives what thresholding every coefficient beforehand would give.
void inverse(double* coefficients, double* x, std::size_t n, std::size_t keepBegin, std::size_t keepEnd,
             const double* threshold, const std::vector<ConstantRun>& runs);

// The soft threshold of values[0 .. size-1]: sqrt(2 ln size) times the
// magnitude of rank trunc(m * fraction) - 1 among the m non-zero magnitudes of
// the entries before size - floor(pad / 2). `runs` (disjoint) are constant
// stretches of the values, counted without visiting each entry. Returns false
// when the entries are to be left unchanged. With a `guess` of the rank's
// magnitude (0: none), the statistics take one visit when the magnitude is
// within a few percent of it (two more otherwise); *guess is then set to the
// magnitude found.
bool thresholdLevel(const double* values, std::size_t size, int pad, double fraction, WaveletWorkspace& ws,
                    const std::vector<ConstantRun>& runs, double& T, double* guess = nullptr);
// Soft thresholding of values[from .. to-1] at T: each entry shrinks towards 0
// by T, entries within T of 0 become 0, zero entries stay as they are.
void shrink(double* values, std::size_t from, std::size_t to, double T);

// Repeated shifted wavelet shrinkage of one trace, in place.
void denoise(std::vector<double>& trace, double fraction, int passes, WaveletWorkspace& ws);
// The same for a copy of `input`, left where it was computed: the input.size()
// denoised values start at the pointer returned, in `ws` (valid until its next
// use) or, when there is nothing to do, in `input`.
const double* denoised(const std::vector<double>& input, double fraction, int passes, WaveletWorkspace& ws);
// The same, one plain list operation after another: the form `denoise` is
// checked against, and the one taken by traces with non-finite or huge values.
void plainDenoise(std::vector<double>& trace, double fraction, int passes);

}  // namespace symmlet8

#endif
