#ifndef TORVA_REPORT_QUANT_TABLE_H
#define TORVA_REPORT_QUANT_TABLE_H

#include <string>
#include <vector>

// Whether a target transition's peak was found in a run.
enum class TargetStatus {
  Found,      // a peak with its apex inside the retention-time window
  NotFound,   // the transition was measured (or extracted) but shows no peak there
  NoChannel,  // the run has no spectra of this transition
};
const char* statusName(TargetStatus status);

// One row of a run's quantitation table: one target transition.
struct TargetResult {
  std::string compound;
  std::string transition;  // "precursor" or "precursor>product", as the target list writes them
  std::string role;        // quantifier, qualifier, internal_standard
  TargetStatus status = TargetStatus::NoChannel;
  double rt = 0;             // apex, minutes
  double rtStart = 0;        // first point of the integrated range, minutes
  double rtEnd = 0;          // last point of the integrated range, minutes
  double area = 0;           // trapezoid integral of the raw trace over the range, counts x seconds
  double height = 0;         // highest point of the raw trace over the range, counts
  double noise = 0;          // noise of the trace around the peak, counts
  double signalToNoise = 0;  // infinite (written empty) on a baseline without noise
  double ionRatio = 0;       // qualifiers: area over the quantifier's area; NaN when none
  std::string channel;       // the channel measured or extracted, empty for none
};

// One target's trace around its window, for the pages.
struct TargetTrace {
  std::string compound;
  std::string transition;
  std::vector<double> times;  // minutes
  std::vector<double> intensities;
};

// The per-run quantitation table (`torva --quant-out`): a header and one row per
// target transition in target-list order. Columns: compound, transition, role,
// status, rt, rt_start, rt_end, area, height, noise, signal_to_noise,
// ion_ratio, channel; numbers without a peak are 0, an ion ratio that does not
// apply is empty.
std::string quantTableText(const std::vector<TargetResult>& rows);
bool writeQuantTable(const std::string& path, const std::vector<TargetResult>& rows, std::string& error);
// Reads such a table back; TableError names the file and line of anything amiss.
std::vector<TargetResult> readQuantTable(const std::string& path);

// The traces table (`torva --quant-traces`): compound, transition, times,
// intensities; the last two comma-separated lists of equal length.
std::string quantTracesText(const std::vector<TargetTrace>& traces);
bool writeQuantTraces(const std::string& path, const std::vector<TargetTrace>& traces, std::string& error);
std::vector<TargetTrace> readQuantTraces(const std::string& path);

#endif
