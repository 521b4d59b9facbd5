#ifndef TORVA_PROCESSING_PEAK_DETECTION_H
#define TORVA_PROCESSING_PEAK_DETECTION_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "processing/spectrum_index.h"
#include "processing/symmlet8_kernels.h"
#include "processing/trace_cache.h"
#include "records/chrom.h"

class filterer;

// Denoising settings of peak detection.
constexpr int kDenoisePasses = 10;
constexpr double kDenoiseFraction = 0.15;

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

  // The same in three steps, when denoising, so that the middle one can run
  // beside other work: prepareTraces() consults the cache and returns how
  // many traces are to be computed; computeJob() computes the job-th of them
  // with the buffers of worker `worker` (side by side on any threads, each job
  // once); completeTraces() keeps them in the cache and fills in the repeats.
  // One batch at a time goes through the three.
  bool denoises() const { return denoise_; }
  std::size_t workers() const { return workers_; }
  std::size_t prepareTraces(const std::vector<const std::vector<double>*>& raws,
                            std::vector<std::vector<double>>& processed);
  void computeJob(std::size_t job, const std::vector<const std::vector<double>*>& raws,
                  std::vector<std::vector<double>>& processed, std::size_t worker);
  void completeTraces(const std::vector<const std::vector<double>*>& raws,
                      std::vector<std::vector<double>>& processed);

  // findPeak, then the feature mass: the mean m/z of the in-window peaks of the
  // spectra behind the peak's points.
  bool detect(chrom& X, const std::vector<double>& raw, const std::vector<double>& processed,
              const std::vector<double>& times, const std::vector<std::int32_t>& scanNumbers) const;

 private:
  // The processed form of one trace, with the buffers of worker `worker`.
  void computeTrace(const std::vector<double>& raw, std::vector<double>& processed, std::size_t worker);

  const ChannelSpectra& spectra_;
  double cutoffLevel_;
  double edgeFloor_;
  double massTolerance_;
  double massPpm_;
  bool denoise_;
  TraceCache cache_;
  std::size_t workers_;
  // Per worker thread: wavelet buffers.
  std::vector<WaveletWorkspace> wavelets_;
  // Per batch: trace hashes, traces to compute, and repeats of earlier ones.
  std::vector<std::uint64_t> keys_;
  std::vector<std::size_t> jobs_;
  std::vector<std::size_t> repeatOf_;
  std::vector<std::size_t> positions_;  // cache positions reserved for the jobs
  bool fillInJobs_ = false;             // the jobs fill their positions themselves
  // The cache is used while it pays. The first kCacheTrial lookups find only
  // repeats within their batches and store nothing; if they found
  // (almost) none, the channel's remaining traces are simply computed, else
  // new traces are stored from then on, as long as lookups keep finding some.
  static constexpr std::size_t kCacheTrial = 256;
  std::size_t lookups_ = 0;
  std::size_t hits_ = 0;
  bool cacheUsed_ = true;
  bool storing_ = false;
};

#endif
