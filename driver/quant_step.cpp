#include "driver/quant_step.h"

#include <string>
#include <vector>

#include "processing/filterer.h"
#include "records/run_data.h"
#include "report/quant_table.h"
#include "report/quant_targets.h"
#include "report/quant_text.h"
#include "targeted/target_quant.h"
#include "util/console.h"

bool runQuantStep(const Options& options, const RunData& run, const filterer& processor) {
  std::vector<TargetTransition> targets;
  try {
    targets = readTargetList(options.quantTargets);
  } catch (const TableError& error) {
    console::err(std::string("torva: target list rejected: ") + error.what() + "\n");
    return false;
  }
  const TargetQuantResult result = quantifyTargets(run, processor, targets);
  std::size_t found = 0;
  for (const TargetResult& row : result.rows) found += row.status == TargetStatus::Found ? 1 : 0;
  console::err("torva: " + std::to_string(found) + " of " + std::to_string(result.rows.size()) +
               " target transitions found\n");
  bool ok = true;
  std::string error;
  if (!writeQuantTable(options.quantOut, result.rows, error)) {
    console::err("torva: " + error + "\n");
    ok = false;
  }
  if (options.hasQuantTraces && !writeQuantTraces(options.quantTraces, result.traces, error)) {
    console::err("torva: " + error + "\n");
    ok = false;
  }
  return ok;
}
