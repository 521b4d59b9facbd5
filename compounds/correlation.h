#ifndef TORVA_COMPOUNDS_CORRELATION_H
#define TORVA_COMPOUNDS_CORRELATION_H

#include <cstddef>
#include <memory>
#include <vector>

#include "compounds/grouping_input.h"

// A feature's intensities over the spectra of its peak: `values[k]` belongs to spectrum `first + k` of the
// run's (MS1) spectra, so two features' traces line up by spectrum index. A trace may be read beyond the
// peak's edges: the peak itself then spans spectra [peakFirst, peakEnd).
struct FeatureTrace {
  static constexpr std::size_t kWhole = static_cast<std::size_t>(-1);

  std::size_t first = 0;
  std::vector<double> values;
  std::size_t peakFirst = kWhole;  // kWhole: the peak spans the whole trace
  std::size_t peakEnd = kWhole;

  std::size_t end() const { return first + values.size(); }
  std::size_t peakBegin() const { return peakFirst == kWhole ? first : peakFirst; }
  std::size_t peakFinish() const { return peakEnd == kWhole ? end() : peakEnd; }
};

// Pearson correlation of two equally long series; NaN when fewer than `minPoints` points or either is flat.
double pearson(const double* a, const double* b, std::size_t count, std::size_t minPoints);

// What shapeCorrelation says of traces that are flat where they overlap (standard deviation below a fifth of
// the mean): no shape to compare.
constexpr double kFlatTraces = -2.0;

// Peak-shape correlation of two features: Pearson, after a five-point moving average, over the spectra from
// the earlier peak's start to the later peak's end where both traces were read (at least 5); NaN when they
// share fewer; kFlatTraces when either is flat there. Over the two peaks together rather than only where
// both peaks' edges overlap: when one ion's edges were drawn narrow (a weak 13C isotope found only near its
// top, a peak split in two), the overlap alone holds the flat top of the elution, where noise decides.
// Traces read only over their peaks are compared where both peaks lie.
double shapeCorrelation(const FeatureTrace& a, const FeatureTrace& b);

// A feature's trace with its five-point moving average over the whole trace, for the fast form of
// shapeCorrelation: inside the spectra two traces share, the average of a spectrum two or more from either
// end is the whole trace's.
struct SmoothedTrace {
  FeatureTrace trace;
  // In one stretch: the moving average of the whole trace, then the running sums of it and of its squares
  // side by side (entries 2k and 2k + 1: the sums of the first k), which the screen below reads together.
  // Held in `block`, which traces smoothed together share.
  std::shared_ptr<const double> block;
  const double* averages = nullptr;
  std::size_t averagesLength = 0;
  // How far sums taken from the running sums may be off (the screen below trusts a variance only well
  // above it).
  double roundingBound = 0;
  // trace.peakBegin() and trace.peakFinish(), for the screen below.
  std::size_t peakBegin = 0, peakFinish = 0;

  const double* smooth() const { return averages; }
  const double* runningSums() const { return averages + trace.values.size(); }
  // Whether the stretch is there, whole, for the trace as it is.
  bool averaged() const { return averages != nullptr && averagesLength == 3 * trace.values.size() + 2; }
};

SmoothedTrace smoothedTrace(FeatureTrace trace);
// Many traces smoothed at once, on up to `workers` threads, each as smoothedTrace() does it; their averages
// in one block (largeDoubleBlock).
std::vector<SmoothedTrace> smoothedTraces(std::vector<FeatureTrace> traces, std::size_t workers);

// shapeCorrelation(a.trace, b.trace), the same to the bit, without averaging the traces again.
double shapeCorrelation(const SmoothedTrace& a, const SmoothedTrace& b);

// What shapeCorrelation(a, b) surely is against `threshold`: below it (a flat result counts as below), too
// short to tell (fewer than 5 spectra shared: NaN, or flat), or unsure. Below is an estimate from the running
// sums and one pass over the shared spectra, trusted only with a wide margin over its rounding; in doubt the
// caller computes the correlation. For the searches that reject most pairs (in-source fragments, adducts).
Screened screenShapeCorrelation(const SmoothedTrace& a, const SmoothedTrace& b, double threshold);
// The same for traces[a] against traces[others[k]], each into verdicts[k]: what the screen reads of each
// trace is fetched for several before any is weighed (the pairs a search asks about lie far apart in
// memory, and a pair takes little arithmetic once its traces are at hand).
void screenShapeCorrelations(const std::vector<SmoothedTrace>& traces, std::size_t a,
                             const std::size_t* others, std::size_t count, double threshold,
                             Screened* verdicts);

// Correlation of two features' areas across the samples of a cohort: Pearson of the logarithms over the
// samples where both have an area above 0 (at least 3), NaN otherwise.
double abundanceCorrelation(const std::vector<double>& a, const std::vector<double>& b);

#endif
