// Peak detection and quantitation of every chromatogram: denoise and smooth the
// trace, find the apex nearest the seed spectrum, walk down both flanks, integrate
// the raw trace between the edges and average the m/z of the feature's peaks.
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

const int kDropsEndingWalk = 2;
const double kWidestFlank = 30;  // per side, in the unit of rt (seconds for mzXML)
// Processed traces kept per channel for chromatograms with identical raw traces.
const std::size_t kTraceCacheBytes = std::size_t{32} << 20;

// The highest point one apex walk has met, and how often it went downhill.
struct ApexWalk {
  double highest = 0.0;
  std::size_t index = 0;
  double time = 0;
  std::int32_t scanNumber = 0;
  int drops = 0;

  // Takes the point at k; returns false once the walk is over.
  bool visit(const std::vector<double>& y, const std::vector<double>& times,
             const std::vector<std::int32_t>& scanNumbers, std::size_t k, double cutoff) {
    const double value = y.at(k);
    if (value > highest) {
      highest = value;
      index = k;
      time = times.at(k);
      scanNumber = scanNumbers.at(k);
    } else if (value < highest) {
      ++drops;
    } else if (highest < cutoff) {
      // A flat stretch at a level below the cutoff (typically zeros) ends the walk.
      return false;
    }
    return drops < kDropsEndingWalk;
  }
};

// Index of the first point whose time equals the seed time exactly, or -1.
std::ptrdiff_t seedIndex(const std::vector<double>& times, double seedTime, std::size_t points) {
  for (std::size_t k = 0; k < times.size() && k < points; ++k) {
    if (times[k] == seedTime) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

// One below the first point at which the left flank stops descending, runs
// below the floor or lies too far from the apex; -1 for an apex at index 0.
std::ptrdiff_t peakStart(const std::vector<double>& y, const std::vector<double>& raw,
                         const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return -1;
  if (apex == 1) return 0;
  const std::size_t n = y.size();
  std::size_t left = apex;
  for (;;) {
    // An apex at the last point has no flank walk at all.
    if (left + 1 >= n) return static_cast<std::ptrdiff_t>(left) - 1;
    const bool descends =
        y.at(left) > y.at(left - 1) && raw.at(left) > floor && t.at(apex) - t.at(left) <= kWidestFlank;
    if (!descends) return static_cast<std::ptrdiff_t>(left) - 1;
    --left;
    if (left <= 1) return static_cast<std::ptrdiff_t>(left) - 1;
  }
}

// One past the first point at which the right flank stops descending, runs
// below the floor or lies too far from the apex.
std::size_t peakEnd(const std::vector<double>& y, const std::vector<double>& raw,
                    const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return 1;
  const std::size_t n = y.size();
  std::size_t right = apex;
  for (;;) {
    if (right + 1 >= n) return right + 1;
    const bool descends =
        y.at(right) > y.at(right + 1) && raw.at(right) > floor && t.at(right) - t.at(apex) <= kWidestFlank;
    if (!descends) return right + 1;
    ++right;
  }
}

void markNoPeak(chrom& X) {
  X.apexIntensity = 0;
  X.apexTime = 0;
  X.apexScan = 0;
  X.peakMz = X.mz;
}

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
  const std::size_t jobs = prepareTraces(raws, processed);
  parallelFor(jobs, workers_,
              [&](std::size_t job, std::size_t worker) { computeJob(job, raws, processed, worker); });
  completeTraces(raws, processed);
}

std::size_t ChannelPeakDetector::prepareTraces(const std::vector<const std::vector<double>*>& raws,
                                               std::vector<std::vector<double>>& processed) {
  const std::size_t count = raws.size();
  if (processed.size() < count) processed.resize(count);
  const std::size_t none = static_cast<std::size_t>(-1);
  repeatOf_.assign(count, none);
  jobs_.clear();
  positions_.clear();
  fillInJobs_ = false;
  if (!cacheUsed_) {
    for (std::size_t i = 0; i < count; ++i) jobs_.push_back(i);
    return jobs_.size();
  }
  keys_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<double>& raw = *raws[i];
    keys_[i] = TraceCache::hash(raw);
    ++lookups_;
    if (const std::vector<double>* known = cache_.find(keys_[i], raw)) {
      processed[i].assign(known->begin(), known->end());
      ++hits_;
      continue;
    }
    for (std::size_t j : jobs_) {
      if (keys_[j] == keys_[i] && sameBits(*raws[j], raw)) {
        repeatOf_[i] = j;
        ++hits_;
        break;
      }
    }
    if (repeatOf_[i] == none) jobs_.push_back(i);
  }
  if (!storing_) return jobs_.size();
  // The new traces go into the cache; when they fit its budget together, each
  // job copies its own entry, side by side with the others.
  std::size_t batchBytes = 0;
  for (std::size_t i : jobs_) batchBytes += TraceCache::entryBytes(raws[i]->size(), raws[i]->size());
  fillInJobs_ = batchBytes <= cache_.byteBudget();
  if (fillInJobs_) {
    for (std::size_t i : jobs_)
      positions_.push_back(cache_.reserve(keys_[i], raws[i]->size(), raws[i]->size()));
  }
  return jobs_.size();
}

void ChannelPeakDetector::computeJob(std::size_t job, const std::vector<const std::vector<double>*>& raws,
                                     std::vector<std::vector<double>>& processed, std::size_t worker) {
  const std::size_t i = jobs_[job];
  computeTrace(*raws[i], processed[i], worker);
  if (fillInJobs_) cache_.fill(positions_[job], *raws[i], processed[i]);
}

void ChannelPeakDetector::completeTraces(const std::vector<const std::vector<double>*>& raws,
                                         std::vector<std::vector<double>>& processed) {
  if (!cacheUsed_) return;
  if (storing_ && !fillInJobs_) {
    for (std::size_t i : jobs_) cache_.insert(keys_[i], *raws[i], processed[i]);
  }
  const std::size_t none = static_cast<std::size_t>(-1);
  for (std::size_t i = 0; i < raws.size(); ++i) {
    if (repeatOf_[i] != none) processed[i] = processed[repeatOf_[i]];
  }
  if (lookups_ >= kCacheTrial) {
    storing_ = hits_ * 100 >= lookups_;
    if (!storing_) {
      cacheUsed_ = false;
      cache_ = TraceCache(cache_.byteBudget());  // its traces are of no more use
    }
  }
}

bool findPeak(chrom& X, const std::vector<double>& raw, const std::vector<double>& y,
              const std::vector<double>& times, const std::vector<std::int32_t>& scanNumbers,
              double cutoffLevel, double edgeFloor, PeakSpan& span) {
  const std::size_t n = y.size();
  const std::ptrdiff_t seed = seedIndex(times, X.seedTime, n);
  if (seed < 0) {
    markNoPeak(X);
    return false;
  }
  const std::size_t e = static_cast<std::size_t>(seed);

  ApexWalk left;
  left.index = e;
  for (std::size_t k = e + 1; k-- > 0;) {
    if (!left.visit(y, times, scanNumbers, k, cutoffLevel)) break;
  }
  ApexWalk right;
  right.index = e;
  for (std::size_t k = e; k < n; ++k) {
    if (!right.visit(y, times, scanNumbers, k, cutoffLevel)) break;
  }

  // The walk that climbed; when both did, the apex nearer the seed (left on a tie).
  const ApexWalk* chosen = &right;
  if (left.index != e) {
    if (right.index == e || e - left.index <= right.index - e) chosen = &left;
  }
  if (chosen->highest == 0 || X.mz == 0) {
    markNoPeak(X);
    return false;
  }

  // A windowed target's peak must have its apex inside the window.
  if (X.windowed && !(chosen->time >= X.windowLow && chosen->time <= X.windowHigh)) {
    markNoPeak(X);
    return false;
  }

  const std::size_t apex = chosen->index;
  const std::ptrdiff_t start = peakStart(y, raw, times, apex, edgeFloor);
  const std::size_t S = start < 0 ? 0 : static_cast<std::size_t>(start);
  const std::size_t E = peakEnd(y, raw, times, apex, edgeFloor);
  X.area = trapezoidArea(times, raw, static_cast<int>(S), static_cast<int>(E));
  X.apexIntensity = chosen->highest;
  X.apexTime = chosen->time;
  X.peakMz = X.mz;
  X.startScan = scanNumbers.at(S);
  X.endScan = scanNumbers.at(E - 1);
  X.apexScan = scanNumbers.at(apex);
  span = PeakSpan{apex, S, E};
  return true;
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
