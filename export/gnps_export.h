#ifndef TORVA_EXPORT_GNPS_EXPORT_H
#define TORVA_EXPORT_GNPS_EXPORT_H

#include <string>

#include "export/export_model.h"

// The MGF of feature-based molecular networking: one block per feature with an MS2 spectrum, in table order:
//   BEGIN IONS / FEATURE_ID=<feature_id> / PEPMASS=<m/z> / SCANS=<feature_id> / RTINSECONDS=<apex, s> /
//   CHARGE=<z><sign> / MSLEVEL=2 / one "m/z intensity" line per peak / END IONS, and an empty line.
// SCANS carries the feature id, as the networking joins spectra to quantification rows by it.
// `ms2Lines`: ms2PeakLines(set) when the caller has them, else null.
std::string gnpsMgf(const ExportSet& set, const std::vector<std::string>* ms2Lines = nullptr);

// Its quantification table, comma-separated: row ID, row m/z, row retention time (minutes), then
// "<sample> Peak area" per sample; one row per feature in table order.
std::string gnpsQuantTable(const ExportSet& set);

// A field of a comma-separated file, quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text);

#endif
