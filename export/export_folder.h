#ifndef TORVA_EXPORT_EXPORT_FOLDER_H
#define TORVA_EXPORT_EXPORT_FOLDER_H

#include <cstddef>
#include <string>

#include "export/export_model.h"

// The four exports of a set, composed and written in parts that may run side by side (each part writes only
// its own texts and files).
class ExportFolderTexts {
 public:
  // The mzTab file; the GNPS spectra and the SIRIUS file (they share the MS2 peak lines); the GNPS
  // quantification table. Largest first.
  static constexpr std::size_t kParts = 3;

  ExportFolderTexts(const ExportSet& set, std::string mztabName)
      : set_(set), mztabName_(std::move(mztabName)) {}
  // Composes one part and writes its files into `folder` (which must exist), each whole or not at all; the
  // texts are let go once written.
  void composeAndWrite(std::size_t part, const std::string& folder);
  // Once every part is done: false, with `error` naming the first file that failed (gnps.mgf,
  // gnps_quant.csv, sirius.ms, the mzTab file, in that order), when any could not be written.
  bool written(std::string& error) const;

 private:
  enum File { kMgf, kQuant, kSirius, kMztab, kFiles };
  void write(const std::string& folder, File file, const std::string& name, const std::string& text);

  const ExportSet& set_;
  std::string mztabName_;
  std::string errors_[kFiles];  // empty while a file is written or not yet tried
};

// Composes and writes the four exports into `folder`: gnps.mgf, gnps_quant.csv, sirius.ms and `mztabName`
// (cohort.mztab for a cohort), as ExportFolderTexts does.
bool writeExportFolder(const std::string& folder, const ExportSet& set, const std::string& mztabName,
                       std::string& error);

#endif
