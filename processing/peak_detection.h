#ifndef TORVA_PROCESSING_PEAK_DETECTION_H
#define TORVA_PROCESSING_PEAK_DETECTION_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "processing/peak_finding.h"
#include "processing/spectrum_index.h"
#include "processing/trace_cache.h"
#include "processing/wavelet/symmlet8_kernels.h"
#include "records/chrom.h"

class filterer;

// Denoising settings of peak detection.
constexpr int kDenoisePasses = 10;
constexpr double kDenoiseFraction = 0.15;

// Peak detection for the chromatograms of one channel. It keeps the buffers and
// the cache of processed traces that the chromatograms of the channel share;
// every chromatogram's figures come out exactly as if it were processed alone.
// What ChannelPeakDetector::prepareTraces() planned for one batch of traces:
// which to compute, which repeat an earlier one of the batch, and how their
// results go into the trace cache. The compute and complete steps take it, so
// a batch is always finished by the plan it was prepared with.
struct TraceBatchPlan {
  std::vector<std::size_t> jobs;       // traces to compute, in batch order
  std::vector<std::size_t> repeatOf;   // per trace: the trace of the batch it repeats, or none (-1)
  std::vector<std::uint64_t> keys;     // per trace: its hash, when the cache was consulted
  std::vector<std::size_t> positions;  // per job: the cache position it fills itself
  bool usesCache = false;              // the cache was consulted for the batch
  bool stores = false;                 // the batch's new traces go into the cache
  bool fillIn = false;                 // ... each job filling its own position
};

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
  // beside other work: prepareTraces() consults the cache and writes the
  // batch's plan (its storage reused); computeJob() computes the plan's job-th
  // trace with the buffers of worker `worker` (side by side on any threads,
  // each job once); completeTraces() keeps them in the cache and fills in the
  // repeats. A batch is completed before the next one is prepared.
  bool denoises() const { return denoise_; }
  std::size_t workers() const { return workers_; }
  void prepareTraces(const std::vector<const std::vector<double>*>& raws,
                     std::vector<std::vector<double>>& processed, TraceBatchPlan& plan);
  void computeJob(const TraceBatchPlan& plan, std::size_t job,
                  const std::vector<const std::vector<double>*>& raws,
                  std::vector<std::vector<double>>& processed, std::size_t worker);
  void completeTraces(const TraceBatchPlan& plan, const std::vector<const std::vector<double>*>& raws,
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
  TraceBatchPlan plan_;  // the batch of processedTraces()
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
