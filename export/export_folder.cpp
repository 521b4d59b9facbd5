#include "export/export_folder.h"

#include "export/export_file.h"
#include "export/gnps_export.h"
#include "export/mztab_export.h"
#include "export/sirius_export.h"

bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  const std::vector<std::string> ms2Lines = ms2PeakLines(set);
  return writeExportFile(base + "gnps.mgf", gnpsMgf(set, &ms2Lines), error) &&
         writeExportFile(base + "gnps_quant.csv", gnpsQuantTable(set), error) &&
         writeExportFile(base + "sirius.ms", siriusMs(set, &ms2Lines), error) &&
         writeExportFile(base + mztabName, mztabM(set), error);
}
