#include "run/summary_report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/feature_duplicates.h"
#include "run/file_handle.h"
#include "run/report_file.h"
#include "util/compaction.h"
#include "util/console.h"

namespace {

// One gathered feature: a chromatogram with the channel it belongs to.
struct tuple {
  double mass = 0;  // precursor m/z in SRM mode, else the feature's mean m/z
  double rt = 0;    // apex time, minutes
  double area = 0;
  const channel* transition = nullptr;  // owned by the run store
  std::int32_t peakMax = 0;
  std::int32_t peakStart = 0;
  std::int32_t peakEnd = 0;
};

std::vector<tuple> gatherFeatures(const fileHandle& run) {
  std::vector<tuple> features;
  for (const channel& transition : run.channels) {
    for (const chrom& xic : transition.chroms) {
      tuple feature;
      feature.mass = run.SRM ? transition.precursorMz : xic.peakMz;
      feature.rt = xic.apexTime / 60.0;
      feature.area = xic.area;
      feature.transition = &transition;
      feature.peakMax = xic.apexScan;
      feature.peakStart = xic.startScan;
      feature.peakEnd = xic.endScan;
      features.push_back(feature);
    }
  }
  return features;
}

// Removes the features `rule` does not keep, keeping the order of the rest.
void removeDuplicates(std::vector<tuple>& list, double massTolerance, double timeTolerance, double massPpm,
                      DuplicateRule rule) {
  std::vector<FeatureKey> keys(list.size());
  for (std::size_t k = 0; k < list.size(); ++k) {
    keys[k] = FeatureKey{list[k].mass, list[k].rt, list[k].area, list[k].transition->precursorMz};
  }
  const std::vector<bool> remaining = rule(keys, massTolerance, timeTolerance, massPpm);
  keepUnlessDropped(list, [&remaining](std::size_t k) { return !remaining[k]; });
}

// "301.1@35.0[100.0000-400.0000]"; the "@" part only for a positive energy.
std::string channelLabel(const channel& transition) {
  std::string label = console::fixed(transition.precursorMz, 1);
  if (transition.collisionEnergy > 0) label += "@" + console::fixed(transition.collisionEnergy, 1);
  label +=
      "[" + console::fixed(transition.productLow, 4) + "-" + console::fixed(transition.productHigh, 4) + "]";
  return label;
}

}  // namespace

bool writeSummary(const fileHandle& run, const char* path, float timeTolerance, float massTolerance,
                  float cutoff, DuplicateRule rule, double massPpm) {
  // The tolerances arrive in single precision and are compared in double.
  const double timeWindow = timeTolerance;
  const double massWindow = massTolerance;
  const double areaFloor = cutoff;

  std::vector<tuple> features = gatherFeatures(run);
  removeDuplicates(features, massWindow, timeWindow, massPpm, rule);

  ReportFile report(path);
  report.endLine("mass\trt\tarea\tpeak max(scan)\tpeak start(scan)\tpeak end(scan)\ttransition\n");
  for (const tuple& feature : features) {
    if (!(feature.area > areaFloor && feature.rt > 0)) continue;
    std::string line = console::fixed(feature.mass, 5) + "\t" + console::fixed(feature.rt, 5) + "\t" +
                       console::fixed(feature.area, 5) + "\t";
    line += std::to_string(feature.peakMax) + "\t" + std::to_string(feature.peakStart) + "\t" +
            std::to_string(feature.peakEnd) + "\t";
    line += channelLabel(*feature.transition) + "\n";
    report.endLine(line);
  }
  return report.close();
}

bool fileHandle::exportSum(const char* path, float timeTolerance, float massTolerance, float cutoff,
                           double massPpm) {
  return writeSummary(*this, path, timeTolerance, massTolerance, cutoff, survivingFeatures, massPpm);
}
