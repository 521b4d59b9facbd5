#include "export/export_folder.h"

#include "export/export_file.h"
#include "export/gnps_export.h"
#include "export/mztab_export.h"
#include "export/sirius_export.h"
#include "util/parallel_for.h"

void ExportFolderTexts::write(const std::string& folder, File file, const std::string& name,
                              const std::string& text) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  writeExportFile(base + name, text, errors_[file]);
}

void ExportFolderTexts::composeAndWrite(std::size_t part, const std::string& folder) {
  if (part == 0) {
    write(folder, kMztab, mztabName_, mztabM(set_));
  } else if (part == 1) {
    const std::vector<std::string> ms2Lines = ms2PeakLines(set_);
    write(folder, kMgf, "gnps.mgf", gnpsMgf(set_, &ms2Lines));
    write(folder, kSirius, "sirius.ms", siriusMs(set_, &ms2Lines));
  } else {
    write(folder, kQuant, "gnps_quant.csv", gnpsQuantTable(set_));
  }
}

bool ExportFolderTexts::written(std::string& error) const {
  for (const std::string& failed : errors_) {
    if (failed.empty()) continue;
    error = failed;
    return false;
  }
  return true;
}

bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error) {
  ExportFolderTexts texts(set, mztabName);
  parallelFor(ExportFolderTexts::kParts, workerCount(),
              [&](std::size_t part, std::size_t) { texts.composeAndWrite(part, folder); });
  return texts.written(error);
}
