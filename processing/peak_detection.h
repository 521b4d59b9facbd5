#ifndef TORVA_PROCESSING_PEAK_DETECTION_H
#define TORVA_PROCESSING_PEAK_DETECTION_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/chrom.h"
#include "processing/spectrum_index.h"
#include "processing/symmlet8_kernels.h"
#include "processing/trace_cache.h"

class filterer;

// Peak detection for the chromatograms of one channel. It keeps the buffers and
// the cache of processed traces that the chromatograms of the channel share;
// every chromatogram's figures come out exactly as if it were processed alone.
class ChannelPeakDetector {
 public:
  ChannelPeakDetector(const filterer& params, const ChannelSpectra& spectra);

  // The denoised (unless denoising is skipped) and smoothed forms of the
  // traces *raws[0 .. raws.size()-1], into processed[0 ..] (grown as needed).
  // Traces that are neither in the cache nor repeated within the batch are
  // processed side by side on the worker threads; each one's result depends on
  // that trace alone, so it is the same whichever thread computes it.
  void processedTraces(const std::vector<const std::vector<double>*>& raws,
                       std::vector<std::vector<double>>& processed);

  // Sets the peak figures of X (apex, edges, area, feature mass) from its raw
  // trace, its processed trace and the channel's time axis and scan numbers.
  // Returns false when there is no peak: the apex figures are then 0, peakMz is
  // X.mz, and area, startScan and endScan are left as they were.
  bool detect(chrom& X, const std::vector<double>& raw, const std::vector<double>& processed,
              const std::vector<double>& times, const std::vector<std::int32_t>& scanNumbers) const;

 private:
  const ChannelSpectra& spectra_;
  double cutoffLevel_;
  double edgeFloor_;
  double massTolerance_;
  double massPpm_;
  bool denoise_;
  TraceCache cache_;
  std::size_t workers_;
  // Per worker thread: wavelet buffers and smoothing scratch.
  std::vector<WaveletWorkspace> wavelets_;
  std::vector<std::vector<double>> scratch_;
  // Per batch: trace hashes, traces to compute, and repeats of earlier ones.
  std::vector<std::uint64_t> keys_;
  std::vector<std::size_t> jobs_;
  std::vector<std::size_t> repeatOf_;
};

#endif
