#ifndef TORVA_PROCESSING_MASS_TRACES_H
#define TORVA_PROCESSING_MASS_TRACES_H

#include <cstddef>
#include <vector>

#include "records/records.h"

// How centroid mass traces are followed through a channel's spectra.
struct MassTraceSettings {
  double ppm = 10;            // a peak joins a trace within this many ppm of the trace's running mean m/z
  std::size_t maxGap = 2;     // spectra in a row a trace may miss and still go on
  std::size_t minPoints = 5;  // peaks a trace needs to be kept
  double noiseLevel = -1;     // apex intensity a kept trace must exceed; negative: estimated from the data
  double noiseFactor = 3;     // an estimated noise level is this many times the median centroid intensity
};

// One centroid mass trace: a run of peaks of nearly the same m/z in nearby
// spectra. Spectrum positions count from 0 within the list traced.
struct MassTrace {
  double mz = 0;          // intensity-weighted mean m/z of its peaks
  std::size_t first = 0;  // position of its first and last spectrum
  std::size_t last = 0;
  std::size_t apex = 0;  // position of the spectrum holding its most intense peak (the first such)
  double apexIntensity = 0;
  std::size_t points = 0;  // peaks it holds
};

// Noise level of a list of spectra: noiseFactor times the median intensity of
// all their positive, finite centroids (most centroids of a full scan are
// noise); 0 when there are none.
double estimateNoiseLevel(const std::vector<const scan*>& spectra, double noiseFactor);

// Follows the centroids of `spectra` (in the order given) into mass traces.
// In each spectrum the peaks are taken from the most intense down (equal
// intensities by m/z); each joins the nearest trace, by m/z, that is still open,
// has no peak of this spectrum yet and whose running mean lies within `ppm` of
// the peak; a peak that joins none starts a trace. A trace that has missed more
// than maxGap spectra in a row is closed. Kept are the traces with at least
// minPoints peaks whose apex exceeds the noise level (settings.noiseLevel, or
// the estimate when that is negative), ordered by apex spectrum, then m/z.
// Peaks without a positive, finite intensity or a finite m/z are ignored. The
// result depends only on the spectra and settings.
std::vector<MassTrace> buildMassTraces(const std::vector<const scan*>& spectra,
                                       const MassTraceSettings& settings);

#endif
