#ifndef TORVA_FEATURES_FULL_SCAN_GROUPS_H
#define TORVA_FEATURES_FULL_SCAN_GROUPS_H

#include <cstddef>
#include <string>
#include <vector>

#include "records/records.h"

// The full-scan spectra of one MS level that make a run's mass traces: one group per polarity, in time
// order. Filter-line words such as `lock` do not split a group. A run that records full scans of one
// polarity with two mass analyzers (an LTQ-FT alternating FTMS and ITMS scans) keeps those of the most
// accurate one: an ion trap's profile points a tenth of a dalton apart cannot share a trace with an
// Orbitrap's centroids.
struct FullScanGroup {
  char polarity = '?';
  std::string analyzer;              // as the filter lines name it ("FTMS"); empty when none does
  std::vector<const scan*> spectra;  // retention-time order
  std::size_t leftOut = 0;           // full scans of this polarity and level from other analyzers
  std::string leftOutAnalyzers;      // their analyzers, in order of accuracy, comma-separated
};

// The groups in the order their polarity first appears in the run. Spectra of MS level 0 (files that do
// not say) count as level 1; spectra whose filter line names no analyzer join their polarity's group.
std::vector<FullScanGroup> fullScanGroups(const std::vector<scan>& scans, long long msLevel);

// The group of `polarity`; else the group of unknown polarity; nullptr when there is neither.
const FullScanGroup* groupOfPolarity(const std::vector<FullScanGroup>& groups, char polarity);

// The mass analyzer a Thermo filter line starts with ("FTMS", "ITMS", "TOFMS", "SECTOR", "TQMS",
// "SQMS"); empty for any other first word.
std::string filterLineAnalyzer(const std::string& filterLine);

#endif
