#ifndef TORVA_FEATURES_FEATURE_FINDER_H
#define TORVA_FEATURES_FEATURE_FINDER_H

// The resolver pipeline (`torva --detect resolver`): from a run's spectra to
// the rows of the feature table.
//
//  1. The spectra of one MS level are grouped by polarity (filter line "+"/"-",
//     else the file's polarity field); filter-line words such as "lock" do not
//     matter. Each group is taken in retention-time order.
//  2. Centroid mass traces are followed through each group as for
//     `--seeds traces` (processing/mass_traces.h), with no apex threshold of
//     their own (unless -C gives one): the resolver's S/N decides.
//  3. Each trace is extracted again over its spectra (a few more on each side):
//     per spectrum the most intense centroid within the trace's tolerance of its
//     m/z, and split into peaks by the resolver (peak_resolver.h), with the noise
//     floor of its m/z region: a low quantile of the group's centroid
//     intensities in that region.
//  4. A peak is a feature when its S/N, its number of centroids and (when
//     given) its height reach the minimums. Two features of overlapping traces
//     that are the same peak (m/z within the tolerance, each apex inside the
//     other's edges) are reported once, the higher kept.
//  5. Untargeted: every feature, by retention time, then m/z. With targets: one
//     row per target in target order, the feature of largest area within the
//     tolerance (and the target's time window), or a row marked not_found.
//     With fillGaps a windowed target that no feature takes is measured in the
//     raw data, as the gap filling of a cohort needs (status filled): of the
//     peaks the resolver finds in its extracted trace, with no minimum S/N,
//     points or height, the largest whose apex lies in the window; when there
//     is none, the signal around the window's highest point, out to the
//     smoothed trace's valleys (or over the target's own span when it gives
//     one). Only a window without any centroid stays not_found. A feature
//     whose edges also hold the centre of another target's window of the same
//     m/z (a cohort's two compounds, such as isomers, that this run resolved
//     as one peak) is not taken whole: the target gets its part, up to the
//     smoothed trace's lowest point between the two.
//
// Traces are resolved on the worker threads (util/parallel_for.h); each writes
// only its own results, so the rows are the same for every number of threads.

#include <string>
#include <vector>

#include "features/full_scan_groups.h"
#include "features/peak_resolver.h"
#include "processing/mass_traces.h"
#include "records/records.h"
#include "report/feature_table.h"

struct FeatureSettings {
  long long msLevel = 1;        // the spectra taken (0 is taken as 1 by files that do not say)
  double ppm = 10;              // m/z tolerance of traces, extraction, duplicates and targets
  std::size_t maxGap = 2;       // spectra in a row a trace may miss
  std::size_t tracePoints = 5;  // centroids a trace needs before it is resolved
  double traceNoiseLevel = 0;   // apex a trace needs (0: none, the S/N decides; negative: 3 times
                                // the median centroid, which drops every trace below the median
                                // ion of a busy Orbitrap run)
  ResolverSettings resolver;
  double minSn = 5;             // least signal-to-noise of a feature
  std::size_t minPoints = 5;    // least centroids between a feature's edges
  double minHeight = 0;         // counts; 0: no absolute cutoff
  double regionWidth = 50;      // m/z: width of the regions with a noise floor of their own
  double floorQuantile = 0.05;  // the noise floor: this quantile of a region's centroid intensities
                                // (a low one: in a busy region most centroids are ions, and the
                                // lowest ones sit at the instrument's threshold)
  std::size_t margin = 3;       // spectra added on each side of a trace
  bool fillGaps = false;        // a windowed target without a feature is measured anyway (status
                                // "filled"): the peak the resolver finds there without the
                                // minimums, else the raw signal over the window
  double fillReach = 60;        // seconds of trace on each side of a target's window when filling
};

struct FeatureTarget {
  double mz = 0;
  std::string name;  // as given, or the m/z as text
  bool windowed = false;
  double low = 0;  // seconds
  double high = 0;
  bool hasFillSpan = false;  // what fillGaps integrates when no peak tops in the window
  double fillLow = 0;        // seconds
  double fillHigh = 0;
};

// One spectrum group's noise floor per m/z region.
struct NoiseFloors {
  double width = 50;
  double overall = 0;           // over the whole group
  std::vector<double> regions;  // region k covers [k * width, (k + 1) * width)
  double at(double mz) const;
};
NoiseFloors estimateNoiseFloors(const std::vector<const scan*>& spectra, double width, double quantile);

// The MS level the features are taken from.
long long featureLevel(const FeatureSettings& settings);

// Untargeted features (targets empty) or one row per target, from the run's full-scan groups.
std::vector<FeatureRow> findFeatures(const std::vector<scan>& scans,
                                     const std::vector<FeatureTarget>& targets,
                                     const FeatureSettings& settings);
// The same from groups already made (fullScanGroups of featureLevel(settings)).
std::vector<FeatureRow> findFeatures(const std::vector<FullScanGroup>& groups,
                                     const std::vector<FeatureTarget>& targets,
                                     const FeatureSettings& settings);

#endif
