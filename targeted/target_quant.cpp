#include "targeted/target_quant.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>

#include "processing/filterer.h"
#include "processing/peak_detection.h"
#include "processing/spectrum_index.h"
#include "processing/xic_seeding.h"
#include "records/run_data.h"

namespace {

bool polarityMatches(const RunData& run, const channel& ch, char polarity) {
  if (polarity == 0 || ch.scans.empty()) return true;
  const std::string& stated = run.scans.at(ch.scans.front()).polarity;
  if (stated.empty()) return true;
  return stated[0] == polarity;
}

bool fullScanChannel(const RunData& run, const channel& ch) {
  if (run.SRM || ch.scans.empty()) return false;
  for (std::size_t index : ch.scans) {
    if (run.scans.at(index).msLevel > 1) return false;
  }
  return true;
}

std::string channelLabel(const channel& ch) {
  char text[128];
  if (ch.collisionEnergy > 0) {
    std::snprintf(text, sizeof text, "%.4f@%.2f[%.4f-%.4f]", ch.precursorMz, ch.collisionEnergy,
                  ch.productLow, ch.productHigh);
  } else {
    std::snprintf(text, sizeof text, "%.4f[%.4f-%.4f]", ch.precursorMz, ch.productLow, ch.productHigh);
  }
  return text;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  const double lower =
      *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2;
}

// Noise and baseline of the raw trace over [from, to) without the peak's points [start, end).
void noiseAround(const std::vector<double>& raw, std::size_t from, std::size_t to, const PeakSpan& span,
                 double& noise, double& baseline) {
  std::vector<double> outside;
  for (std::size_t k = from; k < to; ++k) {
    if (k < span.start || k >= span.end) outside.push_back(raw[k]);
  }
  baseline = median(outside);
  for (double& value : outside) value = std::fabs(value - baseline);
  noise = 1.4826 * median(outside);
}

// The points [first, last) of a trace to keep for the page: the window widened
// by half its width each side, else the peak and twice its width each side
// (at least 15 points), else the whole trace.
void keptRange(const std::vector<double>& times, const TargetTransition& t, bool found, const PeakSpan& span,
               std::size_t& first, std::size_t& last) {
  first = 0;
  last = times.size();
  if (t.windowed()) {
    const double low = (t.rt - t.rtWindow) * 60.0;
    const double high = (t.rt + t.rtWindow) * 60.0;
    while (first < last && times[first] < low) ++first;
    while (last > first && times[last - 1] > high) --last;
  } else if (found) {
    const std::size_t margin = std::max<std::size_t>(15, 2 * (span.end - span.start));
    first = span.start > margin ? span.start - margin : 0;
    last = std::min(times.size(), span.end + margin);
  }
}

}  // namespace

int matchChannel(const RunData& run, const TargetTransition& target, double tolerance) {
  int best = -1;
  double bestScore = 0;
  for (std::size_t i = 0; i < run.channels.size(); ++i) {
    const channel& ch = run.channels[i];
    if (ch.scans.empty() || !polarityMatches(run, ch, target.polarity)) continue;
    double score = 0;
    if (target.hasProduct) {
      const double precursorOff = std::fabs(ch.precursorMz - target.precursorMz);
      if (!(precursorOff <= tolerance)) continue;
      if (!(target.productMz >= ch.productLow - tolerance && target.productMz <= ch.productHigh + tolerance))
        continue;
      score = precursorOff + std::fabs((ch.productLow + ch.productHigh) / 2 - target.productMz);
    } else {
      if (!fullScanChannel(run, ch)) continue;
      if (ch.productHigh > ch.productLow &&
          !(target.precursorMz >= ch.productLow && target.precursorMz <= ch.productHigh))
        continue;
      score = -static_cast<double>(ch.scans.size());
    }
    if (best < 0 || score < bestScore) {
      best = static_cast<int>(i);
      bestScore = score;
    }
  }
  return best;
}

TargetQuantResult quantifyTargets(const RunData& run, const filterer& params,
                                  const std::vector<TargetTransition>& targets) {
  TargetQuantResult result;
  std::map<int, std::unique_ptr<ChannelSpectra>> prepared;
  const double cutoffLevel = static_cast<double>(params.cutoff);
  const double edgeFloor = static_cast<double>(params.cutoff / 500);  // as the untargeted path
  for (const TargetTransition& t : targets) {
    TargetResult row;
    row.compound = t.compound;
    row.transition = t.label();
    row.role = roleName(t.role);
    row.ionRatio = std::nan("");
    TargetTrace trace;
    trace.compound = t.compound;
    trace.transition = row.transition;
    const int index = matchChannel(run, t, params.massTolerance);
    if (index < 0) {
      result.rows.push_back(row);
      result.traces.push_back(trace);
      continue;
    }
    const channel& ch = run.channels[static_cast<std::size_t>(index)];
    row.channel = channelLabel(ch);
    row.status = TargetStatus::NotFound;
    std::unique_ptr<ChannelSpectra>& spectra = prepared[index];
    if (!spectra) spectra = std::make_unique<ChannelSpectra>(run, ch);

    // The raw trace, as the untargeted path's window sums build it.
    const double mz = t.hasProduct ? t.productMz : t.precursorMz;
    const double window = params.massWindowAt(mz);
    chrom X;
    X.mz = mz;
    for (std::size_t k = 0; k < ch.scans.size(); ++k) {
      const scan& spectrum = run.scans.at(ch.scans[k]);
      X.times.push_back(spectrum.rt);
      X.scanNumbers.push_back(static_cast<std::int32_t>(spectrum.num));
      X.intensities.push_back(spectra->windowSum(k, mz, window));
    }
    if (t.windowed()) {
      X.windowed = true;
      X.windowLow = (t.rt - t.rtWindow / 2) * 60.0;
      X.windowHigh = (t.rt + t.rtWindow / 2) * 60.0;
    }
    seedAtTraceMaximum(X, X.intensities, X.times, X.scanNumbers);

    ChannelPeakDetector detector(params, *spectra);
    std::vector<std::vector<double>> processed;
    detector.processedTraces({&X.intensities}, processed);
    PeakSpan span;
    const bool windowEmpty = X.windowed && std::none_of(X.times.begin(), X.times.end(), [&](double time) {
                               return time >= X.windowLow && time <= X.windowHigh;
                             });
    const bool found = !windowEmpty && findPeak(X, X.intensities, processed[0], X.times, X.scanNumbers,
                                                cutoffLevel, edgeFloor, span);
    std::size_t first = 0;
    std::size_t last = 0;
    keptRange(X.times, t, found, span, first, last);
    for (std::size_t k = first; k < last; ++k) {
      trace.times.push_back(X.times[k] / 60.0);
      trace.intensities.push_back(X.intensities[k]);
    }
    if (found && X.area > 0) {
      row.status = TargetStatus::Found;
      row.rt = X.apexTime / 60.0;
      row.rtStart = X.times[span.start] / 60.0;
      row.rtEnd = X.times[span.end - 1] / 60.0;
      row.area = X.area;
      row.height = *std::max_element(X.intensities.begin() + static_cast<std::ptrdiff_t>(span.start),
                                     X.intensities.begin() + static_cast<std::ptrdiff_t>(span.end));
      std::size_t from = 0;
      std::size_t to = X.times.size();
      if (t.windowed()) {
        const double low = X.windowLow - (X.windowHigh - X.windowLow) / 2;
        const double high = X.windowHigh + (X.windowHigh - X.windowLow) / 2;
        while (from < to && X.times[from] < low) ++from;
        while (to > from && X.times[to - 1] > high) --to;
      }
      double baseline = 0;
      noiseAround(X.intensities, from, to, span, row.noise, baseline);
      const double signal = row.height - baseline;
      row.signalToNoise =
          row.noise > 0 ? signal / row.noise : (signal > 0 ? std::numeric_limits<double>::infinity() : 0.0);
    }
    result.rows.push_back(row);
    result.traces.push_back(std::move(trace));
  }

  // Ion ratios: each found qualifier's area over its compound's quantifier area.
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].role != TargetRole::Qualifier || result.rows[i].status != TargetStatus::Found) continue;
    const int q = quantifierOf(targets, targets[i].compound);
    if (q < 0) continue;
    const TargetResult& quantifier = result.rows[static_cast<std::size_t>(q)];
    if (quantifier.status == TargetStatus::Found && quantifier.area > 0)
      result.rows[i].ionRatio = result.rows[i].area / quantifier.area;
  }
  return result;
}
