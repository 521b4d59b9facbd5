#include "report/summary_report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/channel_label.h"
#include "report/feature_duplicates.h"
#include "report/report_file.h"
#include "report/summary_table.h"
#include "util/compaction.h"

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

std::vector<tuple> gatherFeatures(const RunData& run) {
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
// Features of a positive and of a negative channel are never duplicates of
// each other: in a run of both polarities the rule runs on each polarity's
// features apart (channels that state none form a third group). The pass
// compares pairs only, so this is the pass with such pairs left alone.
void removeDuplicates(std::vector<tuple>& list, double massTolerance, double timeTolerance, double massPpm,
                      DuplicateRule rule) {
  bool positive = false, negative = false;
  for (const tuple& feature : list) {
    positive = positive || feature.transition->polarity == '+';
    negative = negative || feature.transition->polarity == '-';
  }
  const std::string groups = positive && negative ? "+-?" : std::string(1, '\0');
  std::vector<bool> remaining(list.size(), false);
  for (const char group : groups) {
    std::vector<std::size_t> members;
    std::vector<FeatureKey> keys;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (group != '\0' && list[k].transition->polarity != group) continue;
      members.push_back(k);
      keys.push_back(FeatureKey{list[k].mass, list[k].rt, list[k].area, list[k].transition->precursorMz});
    }
    if (members.empty()) continue;
    const std::vector<bool> kept = rule(keys, massTolerance, timeTolerance, massPpm);
    for (std::size_t m = 0; m < members.size(); ++m) remaining[members[m]] = kept[m];
  }
  keepUnlessDropped(list, [&remaining](std::size_t k) { return !remaining[k]; });
}

}  // namespace

bool writeSummary(const RunData& run, const char* path, float timeTolerance, float massTolerance,
                  float cutoff, DuplicateRule rule, double massPpm) {
  // The tolerances arrive in single precision and are compared in double.
  const double timeWindow = timeTolerance;
  const double massWindow = massTolerance;
  const double areaFloor = cutoff;

  std::vector<tuple> features = gatherFeatures(run);
  removeDuplicates(features, massWindow, timeWindow, massPpm, rule);

  ReportFile report(path);
  report.endLine(summaryHead());
  for (const tuple& feature : features) {
    if (!(feature.area > areaFloor && feature.rt > 0)) continue;
    report.endLine(summaryLine(feature.mass, feature.rt, feature.area, feature.peakMax, feature.peakStart,
                               feature.peakEnd, summaryLabel(*feature.transition)));
  }
  return report.close();
}

bool writeSummaryReport(const RunData& run, const char* path, float timeTolerance, float massTolerance,
                        float cutoff, double massPpm) {
  return writeSummary(run, path, timeTolerance, massTolerance, cutoff, survivingFeatures, massPpm);
}
