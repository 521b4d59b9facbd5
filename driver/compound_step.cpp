#include "driver/compound_step.h"

#include <exception>
#include <string>

#include "compounds/run_compounds.h"
#include "export/export_folder.h"
#include "util/console.h"

namespace {

std::string baseName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.find_last_of('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace

bool runCompoundStep(const Options& options, const RunData& run, std::vector<FeatureRow>& rows) {
  RunCompoundOptions settings;
  if (!options.adducts.empty()) {
    try {
      settings.adducts = readAdductFile(options.adducts);  // checked before the run; read again here
    } catch (const std::exception& error) {
      console::err(std::string("torva: --adducts ") + error.what() + "\n");
      return false;
    }
  }
  if (options.massPpm > 0) {
    settings.grouping.ppm = settings.linkage.ppm = settings.tracePpm = options.massPpm;
  }
  const ExportSet set = groupRunCompounds(run.scans, rows, settings, baseName(options.input), options.input);
  if (options.exportDir.empty()) return true;
  std::string error;
  if (!writeExportFolder(options.exportDir, set, "run.mztab", error)) {
    console::err("torva: " + error + "\n");
    return false;
  }
  return true;
}
