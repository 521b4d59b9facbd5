#ifndef TORVA_VIEW_RUN_TABLES_H
#define TORVA_VIEW_RUN_TABLES_H

#include <string>
#include <vector>

#include "report/channel_label.h"

// One line of the summary report, its fields kept as printed.
struct SummaryFeature {
  std::string mass, rt, area, label;
  double massValue = 0, rtValue = 0, areaValue = 0;
  long long apexScan = 0, startScan = 0, endScan = 0;
  ChannelLabel channel;

  // Filled from the transition report when the feature's chromatogram is found in it.
  int traceChannel = -1;                               // index into RunTables::channels
  int apexIndex = -1, startIndex = -1, endIndex = -1;  // trace points of apex and integrated range
  int sliceStart = 0;                                  // trace point of slice[0]
  std::vector<std::string> slice;                      // trace values around the feature, as printed
};

// One channel of the transition report.
struct TraceChannel {
  std::string label;               // as printed after "Channel:"
  long long scans = 0;             // spectra of the channel ("Scans:")
  long long chromatograms = 0;     // rows of its table
  std::vector<std::string> times;  // time axis in minutes, as printed; kept only when a feature uses it
};

struct RunTables {
  std::vector<SummaryFeature> features;
  std::vector<TraceChannel> channels;
  bool haveTransitions = false;
  long long unmatchedFeatures = 0;  // features whose chromatogram is not in the transition report
};

// Reads the summary report. False (with `error`) when it cannot be opened or its
// header is not the summary's.
bool readSummary(const std::string& path, RunTables& tables, std::string& error);

// Streams the transition report and keeps, for each summary feature, its channel's
// time axis and the stretch of its trace around the integrated range. Rows of
// channels without a summary feature are only counted.
bool readTransitions(const std::string& path, RunTables& tables, std::string& error);

// A trace point index for every scan number, from anchors (scan number, trace
// point) of the channel's detected apexes: exact at an anchor, linear between
// anchors, and extended from the nearest ones outside them.
class ScanIndexMap {
 public:
  void addAnchor(long long scan, int index);
  // Sorts the anchors and drops those that go backwards; call once after the last anchor.
  void finish();
  int indexOf(long long scan, int points) const;

 private:
  std::vector<std::pair<long long, int>> anchors_;
};

#endif
