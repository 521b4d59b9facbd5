#include "export/export_folder.h"

#include "export/export_file.h"
#include "export/gnps_export.h"
#include "export/mztab_export.h"
#include "export/sirius_export.h"
#include "util/parallel_for.h"

void ExportFolderTexts::compose(std::size_t part) {
  if (part == 0) {
    mztab_ = mztabM(set_);
  } else if (part == 1) {
    const std::vector<std::string> ms2Lines = ms2PeakLines(set_);
    mgf_ = gnpsMgf(set_, &ms2Lines);
    sirius_ = siriusMs(set_, &ms2Lines);
  } else {
    quant_ = gnpsQuantTable(set_);
  }
}

bool ExportFolderTexts::write(const std::string& folder, std::string& error) const {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  return writeExportFile(base + "gnps.mgf", mgf_, error) &&
         writeExportFile(base + "gnps_quant.csv", quant_, error) &&
         writeExportFile(base + "sirius.ms", sirius_, error) &&
         writeExportFile(base + mztabName_, mztab_, error);
}

bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error) {
  ExportFolderTexts texts(set, mztabName);
  parallelFor(ExportFolderTexts::kParts, workerCount(),
              [&texts](std::size_t part, std::size_t) { texts.compose(part); });
  return texts.write(folder, error);
}
