#ifndef TORVA_REPORT_TRANSITION_REPORT_H
#define TORVA_REPORT_TRANSITION_REPORT_H

#include <string>
#include <vector>

#include "records/chrom.h"
#include "records/run_data.h"
#include "report/report_file.h"

// The transition report written a channel at a time, so that a run can hand
// over each channel's chromatograms (in parts) as soon as they are final. The
// file is created on construction; close() tells whether every byte reached it
// (and otherwise says why on standard error).
class TransitionReport {
 public:
  explicit TransitionReport(const char* path) : report_(path) {}

  void beginChannel(const channel& transition);
  // The next chromatograms of the channel begun, with their traces.
  void addRows(const std::vector<chrom>& chroms);
  void endChannel();
  bool close() { return report_.close(); }

 private:
  ReportFile report_;
  bool headWritten_ = false;
  std::vector<std::string> rows_;  // buffers reused from group to group
};

// The whole transition report of `run`. False when it could not be written completely.
bool writeTransitionReport(const RunData& run, const char* path);

#endif
