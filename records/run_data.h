#ifndef TORVA_RECORDS_RUN_DATA_H
#define TORVA_RECORDS_RUN_DATA_H

#include <cstddef>
#include <string>
#include <vector>

#include "records/chrom.h"
#include "records/records.h"

// What sorts a spectrum into its channel: precursor m/z (0 for a full-scan
// MS1 channel), collision energy (0 when none) and product m/z range.
struct TransitionKey {
  double precursorMz = 0;
  double collisionEnergy = 0;
  double productLow = 0;
  double productHigh = 0;
};

// One group of spectra sharing a transition key. Spectra are named by their
// index into the run's `scans`, which stays valid while that list grows.
struct channel : TransitionKey {
  char polarity = '?';             // '+', '-' or '?' (not stated): never mixed within a channel
  std::vector<std::size_t> scans;  // indices into RunData::scans, reading order
  std::vector<chrom> chroms;
};

// The bins of the binned map: (low, low + width], ... up to high, in m/z.
struct MapRange {
  double low = 400;
  double high = 900;
  double width = 1;
};

// The run's data as the processing sees it: the spectra, their channels, the
// targets and their windows. The import fills it, the processing works on it,
// the reports read it; the store (store/file_handle.h) keeps it with its
// interface on top.
struct RunData {
  // Retention-time window of one target, seconds. Unbounded entries span the run.
  struct TimeWindow {
    bool bounded = false;
    double low = 0;
    double high = 0;
    bool hasFillSpan = false;  // the span --fill-gaps integrates when no peak tops in the window
    double fillLow = 0;
    double fillHigh = 0;
  };

  bool SRM = false;  // one channel per transition, spectra keep their own precursor and range
  std::vector<scan> scans;
  std::vector<channel> channels;
  std::vector<datapeak> targetPeaks;
  // Index for index with targetPeaks; empty when no target has a window.
  std::vector<TimeWindow> targetWindows;
  // Index for index with targetPeaks (up to the last named one): a target's
  // name from --targets, empty when it has none.
  std::vector<std::string> targetNames;
  MapRange mapRange;  // bins of the binned map
};

#endif
