#ifndef TORVA_PROCESSING_SPECTRAL_FILTER_H
#define TORVA_PROCESSING_SPECTRAL_FILTER_H

#include <cstddef>
#include <string>

#include "records/records.h"
#include "util/console.h"

// What the spectral filters (isotope and loss folding) share.

// The floors a peak must pass to be folded or to absorb at all: above the
// cutoff and above 0.5 % of its spectrum's total ion current, both strictly.
class FilterFloors {
 public:
  FilterFloors(double cutoff, const scan& spectrum)
      : cutoff_(cutoff), ticFloor_(0.005 * spectrum.totIonCurrent) {}
  bool passes(const datapeak& peak) const { return peak.intensity > cutoff_ && peak.intensity > ticFloor_; }

 private:
  double cutoff_;
  double ticFloor_;
};

// The progress line a spectral filter prints for a spectrum it thinned out,
// "Scan: 12 Peaks after deisotoping: 40 (-3) "; nothing when no peak went.
inline void reportThinnedSpectrum(const scan& spectrum, const char* filter, std::size_t oldCount) {
  const std::size_t newCount = spectrum.peaks.size();
  if (newCount == oldCount) return;
  console::outFlush("Scan: " + std::to_string(spectrum.num) + " Peaks after " + filter + ": " +
                    std::to_string(newCount) + " (-" + std::to_string(oldCount - newCount) + ") \n");
}

#endif
