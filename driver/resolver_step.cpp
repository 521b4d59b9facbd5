#include "driver/resolver_step.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/compound_step.h"
#include "export/export_folder.h"
#include "features/feature_finder.h"
#include "processing/centroiding.h"
#include "report/feature_table.h"
#include "util/atomic_file.h"
#include "util/console.h"
#include "util/parallel_for.h"

namespace {

FeatureSettings settingsOf(const Options& options) {
  FeatureSettings settings;
  if (options.msLevel > 0) settings.msLevel = options.msLevel;
  if (options.massPpm > 0) settings.ppm = options.massPpm;
  settings.minSn = options.minSn;
  settings.minPoints = static_cast<std::size_t>(options.minPoints);
  settings.fillGaps = options.fillGaps;
  // -C, when given, is an absolute cutoff of a feature's height and of a trace's apex.
  if (options.hasCutoff) {
    settings.minHeight = options.cutoff;
    settings.traceNoiseLevel = options.cutoff;
  }
  return settings;
}

// The m/z of a target as text, for a target without a name.
std::string massText(double mz) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", mz);
  return text;
}

std::vector<FeatureTarget> targetsOf(const RunData& run) {
  std::vector<FeatureTarget> targets;
  for (std::size_t t = 0; t < run.targetPeaks.size(); ++t) {
    FeatureTarget target;
    target.mz = run.targetPeaks[t].mz;
    target.name =
        t < run.targetNames.size() && !run.targetNames[t].empty() ? run.targetNames[t] : massText(target.mz);
    if (t < run.targetWindows.size() && run.targetWindows[t].bounded) {
      target.windowed = true;
      target.low = run.targetWindows[t].low;
      target.high = run.targetWindows[t].high;
      target.hasFillSpan = run.targetWindows[t].hasFillSpan;
      target.fillLow = run.targetWindows[t].fillLow;
      target.fillHigh = run.targetWindows[t].fillHigh;
    }
    targets.push_back(target);
  }
  return targets;
}

}  // namespace

bool runResolverStep(const Options& options, const RunData& run) {
  const FeatureSettings settings = settingsOf(options);
  // Profile spectra are centroided first, in a copy: the run's own spectra stay
  // as read for the chromatograms and reports of the same run.
  std::vector<scan> own;
  std::size_t centroided = 0;
  const std::vector<scan>& scans = centroidedSpectra(run.scans, own, centroided);
  if (centroided > 0) {
    console::err("torva: " + std::to_string(centroided) + " profile spectra centroided for the features\n");
  }
  const std::vector<FullScanGroup> groups = fullScanGroups(scans, featureLevel(settings));
  for (const FullScanGroup& group : groups) {
    if (group.leftOut == 0) continue;
    console::err("torva: " + std::to_string(group.leftOut) + " full scans of " + group.leftOutAnalyzers +
                 " left out of the features (polarity " + std::string(1, group.polarity) +
                 "): they are read from " + std::to_string(group.spectra.size()) + " " + group.analyzer +
                 " scans\n");
  }
  std::vector<FeatureRow> rows = findFeatures(groups, targetsOf(run), settings);
  ExportSet set;
  bool grouped = !options.compounds || runCompoundStep(options, scans, rows, set);
  // The exports composed and written beside the feature table: the table first, the largest part, then the
  // exports' parts as workers come free.
  const bool exporting = options.compounds && grouped && !options.exportDir.empty();
  ExportFolderTexts exports(set, "run.mztab");
  std::string tableError;
  bool tableWritten = true;
  const std::size_t parts = exporting ? ExportFolderTexts::kParts : 0;
  parallelFor(parts + 1, workerCount(), [&](std::size_t part, std::size_t) {
    if (part > 0) {
      exports.composeAndWrite(part - 1, options.exportDir);
    } else if (options.hasFeatures) {
      tableWritten = writeFeatureTable(options.features, rows, tableError);
    }
  });
  std::string error;
  if (exporting && !exports.written(error)) {
    console::err("torva: " + error + "\n");
    grouped = false;
  }
  if (!tableWritten) {
    console::err("torva: " + tableError + "\n");
    return false;
  }
  return grouped;
}
