// torva-quant: calibration curves and concentrations of a targeted cohort from
// its runs' quantitation tables.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "quant/cohort_quant.h"
#include "quant/quant_options.h"
#include "report/quant_cohort_tables.h"
#include "report/quant_table.h"
#include "report/quant_targets.h"
#include "report/quant_text.h"

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "torva-quant: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Options.
  QuantOptions options;
  std::string error;
  const int parsed = parseQuantOptions(argc, argv, options, error);
  if (parsed == 1) {
    std::fputs(kQuantUsage, stderr);
    return 1;
  }
  if (parsed == 2) return fail(error);

  try {
    // Target list, sample sheet, known concentrations.
    const std::vector<TargetTransition> targets = readTargetList(options.targets);
    std::vector<std::string> compounds;
    for (const TargetTransition& t : targets)
      if (t.role == TargetRole::Quantifier) compounds.push_back(t.compound);
    std::vector<QuantSample> samples = readQuantSheet(options.samples, compounds);
    if (!options.concentrations.empty()) readConcentrations(options.concentrations, compounds, samples);

    // Each sample's run table, and its traces when there are any.
    std::vector<std::vector<TargetResult>> tables;
    std::vector<std::vector<TargetTrace>> traces;
    bool allTraces = true;
    for (const QuantSample& s : samples) {
      const std::string path = options.runs + "/" + s.name + ".quant.tsv";
      tables.push_back(readQuantTable(path));
      const std::string mismatch = tableMismatch(targets, tables.back());
      if (!mismatch.empty()) return fail(path + ": not a table of " + options.targets + ": " + mismatch);
      const std::string tracePath = options.runs + "/" + s.name + ".traces.tsv";
      allTraces = allTraces && exists(tracePath);
      traces.push_back(allTraces ? readQuantTraces(tracePath) : std::vector<TargetTrace>());
    }

    // Curves and concentrations.
    const CohortQuantResult result = quantifyCohort(targets, samples, tables, options.settings);

    // Tables.
    if (!writeQuantLong(options.out + "/quant_long.tsv", result.longRows, error) ||
        !writeConcentrations(options.out + "/concentrations.tsv", result.compounds, result.samples,
                             result.concentrations, error) ||
        !writeCalibration(options.out + "/calibration.tsv", result.calibration, error) ||
        (allTraces && !writeCohortTraces(options.out + "/traces.tsv", result.samples, traces, error))) {
      return fail(error);
    }
    for (const CalibrationRow& row : result.calibration) {
      std::fprintf(stderr, "torva-quant: %s: %s, r2 %s, %s\n", row.compound.c_str(), row.status.c_str(),
                   fixedText(row.r2, 5).c_str(), row.equation.c_str());
    }
  } catch (const TableError& e) {
    return fail(e.what());
  }
  return 0;
}
