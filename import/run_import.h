#ifndef TORVA_IMPORT_RUN_IMPORT_H
#define TORVA_IMPORT_RUN_IMPORT_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "records/records.h"
#include "records/run_data.h"

// What a filter line alone says of its spectrum's channel. A filter line with
// a "cid" energy has that energy echoed on standard output for each spectrum
// that carries it.
struct FilterKey {
  TransitionKey key;
  bool echoesEnergy = false;
};

// The channel key a filter line gives, read as a full-scan or (srm) an SRM run.
FilterKey filterKey(const std::string& filterLine, bool srm);
// The channel key of a spectrum whose filter line reads as `parsed`; in an SRM
// run the spectrum's own precursor and range fields fill in.
TransitionKey transitionKey(const scan& spectrum, const FilterKey& parsed, bool srm);
TransitionKey transitionKey(const scan& spectrum, bool srm);

// The import of spectrum files into a run: reads each file with the loader
// its content calls for, appends its spectra to the run and groups them into
// channels, and keeps what went wrong on the way.
class RunImport {
 public:
  // When positive, the import keeps only spectra of this MS level.
  long long keptMsLevel = 0;
  // When set, a document whose root element is <mzData> goes to the mzData loader whatever the caller
  // forces (the feature pipeline and torva-compounds read it); else only the name chooses that loader.
  bool mzdataByRoot = false;
  // When set, told (files read, files in all) after each file of an import;
  // for a progress display only.
  std::function<void(std::size_t done, std::size_t total)> fileProgress;

  // Set when an input file could not be parsed as well-formed XML; the run goes
  // on with the spectra read so far, but its exit status reports the failure.
  bool inputFailed = false;
  // One line per file that no loader could read ("<path>: no spectra read: <why>").
  std::vector<std::string> unreadFiles;
  // SRM chromatograms found in mzML files (read as spectra in SRM mode).
  std::size_t srmChromatogramsSeen = 0;
  Header header;  // run metadata, as the mzData reader finds it

  // 1 when the file went to a loader, 0 for a rejected binary file.
  int importFile(RunData& run, const char* path, int forceMzXML);
  // True when the path was taken on (file or folder), false when unreadable.
  int importFolder(RunData& run, const char* path, int forceMzXML);

 private:
  // When the whole input gave no spectrum and some file could not be read, names
  // each such file on standard error and marks the input failed.
  void reportUnreadInput(const RunData& run);
  // Sorts the spectra from `first` on into channels and prints the channel list.
  void groupIntoChannels(RunData& run, std::size_t first);
};

#endif
