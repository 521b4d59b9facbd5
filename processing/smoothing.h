#ifndef TORVA_PROCESSING_SMOOTHING_H
#define TORVA_PROCESSING_SMOOTHING_H

#include <cstddef>
#include <vector>

// The 7-point Savitzky-Golay smoothing of peak detection on the n values of a
// plain trace at `in`, left in `out` (which must not hold them): what
// filterer::SGsmooth does with a window selector up to 5 (traces under 12
// points are left as they are; otherwise negatives are clamped to 0).
void smoothSevenPoint(const double* in, std::size_t n, std::vector<double>& out);

// The trapezoid area of filterer::trapizoid over points start .. end-1 of the
// trace y on the time axis t (y[start] itself when start == end).
double trapezoidArea(const std::vector<double>& t, const std::vector<double>& y, int start, int end);

#endif
