#ifndef TORVA_TESTS_REFERENCE_REFERENCE_FILTERS_H
#define TORVA_TESTS_REFERENCE_REFERENCE_FILTERS_H

#include "processing/filterer.h"
#include "store/file_handle.h"

// The straightforward forms of the spectral filters, culling, the summary
// report's duplicate removal and the binned map: every peak or feature compared
// with every other, one pass over the peaks per map bin. The production code
// takes indexed shortcuts; the tests check it against these, byte for byte.
// What has no shortcut (the isotope and loss tests, gathering the features,
// the bin edges, the report lines) is the production code's own.
namespace reference {

// Isotope folding with the parameters of `params` (cutoff, massTolerance).
// Prints the same progress lines as filterer::deIsotope.
void deIsotope(const filterer& params, fileHandle& run);
// Water and oxygen loss folding (cutoff only). Prints as filterer::removeH2O.
void removeH2O(const filterer& params, fileHandle& run);
// Culling (cutoff, massTolerance, timeTolerance).
void cullXIC(const filterer& params, fileHandle& run);
// The summary report, duplicate removal included.
bool exportSum(const fileHandle& run, const char* path, float timeTolerance, float massTolerance,
               float cutoff, double massPpm = 0);
// The binned map.
bool exportMap(const fileHandle& run, const char* path);

}  // namespace reference

#endif
