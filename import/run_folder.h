#ifndef TORVA_IMPORT_RUN_FOLDER_H
#define TORVA_IMPORT_RUN_FOLDER_H

#include <string>
#include <vector>

// Which entries of an input folder are runs, and in what order they are read.

// True when a folder entry of this name is read as a run: the name contains
// ".mzXML" or "xml", or ends in .mzML, .mzML.gz or .mzXML.gz (in any case).
// Only the entry's own name counts, never the folder's.
bool isRunName(const std::string& entryName);

// The runs of a folder: regular files (or links to them) whose names pass
// isRunName, as `prefix` + name, in byte order of their names, so that the
// same files are read in the same order however they were created. Other
// entries (folders, FIFOs, devices, sockets, dangling links) are skipped and,
// when they have a run's name, listed in `skipped` with the reason. False
// when the folder cannot be listed.
bool listRunFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& runs,
                  std::vector<std::string>& skipped);

#endif
