#ifndef TORVA_TARGETED_TARGET_QUANT_H
#define TORVA_TARGETED_TARGET_QUANT_H

#include <vector>

#include "report/quant_table.h"
#include "report/quant_targets.h"

struct RunData;
class filterer;
struct channel;

// The quantitation of a target list in one run: a row per transition, in list
// order, and the trace each row was measured on (around its window or peak).
struct TargetQuantResult {
  std::vector<TargetResult> rows;
  std::vector<TargetTrace> traces;
};

// The channel a transition is measured in, or -1. A transition with a product
// m/z takes the channel whose precursor lies within `tolerance` daltons of its
// precursor and whose product range, widened by `tolerance`, holds its
// product (the nearest one when several do). One without a product takes the
// full-scan channel (MS level 1, not SRM) whose scan range holds its m/z and
// which has the most spectra. Channels of the other polarity never match.
int matchChannel(const RunData& run, const TargetTransition& target, double tolerance);

// Measures every transition: its trace is the summed intensity inside the m/z
// window of `params` (-M or --ppm) around the product (or, without one, the
// precursor) m/z in each spectrum of its channel; the peak is searched from the
// trace's highest point inside the retention-time window (the whole run
// without one) and must have its apex there. Denoising, smoothing, apex,
// edges and area are those of the untargeted path, so a peak that both find
// has the same area. The height is the raw trace's highest point over the
// integrated range. Noise is 1.4826 times the median absolute deviation of
// the raw trace outside the peak (within the window widened by half its width
// on each side, or the whole trace), the signal-to-noise ratio the apex height
// above the median of those points over the noise.
TargetQuantResult quantifyTargets(const RunData& run, const filterer& params,
                                  const std::vector<TargetTransition>& targets);

#endif
