#ifndef TORVA_REPORT_QUANT_COHORT_TABLES_H
#define TORVA_REPORT_QUANT_COHORT_TABLES_H

#include <map>
#include <string>
#include <vector>

#include "report/quant_table.h"

// One sample of a targeted cohort's sheet.
struct QuantSample {
  std::string name;
  std::string file;
  std::string type;  // standard, qc, blank, sample (any other word is taken as a sample)
  // Known concentrations by compound (standards and QCs).
  std::map<std::string, double> concentrations;
};

// Reads the sample sheet: a header naming `sample` and `file` (any order),
// optionally `type`, and optionally one column per compound of `compounds`
// holding known concentrations (empty cells: unknown). Other columns are
// ignored. TableError names file and line of a missing column, an empty or
// repeated sample name, or a concentration that is not a number >= 0.
std::vector<QuantSample> readQuantSheet(const std::string& path, const std::vector<std::string>& compounds);

// Adds the concentrations of a file with the columns sample, compound,
// concentration (one known concentration per line) to the samples; a line
// naming an unknown sample or compound, or a compound twice for one sample,
// is refused with a TableError.
void readConcentrations(const std::string& path, const std::vector<std::string>& compounds,
                        std::vector<QuantSample>& samples);

// A row of quant_long.tsv: one transition of one sample.
struct QuantLongRow {
  std::string sample;
  std::string type;
  std::string compound;
  std::string transition;
  std::string role;
  std::string status;
  double rt = 0;       // apex, minutes
  double rtStart = 0;  // integrated range, minutes
  double rtEnd = 0;
  double area = 0;
  double ratio = 0;          // quantifier: area over the internal standard's; qualifier: ion ratio; NaN: none
  double concentration = 0;  // NaN: none
  double expected = 0;       // known concentration; NaN: none
  double accuracy = 0;       // concentration over expected, percent; NaN: none
  std::string flags;         // comma-separated, empty for none
};

// A row of calibration.tsv: one compound's curve.
struct CalibrationRow {
  std::string compound;
  std::string internalStandard;  // empty: areas were calibrated
  std::string model;             // linear, quadratic
  std::string weighting;         // none, 1/x, 1/x^2
  double r2 = 0;                 // NaN: no curve
  double intercept = 0;
  double slope = 0;
  double quadratic = 0;
  std::string equation;
  std::string used;     // standards used, "name=concentration" comma-separated
  std::string dropped;  // standards dropped for missing the accuracy limits
  double lowest = 0;    // lowest and highest concentration among the standards used
  double highest = 0;
  long qcCount = 0;           // QC samples of known concentration quantified
  long qcWithin = 0;          // of them within 15 % of their concentration
  double qcMeanAccuracy = 0;  // percent; NaN without QCs
  std::string status;         // ok, or why there is no curve
};

// The cohort tables. Each is written whole or not at all; false with `error` set on failure.
bool writeQuantLong(const std::string& path, const std::vector<QuantLongRow>& rows, std::string& error);
// Header `sample` then the compounds; a cell per sample and compound, empty when not quantified.
bool writeConcentrations(const std::string& path, const std::vector<std::string>& compounds,
                         const std::vector<std::string>& samples,
                         const std::vector<std::vector<double>>& concentrations, std::string& error);
bool writeCalibration(const std::string& path, const std::vector<CalibrationRow>& rows, std::string& error);
// Every sample's traces: sample, compound, transition, times, intensities.
bool writeCohortTraces(const std::string& path, const std::vector<std::string>& samples,
                       const std::vector<std::vector<TargetTrace>>& traces, std::string& error);

// Readers of the same tables (for the pages and the tests).
std::vector<QuantLongRow> readQuantLong(const std::string& path);
std::vector<CalibrationRow> readCalibration(const std::string& path);

#endif
