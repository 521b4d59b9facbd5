#ifndef TORVA_ALIGN_ALIGNER_H
#define TORVA_ALIGN_ALIGNER_H

#include <string>

#include "align/grouping.h"

// Everything torva-align can be told, with defaults (times in minutes).
struct AlignOptions {
  std::string sheet;            // sample sheet
  std::string summaries;        // folder of summary reports, <sample>.tsv
  std::string filled;           // folder of gap-filling reports, <sample>.tsv; empty: none yet
  std::string out;              // cohort folder to write
  MassTolerance mass;           // --ppm, --mz-tol
  double rtTolerance = 0.1;     // --rt-tol: largest time gap inside a group, after correction
  double maxDrift = 1.5;        // --max-drift: largest drift between samples before correction
  double anchorFraction = 0.8;  // --anchor-fraction: share of samples an anchor is seen in
  double minFraction = 0.5;     // --min-fraction: share of a sheet group a feature must be seen in
  double gridStep = 0.1;        // --grid: spacing of the correction table
  double fillWindow = 0.1;      // --fill-window: half-width of a gap-filling time window
  bool allChannels = false;     // --all-channels: not only the full-scan channel
};

// Aligns the cohort and writes the cohort folder; with `filled` set, fills the
// table's gaps from the gap-filling reports, otherwise writes the gap-filling
// targets, one file per sample, to <out>/targets/<sample>.tsv. Returns the
// exit status (0, or 2 after naming the failure on standard error).
int alignCohort(const AlignOptions& options);

#endif
