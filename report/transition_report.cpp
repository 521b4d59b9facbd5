#include "report/transition_report.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "report/channel_label.h"
#include "report/report_file.h"
#include "report/transition_table.h"
#include "util/console.h"
#include "util/decimal_text.h"
#include "util/parallel_for.h"

namespace {

// "Channel:\t301.10@35.00 [100.00-400.00]\tScans:\t120\n"; the "@" part always.
std::string labelLine(const channel& transition) {
  return transitionChannelLine(transitionLabel(transition), transition.scans.size());
}

// The first chromatogram's time axis, in minutes, stands for every row.
std::string tableHead(const chrom& first) {
  std::string line = transitionHeadStart();
  for (double time : first.times) {
    appendFixed(line, time / 60.0, kTransitionDecimals);
    line += '\t';
  }
  return line + "\n";
}

// The row is built in `line` (cleared first), so that its buffer is reused.
void tableRow(const chrom& xic, std::string& line) {
  line.clear();
  for (double value : {xic.peakMz, xic.apexIntensity, xic.apexTime / 60.0}) {
    appendFixed(line, value, kTransitionDecimals);
    line += '\t';
  }
  line += std::to_string(xic.apexScan);
  line += '\t';
  for (double value : {xic.area, xic.totalIntensity}) {
    appendFixed(line, value, kTransitionDecimals);
    line += '\t';
  }
  // One value per time point; the trace always has that length, and the bound
  // keeps a malformed record from reading past its trace. Numbers skip printf
  // (appendFixed gives printf's "%.2f" text).
  const std::size_t points = std::min(xic.times.size(), xic.intensities.size());
  for (std::size_t i = 0; i < points; ++i) {
    appendFixed(line, xic.intensities[i], kTransitionDecimals);
    line += '\t';
  }
  line += '\n';
}

}  // namespace

void TransitionReport::beginChannel(const channel& transition) {
  report_.endLine(labelLine(transition));
  headWritten_ = false;
}

void TransitionReport::addRows(const std::vector<chrom>& chroms) {
  if (chroms.empty()) return;
  if (!headWritten_) {
    report_.endLine(tableHead(chroms.front()));
    headWritten_ = true;
  }
  // Rows are formatted a group at a time, side by side when the group is
  // large enough to pay for the threads, and written in order.
  const std::size_t kGroup = 64;
  const std::size_t kMinValuesPerWorker = std::size_t{1} << 16;
  if (rows_.size() < kGroup) rows_.resize(kGroup);
  for (std::size_t begin = 0; begin < chroms.size(); begin += kGroup) {
    const std::size_t count = std::min(kGroup, chroms.size() - begin);
    std::size_t values = 0;
    for (std::size_t i = 0; i < count; ++i) values += chroms[begin + i].intensities.size();
    const std::size_t workers = std::min(workerCount(), values / kMinValuesPerWorker);
    parallelFor(count, workers, [&](std::size_t i, std::size_t) { tableRow(chroms[begin + i], rows_[i]); });
    for (std::size_t i = 0; i < count; ++i) report_.endLine(rows_[i]);
  }
}

void TransitionReport::endChannel() { report_.endLine("\n"); }

bool writeTransitionReport(const RunData& run, const char* path) {
  TransitionReport report(path);
  for (const channel& transition : run.channels) {
    report.beginChannel(transition);
    report.addRows(transition.chroms);
    report.endChannel();
  }
  return report.close();
}
