#ifndef TORVA_ALIGN_DRIFT_SEARCH_H
#define TORVA_ALIGN_DRIFT_SEARCH_H

#include <cstddef>
#include <vector>

#include "align/grouping.h"
#include "align/rt_correction.h"

// A feature as the drift search sees it: m/z and apex time (minutes).
struct DriftPoint {
  double mz = 0;
  double rt = 0;
};

// How the drift search looks (times in minutes).
struct DriftSearch {
  double maxDrift = 1.5;   // largest offset between the two samples considered
  double bandwidth = 0.1;  // offsets within this of each other count as one
  double span = 0.5;       // least half-width of the time window around a grid point
  double minWeight = 10;   // the window widens until its pairs weigh this much
  double minContrast = 4;  // ... and its densest offsets weigh this many times what chance gives
};

// The coarse drift of a sample against a reference sample, as a correction of
// the sample's times onto the reference's, on a grid of `step` minutes from
// `start` to `end`. Every feature of the sample pairs with each reference
// feature within the mass tolerance and `maxDrift` of its time, a pair weighing
// 1 / (the feature's number of pairs). At each grid point the offset is the
// densest one among the pairs of the nearby features: the centre of the
// 2 x `bandwidth` window of offsets with the largest weight (on equal weights
// the one nearer 0), from a time window widened until that weight is
// `minContrast` times what pairs spread evenly over the offsets would give. Pairs of different compounds that
// happen to share a mass scatter over the whole range of offsets, while those of the same compounds agree, so
// the search needs no anchors known beforehand and learns drifts far larger than the spacing of features of
// one mass. The offsets are then smoothed (running median and mean of 5 grid points) and made monotone; grid
// points without pairs take the nearest offset found, and a sample without any pair is left as it is.
// `largest`, when given, receives the largest absolute offset found (minutes).
RtCorrection searchDrift(const std::vector<DriftPoint>& sample, std::vector<DriftPoint> reference,
                         const MassTolerance& mass, const DriftSearch& search, double start, double end,
                         double step, double* largest = nullptr);

// The correction that applies `first`, then `second`, tabled at the grid
// points of `first`.
RtCorrection composeCorrections(const RtCorrection& first, const RtCorrection& second);

#endif
