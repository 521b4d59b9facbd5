#ifndef TORVA_RECORDS_CHROM_H
#define TORVA_RECORDS_CHROM_H

#include <cstdint>
#include <vector>

// One extracted-ion chromatogram of a channel: the trace of one target m/z over
// every spectrum of the channel, and the figures of the peak found in it.
// Index k of `times`, `intensities` and `scanNumbers` is the channel's k-th spectrum.
struct chrom {
  double mz = 0;             // target m/z that seeded the trace
  double seedIntensity = 0;  // intensity of the seeding peak (0 for targets)
  double seedTime = 0;       // rt of the seed spectrum; the peak search starts there
  std::int32_t seedScan = 0;
  // A target with a retention-time window (rt unit) counts only a peak whose
  // apex lies within [windowLow, windowHigh]; its search starts inside it.
  bool windowed = false;
  double windowLow = 0;
  double windowHigh = 0;
  std::vector<double> times;        // rt of each spectrum of the channel
  std::vector<double> intensities;  // summed in-window intensity per spectrum
  std::vector<std::int32_t> scanNumbers;
  double totalIntensity = 0;  // sum of the trace as generated ("TIC")
  double peakMz = 0;          // mean m/z of the in-window peaks of the feature
  double apexTime = 0;        // rt unit (seconds for mzXML)
  double apexIntensity = 0;   // processed (denoised, smoothed) value at the apex
  std::int32_t apexScan = 0;
  double area = 0;  // trapezoid integral of the raw trace over the peak
  std::int32_t startScan = 0;
  std::int32_t endScan = 0;
};

#endif
