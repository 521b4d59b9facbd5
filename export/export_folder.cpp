#include "export/export_folder.h"

#include "export/export_file.h"
#include "export/gnps_export.h"
#include "export/mztab_export.h"
#include "export/sirius_export.h"
#include "util/parallel_for.h"

bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  // The mzTab file, the largest, is composed beside the other three.
  std::string mgf, quant, sirius, mztab;
  parallelFor(2, workerCount(), [&](std::size_t part, std::size_t) {
    if (part == 1) {
      mztab = mztabM(set);
      return;
    }
    const std::vector<std::string> ms2Lines = ms2PeakLines(set);
    mgf = gnpsMgf(set, &ms2Lines);
    quant = gnpsQuantTable(set);
    sirius = siriusMs(set, &ms2Lines);
  });
  return writeExportFile(base + "gnps.mgf", mgf, error) &&
         writeExportFile(base + "gnps_quant.csv", quant, error) &&
         writeExportFile(base + "sirius.ms", sirius, error) &&
         writeExportFile(base + mztabName, mztab, error);
}
