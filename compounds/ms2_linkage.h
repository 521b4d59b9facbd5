#ifndef TORVA_COMPOUNDS_MS2_LINKAGE_H
#define TORVA_COMPOUNDS_MS2_LINKAGE_H

#include <cstddef>
#include <vector>

// What the linkage needs of a data-dependent MS2 scan.
struct TandemScan {
  double rt = 0;            // seconds
  double precursorMz = 0;   // 0: no precursor, never linked
  double isolationLow = 0;  // isolation window, m/z; both 0 when the file does not give it
  double isolationHigh = 0;
};

// What it needs of a feature.
struct LinkedFeature {
  double mz = 0;
  double rtStart = 0;  // the peak's edges, seconds
  double rtEnd = 0;
  double intensity = 0;
};

struct Ms2LinkOptions {
  double ppm = 10;           // precursor within this many ppm of the feature's m/z
  double minDaltons = 0.01;  // floor of that window: files that round the precursor to two decimals
};

// Gives each MS2 scan to at most one feature: of the features whose edges enclose the scan's time, the one
// whose m/z lies nearest its precursor within the window; failing that, when the scan has an isolation
// window, the most intense feature whose m/z lies inside it. Returns, per feature, the indices of its scans
// in time order.
std::vector<std::vector<std::size_t>> linkTandemScans(const std::vector<LinkedFeature>& features,
                                                      const std::vector<TandemScan>& scans,
                                                      const Ms2LinkOptions& options);

#endif
