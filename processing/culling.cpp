#include <cstdint>
#include <utility>
#include <vector>

#include "processing/filterer.h"
#include "run/file_handle.h"

// Thins out each channel's chromatograms: a chromatogram whose feature lies
// strictly within the mass and time tolerances of an earlier survivor replaces
// that survivor only when its area is larger (only the first such survivor is
// looked at); one that matches none survives only above five times the cutoff.
// Channels are culled independently.
void filterer::cullXIC(fileHandle& run) {
  const double timeWindow = 60 * timeTolerance;  // held times are seconds
  // Five times the cutoff, taken in 64-bit integers so no cutoff overflows.
  const double areaFloor = static_cast<double>(std::int64_t{5} * cutoff);

  for (channel& transition : run.channels) {
    std::vector<chrom> survivors;
    for (const chrom& candidate : transition.chroms) {
      bool matched = false;
      for (chrom& survivor : survivors) {
        if (candidate.peakMz > survivor.peakMz - massTolerance && candidate.peakMz < survivor.peakMz + massTolerance &&
            candidate.apexTime > survivor.apexTime - timeWindow &&
            candidate.apexTime < survivor.apexTime + timeWindow) {
          if (candidate.area > survivor.area) survivor = candidate;
          matched = true;
          break;
        }
      }
      if (!matched && candidate.area > areaFloor) survivors.push_back(candidate);
    }
    transition.chroms = std::move(survivors);
  }
}
