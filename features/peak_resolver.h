#ifndef TORVA_FEATURES_PEAK_RESOLVER_H
#define TORVA_FEATURES_PEAK_RESOLVER_H

// The resolver: splits one extracted mass trace into chromatographic peaks.
//
// A trace is a run of consecutive spectra (times in seconds) with, for each,
// the intensity and m/z of the trace's centroid there (intensity 0: no
// centroid). In order:
//  1. Gaps: a missing centroid between two present ones is filled by a straight
//     line between them (a centroid that fell below the instrument's threshold,
//     not an absence of signal); outside the first and last centroid the trace is 0.
//  2. Smoothing: a binomial kernel of `smoothPoints` points (1 4 6 4 1 for 5).
//  3. Baseline: a morphological opening (moving minimum, then moving maximum)
//     of the smoothed trace over `baselineWindow` seconds: it follows drift and
//     flat background ions but not peaks narrower than the window.
//  4. Noise: at each point the larger of the noise floor handed in for the
//     trace's m/z region and the trace's own jaggedness times the smoothed level
//     there. The jaggedness is the median, over the trace, of the departure of
//     each point's logarithm from the cubic through its four neighbours'
//     (scaled to a standard deviation): a Gaussian peak is a parabola there,
//     so a peak's own shape is no noise; near 0 for clean Orbitrap traces, a
//     large fraction for TOF-like sampling that jumps from scan to scan.
//  5. Peaks: the local maxima of the smoothed trace whose prominence (height
//     above the higher of the two lowest valleys that separate them from a higher
//     maximum or the trace's end) is at least `minProminence` times the noise at
//     that valley (the noise of the smoothed trace: the raw noise times the
//     smoothing's share of it) and `minRelativeProminence` of their height
//     above the baseline.
//  5b. Bumps without such a valley: a weaker compound on the tail or the flank
//     of a stronger one of the same m/z whose smoothed trace dips less than
//     three noise levels between them, or not at all. The raw trace's response
//     to the negated second derivative of a Gaussian as wide as the sharpest
//     flank of the trace's highest peak (nothing for a straight line, less
//     than nothing for a tail that curves upward) is, over the bump, at least
//     `minProminence` times its own noise, falls to a noise level below 0
//     between it and the higher maximum beside it, and tells a height of at
//     least `minRelativeProminence` of the trace's there; two sigmas or more
//     from every maximum kept. Neighbouring peaks are split at the lowest
//     point between them (where there is none, where the response is lowest).
//  6. Edges: from the apex outward while the smoothed trace keeps falling, rises
//     of less than the noise being tolerated; an edge is where it has returned
//     to the baseline (within the noise), meets the split point, or starts to rise.
//  7. Measures: apex time by a parabola through the smoothed maximum and its
//     neighbours; height the highest raw intensity between the edges; area the
//     trapezoid over the raw (gap-filled) trace between the edges; the corrected
//     area less the straight line joining the smoothed trace at the two edges;
//     fwhm on the smoothed trace above that line; sn the smoothed apex above that
//     line over the noise of the smoothed trace at the line's level (the floor
//     for a peak that rises from nothing; the jaggedness times the smoothing's
//     share of it on a jagged level), and never over less than the trace's scan-to-scan jitter
//     in counts (1.4826 times the median departure of a point from its two
//     neighbours' mean, over the points whose neighbours have centroids): on
//     a background ion that jumps between 2e4 and 2e5 every scan a bump of
//     1e5 is no peak, while a smooth peak rising from nothing keeps the floor's
//     S/N; shape (0..1) the correlation of the raw trace above the
//     line with a Gaussian of the peak's apex and fwhm, negatives counted as 0.
//  8. Background: a peak whose smoothed apex rises less than
//     `minRiseOverBackground` of the baseline there, where the baseline stays
//     at half that level or more for `backgroundReach` seconds on both sides
//     (on one side up to the run's start or end, when that comes first),
//     is dropped: the slow wander of a background ion present for minutes
//     (isobaric matrix ions, the spray), as a peak-top-to-edge ratio does in
//     other tools. A compound on a tail, on drift or on a short-lived level
//     keeps its peak.

#include <cstddef>
#include <vector>

struct ResolverSettings {
  std::size_t smoothPoints = 5;        // binomial smoothing kernel, points (odd, 1: none)
  double baselineWindow = 60;          // seconds: width of the baseline's moving minimum/maximum
  double minProminence = 3;            // times the noise: a peak must stand this far above its valleys
  double minRelativeProminence = 0.1;  // of its own height above the baseline: the same, relative
  bool narrowCurvature = true;         // also look for bumps of half the flank's width (see curvatureMaxima)
  double edgeTolerance = 3;            // times the noise: rises tolerated while walking to an edge (a
                                       // rise any smaller would not have made a peak of its own)
  // A peak whose smoothed apex rises less than this fraction above the baseline, where the baseline stays
  // at least half that level for `backgroundReach` seconds on both sides, is the slow wander of a
  // background ion (isobaric matrix ions, the spray), not a compound; 0: kept.
  double minRiseOverBackground = 0.5;
  double backgroundReach = 120;  // seconds
};

struct TracePoint {
  double time = 0;       // seconds
  double intensity = 0;  // counts; 0: no centroid in this spectrum
  double mz = 0;         // m/z of the centroid (meaningless without one)
};

struct ResolvedPeak {
  std::size_t left = 0;  // positions in the trace of the edges and apex (smoothed maximum)
  std::size_t right = 0;
  std::size_t apex = 0;
  double apexTime = 0;  // seconds
  double startTime = 0;
  double endTime = 0;
  double height = 0;         // counts
  double area = 0;           // counts x seconds
  double areaCorrected = 0;  // counts x seconds
  double fwhm = 0;           // seconds
  double sn = 0;
  double noise = 0;  // counts
  double shape = 0;
  std::size_t points = 0;  // spectra with a centroid between the edges
  double mz = 0;           // intensity-weighted over the centroids between the edges
  double mzMin = 0;
  double mzMax = 0;
};

// Binomial smoothing with `points` taps (odd; even counts round down); the
// kernel is renormalised over the values inside the trace at its ends.
std::vector<double> binomialSmooth(const std::vector<double>& values, std::size_t points);

// Morphological opening over a window of `window` seconds (half on each side).
std::vector<double> movingOpening(const std::vector<double>& values, const std::vector<double>& times,
                                  double window);

// Whether the trace's first and last points are the run's first and last
// spectra: a compound still eluting there is cut off, and the cut side is no
// valley (elsewhere a trace that starts or ends high is taken as it is). The
// line under such a peak is level with its far edge, unless that edge is the
// bottom of a dip that the trace beyond it (half a baseline window) never
// falls under and that stood as high as the peak: an ion suppressed for a few
// scans by a co-eluting compound, climbing back to its level as the run ends.
struct TraceEnds {
  bool runStart = false;
  bool runEnd = false;
};

// Whether the peak at `apex` of smoothed trace `s` is such a bump on a persistent background. Where the run
// starts or ends within the reach on one side, the level need only hold up to there.
bool onPersistentBackground(const std::vector<double>& s, const std::vector<double>& baseline,
                            const std::vector<double>& times, std::size_t apex,
                            const ResolverSettings& settings, TraceEnds ends);

// Every peak of the trace with its measures, in time order; no S/N or point
// filter is applied here. `noiseFloor` is the least noise assumed (counts).
std::vector<ResolvedPeak> resolvePeaks(const std::vector<TracePoint>& trace, double noiseFloor,
                                       const ResolverSettings& settings, TraceEnds ends = TraceEnds());

#endif
