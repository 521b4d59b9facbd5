#ifndef TORVA_VIEW_FEATURE_TABLES_H
#define TORVA_VIEW_FEATURE_TABLES_H

#include <cstddef>
#include <string>
#include <vector>

#include "report/feature_spectra.h"
#include "report/feature_table.h"

// What the feature page holds at most, besides the first kMaxPageFeatures rows of the feature table: spectrum
// and trace points of every record together. What is left out is counted and named on standard error.
constexpr long long kMaxPageSpectrumPoints = 5000000;

// A resolver run's feature table with the spectra and traces of its features (torva --feature-spectra).
struct FeaturePageTables {
  std::vector<FeatureRow> features;  // the first kMaxPageFeatures rows
  long long featuresLeftOut = 0;
  bool haveSpectra = false;
  std::vector<FeatureSpectrum> spectra;      // records of the kept features, in file order
  std::vector<std::size_t> spectrumFeature;  // index into `features` of each record
  long long spectraLeftOut = 0;              // records past kMaxPageSpectrumPoints
  long long spectraUnmatched = 0;  // records of feature ids not kept (left out, or of another table)
};

// Reads the feature table and, when `spectraPath` is not empty, its feature spectra table. False (with
// `error`) when either cannot be read or breaks its layout.
bool readFeaturePage(const std::string& featuresPath, const std::string& spectraPath,
                     FeaturePageTables& tables, std::string& error);

// The traces of a cohort's features across its samples (torva-compounds --traces), matched to the rows of
// features.tsv (`featureIds`, in order) and the samples (`samples`).
struct CohortTraces {
  bool present = false;
  std::vector<FeatureSpectrum> traces;
  std::vector<std::size_t> row, sample;  // per trace: row of features.tsv, index of the sample
  long long leftOut = 0;                 // traces past kMaxPageSpectrumPoints
  long long unmatched = 0;               // traces of rows or samples not on the page
};

// Reads `path` when it exists (`present` stays false when it does not). False (with `error`) when it
// exists but cannot be read or breaks its layout.
bool readCohortTraces(const std::string& path, const std::vector<std::string>& featureIds,
                      const std::vector<std::string>& samples, CohortTraces& traces, std::string& error);

#endif
