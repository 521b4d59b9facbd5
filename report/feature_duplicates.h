#ifndef TORVA_REPORT_FEATURE_DUPLICATES_H
#define TORVA_REPORT_FEATURE_DUPLICATES_H

#include <vector>

// One gathered feature of the summary report, as duplicate removal compares it.
struct FeatureKey {
  double mass = 0;  // m/z
  double rt = 0;    // apex time, minutes
  double area = 0;
  double precursorMz = 0;  // of the feature's channel
};

// Duplicate removal over a list of features in gathering order. Returns one
// flag per feature, true for those that remain. The outcome is that of the
// pairwise pass: for each remaining entry i in order, the later entries j are
// compared with it in order; j goes when its area equals i's, or when the two
// share a precursor and lie strictly within both tolerances and j's area is not
// larger; when such a j has the larger area, i goes instead and the comparisons
// go on from the entry after i. With `massPpm` positive, the mass window of a
// pair is that many ppm of the later entry's mass instead of massTolerance.
std::vector<bool> survivingFeatures(const std::vector<FeatureKey>& features, double massTolerance,
                                    double timeTolerance, double massPpm = 0);

#endif
