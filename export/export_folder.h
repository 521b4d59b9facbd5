#ifndef TORVA_EXPORT_EXPORT_FOLDER_H
#define TORVA_EXPORT_EXPORT_FOLDER_H

#include <cstddef>
#include <string>

#include "export/export_model.h"

// The texts of the four exports of a set, composed in parts that may run side by side (each part writes
// only its own texts), then written into a folder.
class ExportFolderTexts {
 public:
  // The mzTab file; the GNPS spectra and the SIRIUS file (they share the MS2 peak lines); the GNPS
  // quantification table. Largest first.
  static constexpr std::size_t kParts = 3;

  ExportFolderTexts(const ExportSet& set, std::string mztabName)
      : set_(set), mztabName_(std::move(mztabName)) {}
  void compose(std::size_t part);
  // Writes gnps.mgf, gnps_quant.csv, sirius.ms and the mzTab file into `folder` (which must exist), each
  // whole or not at all. False, with `error` naming the first file that failed, when any could not be
  // written.
  bool write(const std::string& folder, std::string& error) const;

 private:
  const ExportSet& set_;
  std::string mztabName_;
  std::string mgf_, quant_, sirius_, mztab_;
};

// Composes and writes the four exports into `folder`: gnps.mgf, gnps_quant.csv, sirius.ms and `mztabName`
// (cohort.mztab for a cohort), as ExportFolderTexts::write does.
bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error);

#endif
