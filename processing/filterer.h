#ifndef TORVA_PROCESSING_FILTERER_H
#define TORVA_PROCESSING_FILTERER_H

#include <cstdint>
#include <vector>

#include "records/records.h"
#include "records/chrom.h"

class fileHandle;

// The signal processor: the processing parameters of a run and the operations
// that build, denoise, quantify and thin out chromatograms and filter spectra.
// It keeps nothing between calls; every operation works on the store it is handed.
class filterer {
 public:
  filterer();
  virtual ~filterer();

  std::int32_t cutoff = 1000;   // intensity cutoff (the driver sets -C)
  double massTolerance = 0.5;   // half-width of every m/z window, daltons
  double timeTolerance = 1.0;   // retention-time tolerance, minutes
  std::int32_t skipDenoise = 0; // non-zero: peak detection skips wavelet denoising

  // Chromatogram generation.
  void pickPeaks(scan* spectrum, std::vector<datapeak>& out);
  void generateXIC(fileHandle& run);

  // Peak detection and quantitation of every chromatogram.
  void processXIC(fileHandle& run);

  // generateXIC followed by processXIC, for runs whose later steps read only the
  // peak figures: each chromatogram's trace is built, quantified and dropped at
  // once, so the chromatograms keep empty times, intensities and scanNumbers.
  // Every other field is exactly what the two separate steps give.
  void generateAndProcessXIC(fileHandle& run);

  // Savitzky-Golay smoothing (window selector: <=5 -> 7 points, 6..10 -> 17,
  // >=11 -> 25) and the trapezoid area between `start` and `end` (exclusive).
  void SGsmooth(int window, chrom& X);
  void trapizoid(chrom& X, int start, int end);

  // Repeated shifted Symmlet-8 wavelet shrinkage of X.intensities.
  void waveletDenoise(double& fraction, int passes, chrom& X);

  // Spectral filters.
  void deIsotope(fileHandle& run);
  bool isIsotope(datapeak& candidate, datapeak& lighter);
  void removeH2O(fileHandle& run);
  bool isOLoss(datapeak& candidate, datapeak& parent);
  bool isH2OLoss(datapeak& candidate, datapeak& parent);

  // Culling of chromatograms that repeat a stronger neighbour's feature.
  void cullXIC(fileHandle& run);
};

#endif
