// Peak detection of every chromatogram, batch by batch: denoise and smooth the
// traces (side by side, through the cache of processed traces), find each peak
// (processing/peak_finding.cpp) and average the m/z of the feature's peaks.
#include "processing/peak_detection.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "processing/filterer.h"
#include "processing/smoothing.h"
#include "records/run_data.h"
#include "util/mass_window.h"
#include "util/parallel_for.h"
#include "util/same_bits.h"

namespace {

// Processed traces kept per channel for chromatograms with identical raw traces.
const std::size_t kTraceCacheBytes = std::size_t{32} << 20;

}  // namespace

ChannelPeakDetector::ChannelPeakDetector(const filterer& params, const ChannelSpectra& spectra)
    : spectra_(spectra),
      cutoffLevel_(static_cast<double>(params.cutoff)),
      edgeFloor_(static_cast<double>(params.cutoff / 500)),
      massTolerance_(params.massTolerance),
      massPpm_(params.massPpm),
      denoise_(params.skipDenoise == 0),
      cache_(kTraceCacheBytes),
      workers_(workerCount()),
      wavelets_(workers_) {}

void ChannelPeakDetector::computeTrace(const std::vector<double>& raw, std::vector<double>& processed,
                                       std::size_t worker) {
  // Smoothed straight from where the denoising left the trace.
  smoothSevenPoint(symmlet8::denoised(raw, kDenoiseFraction, kDenoisePasses, wavelets_[worker]), raw.size(),
                   processed);
}

void ChannelPeakDetector::processedTraces(const std::vector<const std::vector<double>*>& raws,
                                          std::vector<std::vector<double>>& processed) {
  const std::size_t count = raws.size();
  if (processed.size() < count) processed.resize(count);
  // Without denoising the processing is one cheap pass; not worth a lookup.
  if (!denoise_) {
    for (std::size_t i = 0; i < count; ++i) {
      smoothSevenPoint(raws[i]->data(), raws[i]->size(), processed[i]);
    }
    return;
  }
  prepareTraces(raws, processed, plan_);
  parallelFor(plan_.jobs.size(), workers_,
              [&](std::size_t job, std::size_t worker) { computeJob(plan_, job, raws, processed, worker); });
  completeTraces(plan_, raws, processed);
}

void ChannelPeakDetector::prepareTraces(const std::vector<const std::vector<double>*>& raws,
                                        std::vector<std::vector<double>>& processed, TraceBatchPlan& plan) {
  const std::size_t count = raws.size();
  if (processed.size() < count) processed.resize(count);
  const std::size_t none = static_cast<std::size_t>(-1);
  plan.repeatOf.assign(count, none);
  plan.jobs.clear();
  plan.positions.clear();
  plan.usesCache = cacheUsed_;
  plan.stores = storing_;
  plan.fillIn = false;
  if (!plan.usesCache) {
    for (std::size_t i = 0; i < count; ++i) plan.jobs.push_back(i);
    return;
  }
  plan.keys.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<double>& raw = *raws[i];
    plan.keys[i] = TraceCache::hash(raw);
    ++lookups_;
    if (const std::vector<double>* known = cache_.find(plan.keys[i], raw)) {
      processed[i].assign(known->begin(), known->end());
      ++hits_;
      continue;
    }
    for (std::size_t j : plan.jobs) {
      if (plan.keys[j] == plan.keys[i] && sameBits(*raws[j], raw)) {
        plan.repeatOf[i] = j;
        ++hits_;
        break;
      }
    }
    if (plan.repeatOf[i] == none) plan.jobs.push_back(i);
  }
  if (!plan.stores) return;
  // The new traces go into the cache; when they fit its budget together, each
  // job copies its own entry, side by side with the others.
  std::size_t batchBytes = 0;
  for (std::size_t i : plan.jobs) batchBytes += TraceCache::entryBytes(raws[i]->size(), raws[i]->size());
  plan.fillIn = batchBytes <= cache_.byteBudget();
  if (plan.fillIn) {
    for (std::size_t i : plan.jobs)
      plan.positions.push_back(cache_.reserve(plan.keys[i], raws[i]->size(), raws[i]->size()));
  }
}

void ChannelPeakDetector::computeJob(const TraceBatchPlan& plan, std::size_t job,
                                     const std::vector<const std::vector<double>*>& raws,
                                     std::vector<std::vector<double>>& processed, std::size_t worker) {
  const std::size_t i = plan.jobs[job];
  computeTrace(*raws[i], processed[i], worker);
  if (plan.fillIn) cache_.fill(plan.positions[job], *raws[i], processed[i]);
}

void ChannelPeakDetector::completeTraces(const TraceBatchPlan& plan,
                                         const std::vector<const std::vector<double>*>& raws,
                                         std::vector<std::vector<double>>& processed) {
  if (!plan.usesCache) return;
  if (plan.stores && !plan.fillIn) {
    for (std::size_t i : plan.jobs) cache_.insert(plan.keys[i], *raws[i], processed[i]);
  }
  const std::size_t none = static_cast<std::size_t>(-1);
  for (std::size_t i = 0; i < raws.size(); ++i) {
    if (plan.repeatOf[i] != none) processed[i] = processed[plan.repeatOf[i]];
  }
  if (lookups_ >= kCacheTrial) {
    storing_ = hits_ * 100 >= lookups_;
    if (!storing_) {
      cacheUsed_ = false;
      cache_ = TraceCache(cache_.byteBudget());  // its traces are of no more use
    }
  }
}

bool ChannelPeakDetector::detect(chrom& X, const std::vector<double>& raw, const std::vector<double>& y,
                                 const std::vector<double>& times,
                                 const std::vector<std::int32_t>& scanNumbers) const {
  PeakSpan span;
  if (!findPeak(X, raw, y, times, scanNumbers, cutoffLevel_, edgeFloor_, span)) return false;

  // Feature mass: mean m/z of the in-window peaks of the spectra behind points
  // S .. E-1 (point k of a chromatogram is built from the channel's k-th spectrum).
  const double window = massWindow(X.mz, massTolerance_, massPpm_);
  const double low = X.mz - window;
  const double high = X.mz + window;
  double sum = 0.0;
  long long count = 0;
  for (std::size_t k = span.start; k < span.end; ++k) spectra_.addMassesInWindow(k, low, high, sum, count);
  if (count > 0) X.peakMz = sum / count;
  return true;
}

void filterer::processXIC(RunData& run) {
  // Chromatograms in batches: the processed traces of a batch are computed
  // together (side by side where the machine allows), then each is detected.
  for (channel& ch : run.channels) {
    noteChannel(run.channels, ch);
    processChannelXIC(run, ch, &run.channels);
  }
}

void filterer::processChannelXIC(RunData& run, channel& ch, const std::vector<channel>* channels,
                                 const ChannelSpectra* prepared) {
  const std::size_t kBatch = 256;
  std::vector<const std::vector<double>*> raws;
  std::vector<std::vector<double>> processed;
  if (ch.chroms.empty()) return;
  std::unique_ptr<ChannelSpectra> own;
  ChannelPeakDetector detector(*this, preparedSpectra(prepared, own, run, ch));
  const std::vector<std::size_t> order = orderByMz(ch.chroms, 0);
  for (std::size_t begin = 0; begin < order.size(); begin += kBatch) {
    if (channels != nullptr) noteChannel(*channels, ch, begin, order.size());
    const std::size_t count = std::min(kBatch, order.size() - begin);
    raws.clear();
    for (std::size_t t = 0; t < count; ++t) raws.push_back(&ch.chroms[order[begin + t]].intensities);
    detector.processedTraces(raws, processed);
    for (std::size_t t = 0; t < count; ++t) {
      chrom& X = ch.chroms[order[begin + t]];
      X.apexTime = 0;
      X.apexIntensity = 0;
      // With a peak the chromatogram keeps its raw trace; without one it shows
      // the processed trace.
      if (!detector.detect(X, X.intensities, processed[t], X.times, X.scanNumbers)) {
        X.intensities.swap(processed[t]);
      }
    }
  }
}
