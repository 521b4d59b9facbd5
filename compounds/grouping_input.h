#ifndef TORVA_COMPOUNDS_GROUPING_INPUT_H
#define TORVA_COMPOUNDS_GROUPING_INPUT_H

#include <cstddef>
#include <functional>
#include <vector>

// What the grouping needs of a feature.
struct GroupingFeature {
  double mz = 0;
  double rt = 0;       // apex, seconds
  double rtStart = 0;  // the peak's edges, seconds
  double rtEnd = 0;
  double intensity = 0;  // area: isotope ratios and the choice of representative
  // The raw trace's highest point, seconds; 0: not known. Co-elution takes the nearer of the two apex
  // estimates: the smoothed apex of a weak ion wanders, the raw highest point of a flat-topped peak too.
  double traceApex = 0;
};

struct GroupingOptions {
  double ppm = 10;             // m/z tolerance of isotope steps and ion differences, ppm of the m/z
  double minDaltons = 0.0005;  // floor of that tolerance at low m/z, daltons
  // Two features co-elute when their apexes lie within this fraction of the narrower peak's width (end -
  // start).
  double apexFraction = 0.3;
  double minApexSeconds = 0;  // floor of that window, seconds
  // Peak shapes (or, in a cohort, areas across samples) of one compound's ions correlate at least this well.
  // Ions of one compound share one elution profile, so their traces differ only by noise: on simulated runs
  // with 3 % intensity noise pairs of one compound correlate above 0.95 over 5 or more spectra, while
  // compounds whose apexes lie a third of a width apart fall below 0.8.
  double minCorrelation = 0.8;
  // A 13C isotope whose m/z lies within this fraction of the tolerance of its step needs only a shape that
  // does not run against the monoisotopic one (correlation at least `closeIsotopeCorrelation`): weak
  // isotopes, their traces scattered by counting noise and dropouts, correlate anywhere from 0 to 1, while
  // ions at a chance m/z spread over the whole tolerance.
  double closeIsotopeFraction = 0.2;
  double closeIsotopeCorrelation = 0.0;
  // An ion left unexplained joins a co-eluting compound as an in-source fragment only above this.
  double fragmentCorrelation = 0.95;
  int maxCharge = 4;  // isotope patterns of charge 1 to this
  int polarity = 1;   // +1: positive ions, -1: negative
};

// The correlation of two features (by index): peak shape within a run, areas across a cohort's samples;
// NaN when not known, in which case co-elution alone decides (and no fragment is joined).
using FeatureSimilarity = std::function<double(std::size_t, std::size_t)>;

// What a screen tells of the correlation of two features without computing it.
enum class Screened {
  kBelow,     // surely a number below the threshold (or the traces too flat to compare)
  kTooShort,  // too few spectra in common: not a number, or too flat to compare; never at the threshold
  kUnsure,
};

// Screens the correlations of feature a with `count` others (by index) against a threshold, each into
// `verdicts`. Lets a search that rejects most pairs skip computing their correlation; the pairs of one
// feature screened together can have their memory fetched together.
using SimilarityScreen = std::function<void(std::size_t a, const std::size_t* others, std::size_t count,
                                            double threshold, Screened* verdicts)>;

#endif
