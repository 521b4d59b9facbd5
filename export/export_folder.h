#ifndef TORVA_EXPORT_EXPORT_FOLDER_H
#define TORVA_EXPORT_EXPORT_FOLDER_H

#include <string>

#include "export/export_model.h"

// Writes the four exports into `folder` (which must exist): gnps.mgf, gnps_quant.csv, sirius.ms and
// `mztabName` (cohort.mztab for a cohort), each whole or not at all. False, with `error` naming the first
// file that failed, when any could not be written.
bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error);

#endif
