// Peak picking and extracted-ion chromatogram generation.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "processing/filterer.h"
#include "processing/mass_traces.h"
#include "processing/peak_detection.h"
#include "processing/spectrum_index.h"
#include "processing/xic_seeding.h"
#include "records/run_data.h"
#include "util/parallel_for.h"

void filterer::pickPeaks(scan* spectrum, std::vector<datapeak>& out) {
  if (spectrum == nullptr) return;
  const double intensityFloor = static_cast<double>(cutoff);
  for (const StoredPeak& stored : spectrum->peaks) {
    if (!(stored.intensity > intensityFloor)) continue;
    // A spectrum without a stated total ion current (0) passes any positive peak.
    if (!(stored.intensity > 0.025 * spectrum->totIonCurrent)) continue;
    // The picked peak remembers its spectrum's time.
    datapeak peak = stored;
    peak.rt = spectrum->rt;
    out.push_back(peak);
  }
}

namespace {

// A channel of full scans: every spectrum of MS level 1 (or of no stated level).
bool fullScanChannel(const RunData& run, const channel& ch) {
  if (run.SRM) return false;
  for (std::size_t index : ch.scans) {
    if (run.scans.at(index).msLevel > 1) return false;
  }
  return true;
}

// A chromatogram of target `mz`, seeded at `spectrum` with `intensity`.
chrom seededChrom(double mz, double intensity, const scan& spectrum) {
  chrom X;
  X.mz = mz;
  X.seedIntensity = intensity;
  X.seedTime = spectrum.rt;
  X.seedScan = static_cast<std::int32_t>(spectrum.num);
  return X;
}

// Appends one chromatogram per mass trace of the channel, seeded at the trace's
// apex spectrum with its intensity-weighted m/z.
void appendTraceSeededChroms(const filterer& processor, const RunData& run, channel& ch) {
  std::vector<const scan*> spectra;
  spectra.reserve(ch.scans.size());
  for (std::size_t index : ch.scans) spectra.push_back(&run.scans.at(index));
  for (const MassTrace& trace : buildMassTraces(spectra, processor.traceSettings)) {
    ch.chroms.push_back(seededChrom(trace.mz, trace.apexIntensity, *spectra[trace.apex]));
  }
}

// Appends one chromatogram per peak picked in each spectrum of the channel,
// spectrum by spectrum. Blocks of spectra are picked side by side and their
// chromatograms joined in order.
void appendPickedChroms(filterer& processor, RunData& run, channel& ch) {
  const std::size_t spectrumCount = ch.scans.size();
  const std::size_t blockSize = 64;
  std::vector<std::vector<chrom>> blocks((spectrumCount + blockSize - 1) / blockSize);
  parallelFor(blocks.size(), workerCount(), [&](std::size_t block, std::size_t) {
    std::vector<datapeak> seeds;
    const std::size_t end = std::min(spectrumCount, (block + 1) * blockSize);
    for (std::size_t k = block * blockSize; k < end; ++k) {
      scan& spectrum = run.scans.at(ch.scans.at(k));
      seeds.clear();
      processor.pickPeaks(&spectrum, seeds);
      for (const datapeak& seed : seeds)
        blocks[block].push_back(seededChrom(seed.mz, seed.intensity, spectrum));
    }
  });
  std::size_t total = ch.chroms.size();
  for (const std::vector<chrom>& picked : blocks) total += picked.size();
  ch.chroms.reserve(total);
  for (std::vector<chrom>& picked : blocks) {
    for (chrom& X : picked) ch.chroms.push_back(std::move(X));
  }
}

}  // namespace

void appendSeededChroms(filterer& processor, RunData& run, channel& ch) {
  if (processor.seedFromTraces && run.targetPeaks.empty() && fullScanChannel(run, ch)) {
    appendTraceSeededChroms(processor, run, ch);
    return;
  }
  if (run.targetPeaks.empty()) {
    appendPickedChroms(processor, run, ch);
    return;
  }
  // Targets: one chromatogram each, seeded at the channel's first spectrum.
  if (ch.scans.empty()) return;
  const scan& seedSpectrum = run.scans.at(ch.scans.at(0));
  for (std::size_t i = 0; i < run.targetPeaks.size(); ++i) {
    chrom X = seededChrom(run.targetPeaks[i].mz, run.targetPeaks[i].intensity, seedSpectrum);
    if (i < run.targetWindows.size() && run.targetWindows[i].bounded) {
      X.windowed = true;
      X.windowLow = run.targetWindows[i].low;
      X.windowHigh = run.targetWindows[i].high;
    }
    ch.chroms.push_back(std::move(X));
  }
}

// Seeded at the channel's first spectrum instead, the apex search would stop at
// once on the zeros before a compound elutes, and a targeted run would find
// almost nothing. A target with a time window looks only at the spectra inside
// it (from its first one).
void seedAtTraceMaximum(chrom& X, const std::vector<double>& trace, const std::vector<double>& times,
                        const std::vector<std::int32_t>& scanNumbers) {
  const auto inWindow = [&](std::size_t k) {
    return !X.windowed || (k < times.size() && times[k] >= X.windowLow && times[k] <= X.windowHigh);
  };
  std::size_t best = 0;
  while (best + 1 < trace.size() && !inWindow(best)) ++best;
  for (std::size_t k = best + 1; k < trace.size(); ++k) {
    if (inWindow(k) && trace[k] > trace[best]) best = k;
  }
  if (best >= times.size()) return;
  X.seedTime = times[best];
  X.seedScan = scanNumbers[best];
}

namespace {

// The time axis and scan numbers shared by every chromatogram of a channel.
struct ChannelAxis {
  std::vector<double> times;
  std::vector<std::int32_t> scanNumbers;

  ChannelAxis(const RunData& run, const channel& ch) {
    times.reserve(ch.scans.size());
    scanNumbers.reserve(ch.scans.size());
    for (std::size_t index : ch.scans) {
      const scan& spectrum = run.scans.at(index);
      times.push_back(spectrum.rt);
      scanNumbers.push_back(static_cast<std::int32_t>(spectrum.num));
    }
  }
};

// Seeds a channel's chromatograms and walks their raw traces in m/z order, a
// block at a time, so that each m/z window starts where the previous one
// ended. `use(X, copyTrace, changed)` is called once per new chromatogram:
// copyTrace(out) copies X's raw trace into `out` (at most once per chromatogram, in
// the order they are handed over) and returns its total, added point by point
// in channel order from 0 (a fresh chromatogram's total is 0, and 0 plus this
// total is this total), and `changed` is false when
// that trace equals the previous chromatogram's, so the caller need not copy it.
// With `seed` false the chromatograms already there are walked instead (all of them).
// Each block is swept on up to *sweepWorkers threads (0 or none: all).
template <typename Use>
void sweepChannelTraces(filterer& processor, RunData& run, channel& ch, const ChannelSpectra& spectra,
                        Use use, bool seed = true, const std::size_t* sweepWorkers = nullptr) {
  std::size_t first = 0;
  if (seed) {
    first = ch.chroms.size();
    appendSeededChroms(processor, run, ch);
  }
  WindowSweep sweep(spectra, processor.massTolerance, processor.massPpm);
  const std::vector<std::size_t> order = orderByMz(ch.chroms, first);
  double targets[WindowSweep::kBlock];
  bool changed[WindowSweep::kBlock];
  for (std::size_t begin = 0; begin < order.size(); begin += WindowSweep::kBlock) {
    processor.noteChannel(run.channels, ch, begin, order.size());
    const std::size_t count = std::min(WindowSweep::kBlock, order.size() - begin);
    for (std::size_t t = 0; t < count; ++t) targets[t] = ch.chroms[order[begin + t]].mz;
    sweep.trace(targets, count, changed, sweepWorkers != nullptr ? *sweepWorkers : 0);
    for (std::size_t t = 0; t < count; ++t) {
      const auto copyTrace = [&](std::vector<double>& out) { return sweep.column(t, out); };
      use(ch.chroms[order[begin + t]], copyTrace, changed[t]);
    }
  }
}

}  // namespace

void filterer::generateChannelXIC(RunData& run, channel& ch, bool seed, const ChannelSpectra* prepared) {
  if (ch.scans.empty()) return;
  const bool targeted = !run.targetPeaks.empty();
  const ChannelAxis axis(run, ch);
  std::unique_ptr<ChannelSpectra> own;
  const ChannelSpectra& spectra = preparedSpectra(prepared, own, run, ch);
  const chrom* previous = nullptr;
  sweepChannelTraces(
      *this, run, ch, spectra,
      [&](chrom& X, const auto& copyTrace, bool changed) {
        X.times = axis.times;
        X.scanNumbers = axis.scanNumbers;
        if (changed || previous == nullptr) {
          X.totalIntensity += copyTrace(X.intensities);
        } else {
          // The same trace as the previous chromatogram, and so the same total.
          X.intensities = previous->intensities;
          X.totalIntensity += previous->totalIntensity;
        }
        if (targeted) seedAtTraceMaximum(X, X.intensities, axis.times, axis.scanNumbers);
        previous = &X;
      },
      seed);
}

void filterer::generateXIC(RunData& run) {
  for (channel& ch : run.channels) {
    noteChannel(run.channels, ch);
    generateChannelXIC(run, ch, true);
  }
}

void filterer::generateAndProcessXIC(RunData& run) {
  for (channel& ch : run.channels) {
    noteChannel(run.channels, ch);
    generateAndProcessChannelXIC(run, ch, true);
  }
}

void filterer::generateAndProcessChannelXIC(RunData& run, channel& ch, bool seed,
                                            const ChannelSpectra* prepared) {
  if (ch.scans.empty()) return;
  const bool targeted = !run.targetPeaks.empty();
  // Raw traces are gathered a batch at a time; the batch's processed traces
  // are computed together, then each chromatogram is detected. Only the peak
  // figures stay. When denoising, a full batch is computed on the worker
  // threads while this thread detects the batch before it and gathers the
  // next one, then joins in. Two batches of 128 traces (raw and processed)
  // are held at a time: larger ones only held more memory (256 took 15 MiB
  // more on the benchmark's full run, and 2 % longer).
  const std::size_t kBatchTraces = 128;
  struct Batch {
    std::vector<std::vector<double>> raws = std::vector<std::vector<double>>(kBatchTraces);
    std::vector<const std::vector<double>*> rawOf;  // into raws, which is never resized
    std::vector<std::size_t> traceOf;
    std::vector<chrom*> chroms;
    std::vector<std::vector<double>> processed;
  };
  Batch batches[2];
  Batch* filling = &batches[0];
  Batch* computing = nullptr;  // the batch being computed aside
  const ChannelAxis axis(run, ch);
  std::unique_ptr<ChannelSpectra> own;
  const ChannelSpectra& spectra = preparedSpectra(prepared, own, run, ch);
  ChannelPeakDetector detector(*this, spectra);
  ParallelBatch aside;  // after what its threads use: it waits for them first
  double total = 0;
  // While a batch is computed aside, the next one is swept on this thread alone.
  std::size_t sweepWorkers = 0;
  const auto detectAll = [&](Batch& batch) {
    for (std::size_t t = 0; t < batch.chroms.size(); ++t) {
      const std::size_t trace = batch.traceOf[t];
      detector.detect(*batch.chroms[t], *batch.rawOf[trace], batch.processed[trace], axis.times,
                      axis.scanNumbers);
    }
    batch.rawOf.clear();
    batch.traceOf.clear();
    batch.chroms.clear();
  };
  const auto finishComputing = [&]() {
    if (computing == nullptr) return;
    aside.finish();
    detector.completeTraces(computing->rawOf, computing->processed);
    detectAll(*computing);
    computing = nullptr;
  };
  const auto flush = [&]() {
    if (!detector.denoises()) {
      finishComputing();
      detector.processedTraces(filling->rawOf, filling->processed);
      detectAll(*filling);
      return;
    }
    Batch* previous = computing;
    if (previous != nullptr) {
      aside.finish();
      detector.completeTraces(previous->rawOf, previous->processed);
    }
    Batch& batch = *filling;
    const std::size_t jobs = detector.prepareTraces(batch.rawOf, batch.processed);
    aside.start(jobs, detector.workers(), [&detector, &batch](std::size_t job, std::size_t worker) {
      detector.computeJob(job, batch.rawOf, batch.processed, worker);
    });
    computing = &batch;
    sweepWorkers = 1;
    if (previous != nullptr) detectAll(*previous);
    filling = filling == &batches[0] ? &batches[1] : &batches[0];
  };
  sweepChannelTraces(
      *this, run, ch, spectra,
      [&](chrom& X, const auto& copyTrace, bool changed) {
        // A trace equal to the previous one keeps its total and processed form.
        if (changed || filling->rawOf.empty()) {
          if (filling->rawOf.size() == filling->raws.size()) flush();
          std::vector<double>& raw = filling->raws[filling->rawOf.size()];
          total = copyTrace(raw);
          filling->rawOf.push_back(&raw);
        }
        X.totalIntensity += total;
        if (targeted) seedAtTraceMaximum(X, *filling->rawOf.back(), axis.times, axis.scanNumbers);
        filling->traceOf.push_back(filling->rawOf.size() - 1);
        filling->chroms.push_back(&X);
      },
      seed, &sweepWorkers);
  if (!filling->chroms.empty()) flush();
  finishComputing();
}
