#include <cstdio>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "util/atomic_file.h"
#include "view/binned_map_grid.h"
#include "view/cohort_tables.h"
#include "view/feature_tables.h"
#include "view/page_writer.h"
#include "view/run_tables.h"
#include "view/view_options.h"

namespace {

int fail(const std::string& message) {
  std::cerr << "torva-view: " << message << '\n';
  return static_cast<int>(ViewStatus::Failed);
}

// Writes the page through a temporary file in its folder, renamed when
// complete: a failed write never leaves a half page under the requested name,
// and an earlier page there stays as it was.
template <typename Write>
int writePage(const std::string& path, Write write) {
  std::ostringstream page;
  write(page);
  std::string error;
  if (!writeWholeFile(path, page.str(), error)) return fail(error);
  return static_cast<int>(ViewStatus::Ok);
}

// Names on standard error what the page's limits left out (view/run_tables.h).
void tellLeftOut(const ViewOptions& options, const RunTables& tables) {
  if (tables.featuresLeftOut > 0)
    std::cerr << "torva-view: the page shows the first " << kMaxPageFeatures << " features of '"
              << options.summary << "'; the " << tables.featuresLeftOut << " after them were left out\n";
  if (tables.channelsLeftOut > 0)
    std::cerr << "torva-view: the page reads the first " << kMaxPageChannels << " channels of '"
              << options.transitions << "'; the " << tables.channelsLeftOut << " after them were left out\n";
  if (tables.pointsLeftOut > 0)
    std::cerr << "torva-view: " << tables.pointsLeftOut << " time points of '" << options.transitions
              << "' past the first " << kMaxChannelPoints << " of a channel were left out\n";
  if (tables.tracesLeftOut > 0)
    std::cerr << "torva-view: " << tables.tracesLeftOut
              << " features are shown without their trace: the page "
              << "holds at most " << kMaxPageTracePoints << " trace points\n";
}

int runPage(const ViewOptions& options) {
  std::string error;
  // Reports: the summary is required, the transition report and map are optional.
  RunTables tables;
  if (!readSummary(options.summary, tables, error)) return fail(error);
  if (options.transitions.empty()) tellLeftOut(options, tables);
  if (!options.transitions.empty()) {
    if (!readTransitions(options.transitions, tables, error)) return fail(error);
    tellLeftOut(options, tables);
    if (tables.unmatchedFeatures > 0)
      std::cerr << "torva-view: " << tables.unmatchedFeatures << " features have no chromatogram in '"
                << options.transitions << "' (is it the same run?)\n";
  }
  BinnedMapGrid map;
  const bool haveMap = !options.map.empty();
  if (haveMap && !readBinnedMap(options.map, 800, map, error)) return fail(error);
  // Page.
  RunPageInputs inputs;
  inputs.options = &options;
  inputs.tables = &tables;
  inputs.map = haveMap ? &map : nullptr;
  return writePage(options.out, [&](std::ostream& out) { writeRunPage(inputs, out); });
}

int cohortPage(const ViewOptions& options) {
  std::string error;
  CohortTables cohort;
  if (!readCohort(options.cohort, cohort, error)) return fail(error);
  for (const std::string& warning : cohort.warnings) std::cerr << "torva-view: " << warning << '\n';
  // The features' traces across the samples, when torva-compounds wrote them.
  std::vector<std::string> ids, samples;
  for (const auto& row : cohort.features.rows) ids.push_back(row.empty() ? std::string() : row[0]);
  for (const auto& row : cohort.samples.rows) samples.push_back(row.empty() ? std::string() : row[0]);
  CohortTraces traces;
  const std::string tracesPath = options.cohort + "/feature_traces.tsv";
  if (!readCohortTraces(tracesPath, ids, samples, traces, error)) return fail(error);
  if (traces.leftOut > 0)
    std::cerr << "torva-view: the page holds at most " << kMaxPageSpectrumPoints << " trace points; "
              << traces.leftOut << " traces of '" << tracesPath << "' past them were left out\n";
  if (traces.unmatched > 0)
    std::cerr << "torva-view: " << traces.unmatched << " traces of '" << tracesPath
              << "' belong to no feature or sample of the page\n";
  return writePage(options.out, [&](std::ostream& out) { writeCohortPage(options, cohort, out, &traces); });
}

int featurePage(const ViewOptions& options) {
  std::string error;
  FeaturePageTables tables;
  if (!readFeaturePage(options.features, options.spectra, tables, error)) return fail(error);
  if (tables.featuresLeftOut > 0)
    std::cerr << "torva-view: the page shows the first " << kMaxPageFeatures << " features of '"
              << options.features << "'; the " << tables.featuresLeftOut << " after them were left out\n";
  if (tables.spectraLeftOut > 0)
    std::cerr << "torva-view: the page holds at most " << kMaxPageSpectrumPoints << " spectrum points; "
              << tables.spectraLeftOut << " spectra and traces of '" << options.spectra
              << "' past them were left out\n";
  if (tables.spectraUnmatched > 0)
    std::cerr << "torva-view: " << tables.spectraUnmatched << " spectra and traces of '" << options.spectra
              << (tables.featuresLeftOut > 0 ? "' belong to features left out or to none of the table\n"
                                             : "' belong to no feature of the table (is it the same run?)\n");
  return writePage(options.out, [&](std::ostream& out) { writeFeaturePage(options, tables, out); });
}

int quantPage(const ViewOptions& options) {
  std::string error;
  QuantTables tables;
  if (!readQuantFolder(options.quant, tables, error)) return fail(error);
  return writePage(options.out, [&](std::ostream& out) { writeQuantPage(options, tables, out); });
}

}  // namespace

int main(int argc, char** argv) {
  ViewOptions options;
  std::string error;
  if (!parseViewOptions(argc, argv, options, error)) {
    if (!error.empty()) std::cerr << "torva-view: " << error << "\n\n";
    std::cerr << viewUsageText();
    return static_cast<int>(ViewStatus::Usage);
  }
  try {
    if (!options.quant.empty()) return quantPage(options);
    if (!options.features.empty()) return featurePage(options);
    return options.cohort.empty() ? runPage(options) : cohortPage(options);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
