#ifndef TORVA_CLEAN_NORMALISATION_H
#define TORVA_CLEAN_NORMALISATION_H

#include <string>
#include <vector>

#include "report/sample_sheet.h"

// How injections are scaled to one another.
enum class Normalisation {
  None,
  TotalArea,  // each injection's areas over their sum
  Median,     // each injection's areas over their median
  Quotient,   // probabilistic quotient: over the median of its quotients to a reference injection
};

// The option's name of a method (none, total, median, pqn), and back; false for another name.
const char* normalisationName(Normalisation method);
bool parseNormalisation(const std::string& name, Normalisation& method);

// Scales every injection but the blanks: `areas` is features x injections (NaN when absent). Each
// factor is relative to the median factor of the scaled injections, so the areas keep their
// magnitude. The quotients' reference is, per feature, the median over the QCs (over the study
// samples when there are no QCs). Returns the factor each injection was divided by (1 for blanks
// and for injections without a usable area).
std::vector<double> normalise(const std::vector<CohortSample>& samples, Normalisation method,
                              std::vector<std::vector<double>>& areas);

// Fills each feature's absent areas of every injection but the blanks with `fraction` times the
// smallest area of the feature among those injections; returns the number of cells filled.
std::size_t imputeMinimum(const std::vector<CohortSample>& samples, double fraction,
                          std::vector<std::vector<double>>& areas);

#endif
