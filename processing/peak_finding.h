#ifndef TORVA_PROCESSING_PEAK_FINDING_H
#define TORVA_PROCESSING_PEAK_FINDING_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/chrom.h"

// Where findPeak found a peak: its apex and its points start .. end-1.
struct PeakSpan {
  std::size_t apex = 0;
  std::size_t start = 0;
  std::size_t end = 0;
};

// The peak of X in its processed trace y: the apex nearest the seed spectrum,
// the flanks walked down from it, and the area of the raw trace between the
// edges. Sets every peak figure of X but the feature mass (peakMz is X.mz).
// Returns false when there is no peak: the apex figures are then 0, peakMz is
// X.mz, and area, startScan and endScan are left as they were.
bool findPeak(chrom& X, const std::vector<double>& raw, const std::vector<double>& y,
              const std::vector<double>& times, const std::vector<std::int32_t>& scanNumbers,
              double cutoffLevel, double edgeFloor, PeakSpan& span);

#endif
