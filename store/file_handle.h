#ifndef TORVA_STORE_FILE_HANDLE_H
#define TORVA_STORE_FILE_HANDLE_H

#include <string>
#include <vector>

#include "import/run_import.h"
#include "records/records.h"
#include "records/run_data.h"

// The run store: the whole run in memory, from import to exit. It holds the
// run's data (RunData) and what its import learned (RunImport), and offers the
// import, the target lists and the reports as one interface over them.
class fileHandle : public RunData, public RunImport {
 public:
  fileHandle();
  virtual ~fileHandle();

  using TransitionKey = ::TransitionKey;
  using FilterKey = ::FilterKey;

  // Splits `text` into maximal runs of characters not in `delimiters`.
  static void Tokenize(const std::string& text, std::vector<std::string>& tokens,
                       const std::string& delimiters);
  // Appends one target per comma- or line-separated value. Always returns 1.
  int addPeaks(std::string list);
  // Reads a target file: 1 when read, -1 when rejected ("BAD FILE"),
  // 0 when it cannot be opened (then an empty list is added).
  int importPeaks(const char* path);
  // Reads a file of windowed targets (see importTargetWindows in import/target_list.h).
  int importTargetWindows(const char* path, std::string& error);

  // 1 when the file went to a loader, 0 for a rejected binary file.
  int importFile(const char* path, int forceMzXML);
  // True when the path was taken on (file or folder), false when unreadable.
  int importFolder(const char* path, int forceMzXML);

  // Reports. Each returns whether the file was created and written completely.
  int outputXIC(const char* path);
  bool exportMap(const char* path, const MapRange& range = MapRange());
  // With massPpm positive, features merge within that many ppm of their mass
  // instead of within massTolerance.
  bool exportSum(const char* path, float timeTolerance, float massTolerance, float cutoff,
                 double massPpm = 0);

  // The transition key of one spectrum, from its filter line (and in SRM mode
  // from its own precursor and range fields).
  TransitionKey transitionKey(const scan& spectrum) const;
  FilterKey filterKey(const std::string& filterLine) const;
  TransitionKey transitionKey(const scan& spectrum, const FilterKey& parsed) const;
};

#endif
