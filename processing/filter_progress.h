#ifndef TORVA_PROCESSING_FILTER_PROGRESS_H
#define TORVA_PROCESSING_FILTER_PROGRESS_H

#include <cstddef>
#include <string>

#include "records/records.h"
#include "util/console.h"

// The progress line a spectral filter prints for a spectrum it thinned out,
// "Scan: 12 Peaks after deisotoping: 40 (-3) "; nothing when no peak went.
inline void reportThinnedSpectrum(const scan& spectrum, const char* filter, std::size_t oldCount) {
  const std::size_t newCount = spectrum.peaks.size();
  if (newCount == oldCount) return;
  console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after " + filter + ": " +
                    std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
}

#endif
