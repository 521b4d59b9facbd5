#include <cstdio>
#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "view/binned_map_grid.h"
#include "view/cohort_tables.h"
#include "view/page_writer.h"
#include "view/run_tables.h"
#include "view/view_options.h"

namespace {

int fail(const std::string& message) {
  std::cerr << "torva-view: " << message << '\n';
  return static_cast<int>(ViewStatus::Failed);
}

// Writes the page through a temporary file, so that a failed write never leaves a
// half page under the requested name.
template <typename Write>
int writePage(const std::string& path, Write write) {
  const std::string partial = path + ".part";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) return fail("cannot write '" + partial + "': check that its folder exists and is writable");
    write(out);
    out.flush();
    if (!out) {
      std::remove(partial.c_str());
      return fail("writing '" + partial + "' failed (disk full?)");
    }
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return fail("cannot replace '" + path + "'");
  }
  return static_cast<int>(ViewStatus::Ok);
}

int runPage(const ViewOptions& options) {
  std::string error;
  // Reports: the summary is required, the transition report and map are optional.
  RunTables tables;
  if (!readSummary(options.summary, tables, error)) return fail(error);
  if (!options.transitions.empty()) {
    if (!readTransitions(options.transitions, tables, error)) return fail(error);
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
  return writePage(options.out, [&](std::ostream& out) { writeCohortPage(options, cohort, out); });
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
    return options.cohort.empty() ? runPage(options) : cohortPage(options);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
