#ifndef TORVA_EXPORT_EXPORT_FILE_H
#define TORVA_EXPORT_EXPORT_FILE_H

#include <string>
#include <vector>

#include "export/export_model.h"

// Writes `content` to a temporary file beside `path` and renames it into place, so that `path` is either the
// complete new file or untouched. False, with `error` naming the file and the reason, when that fails.
bool writeExportFile(const std::string& path, const std::string& content, std::string& error);

// Numbers as the exports print them: fixed with `digits` decimals, "C" locale.
std::string exportNumber(double value, int digits);
// The same appended to `out`.
void appendExportNumber(std::string& out, double value, int digits);
// A peak line of the spectrum exports: "m/z intensity\n", m/z with 5 decimals and the intensity with 1.
void appendExportPeak(std::string& out, double mz, double intensity);
// Every feature's exported MS2 spectrum (its first) as peak lines, empty for a feature without one: written
// once for both spectrum exports.
std::vector<std::string> ms2PeakLines(const ExportSet& set);
// Room enough for either spectrum export of the set (only what is written is touched): reserved up front,
// the text is not moved as it grows.
std::size_t spectrumExportRoom(const ExportSet& set, const std::vector<std::string>* ms2Lines);

#endif
