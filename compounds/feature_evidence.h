#ifndef TORVA_COMPOUNDS_FEATURE_EVIDENCE_H
#define TORVA_COMPOUNDS_FEATURE_EVIDENCE_H

// What a page shows as the evidence of a feature, taken from the run's spectra: the MS1 spectrum at its apex
// (a window of m/z around it), its linked MS2 spectra and its chromatogram; each bounded, so that the
// feature spectra table (report/feature_spectra.h) stays in proportion to the feature table.

#include <cstddef>
#include <string>
#include <vector>

#include "compounds/ms1_index.h"
#include "records/records.h"
#include "report/feature_spectra.h"
#include "report/feature_table.h"

struct EvidenceLimits {
  double ms1Below = 1.5;       // m/z below the feature (a 13C isotope: its M) kept of its apex MS1 spectrum
  double ms1Above = 6.5;       // m/z above it: the isotopes of charges 1 to 4 and room for adducts
  std::size_t ms1Peaks = 300;  // the most intense peaks of that window
  std::size_t ms2PerFeature = 20;   // linked MS2 spectra kept: the most intense (total ion current)
  std::size_t ms2Peaks = 500;       // the most intense peaks of each MS2 spectrum
  std::size_t tracePoints = 400;    // chromatogram points, the nearest the apex
  double traceMargin = 0.5;         // widths of the peak shown before and after its edges
  double minTraceHalfWidth = 0.25;  // minutes, at least this either side of the apex
  long long maxPoints = 20000000;   // points of the whole table; records past this are left out
};

// What the limits left out, for a message on standard error.
struct EvidenceLeftOut {
  long long ms2Spectra = 0;  // linked MS2 spectra past ms2PerFeature
  long long peaks = 0;       // spectrum peaks past ms1Peaks / ms2Peaks
  long long records = 0;     // records past maxPoints
};

// The trace of m/z `mz` (+-ppm) between `fromMinutes` and `toMinutes`, at most `maxPoints` points: when
// there are more, the ones nearest `apexMinutes`.
FeatureSpectrum traceRecord(const Ms1Index& ms1, const std::string& featureId, const std::string& sample,
                            double mz, double ppm, double apexMinutes, double fromMinutes, double toMinutes,
                            std::size_t maxPoints);

// The evidence of every row of a run's feature table that was found, in table order: for each its trace
// (within `tracePpm` of its m/z), its apex MS1 spectrum and its linked MS2 spectra (`linkedScans[r]`,
// indices into `scans`, as groupRunCompounds gives them).
std::vector<FeatureSpectrum> collectFeatureEvidence(const std::vector<scan>& scans,
                                                    const std::vector<FeatureRow>& rows,
                                                    const std::vector<std::vector<std::size_t>>& linkedScans,
                                                    const std::string& sample, double tracePpm,
                                                    const EvidenceLimits& limits, EvidenceLeftOut& leftOut);

#endif
