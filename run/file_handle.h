#ifndef TORVA_RUN_FILE_HANDLE_H
#define TORVA_RUN_FILE_HANDLE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "records/chrom.h"
#include "records/records.h"

// One group of spectra sharing a transition key (precursor, collision energy,
// product range). Spectra are named by their index into the store's `scans`,
// which stays valid while that list grows.
struct channel {
  double precursorMz = 0;
  double collisionEnergy = 0;
  double productLow = 0;
  double productHigh = 0;
  char polarity = '?';             // '+', '-' or '?' (not stated): never mixed within a channel
  std::vector<std::size_t> scans;  // indices into fileHandle::scans, reading order
  std::vector<chrom> chroms;
};

// The bins of the binned map: (low, low + width], ... up to high, in m/z.
struct MapRange {
  double low = 400;
  double high = 900;
  double width = 1;
};

// The run store: the whole run in memory, from import to exit.
class fileHandle {
 public:
  fileHandle();
  virtual ~fileHandle();

  bool SRM = false;
  std::vector<scan> scans;
  std::vector<channel> channels;
  std::vector<datapeak> targetPeaks;
  // Retention-time windows of the targets, seconds, index for index with
  // targetPeaks; empty when no target has one. Unbounded entries span the run.
  struct TimeWindow {
    bool bounded = false;
    double low = 0;
    double high = 0;
  };
  std::vector<TimeWindow> targetWindows;
  // Names of the targets, index for index with targetPeaks (a --targets line's
  // fourth field); empty when no target has one, and "" for an unnamed target.
  std::vector<std::string> targetNames;
  Header header;

  // Set when an input file could not be parsed as well-formed XML; the run goes
  // on with the spectra read so far, but its exit status reports the failure.
  bool inputFailed = false;
  // One line per file that no loader could read ("<path>: no spectra read: <why>").
  std::vector<std::string> unreadFiles;
  // SRM chromatograms found in mzML files (read as spectra in SRM mode).
  std::size_t srmChromatogramsSeen = 0;

  // When positive, the import keeps only spectra of this MS level.
  long long keptMsLevel = 0;

  // When set, told (files read, files in all) after each file of an import;
  // for a progress display only.
  std::function<void(std::size_t done, std::size_t total)> fileProgress;

  // Splits `text` into maximal runs of characters not in `delimiters`.
  static void Tokenize(const std::string& text, std::vector<std::string>& tokens,
                       const std::string& delimiters);
  // Appends one target per comma- or line-separated value. Always returns 1.
  int addPeaks(std::string list);
  // Reads a target file: 1 when read, -1 when rejected ("BAD FILE"),
  // 0 when it cannot be opened (then an empty list is added).
  int importPeaks(const char* path);
  // Reads a file of windowed targets, one `mz<TAB>rt_low<TAB>rt_high` line each
  // (minutes; empty lines and lines starting with '#' are skipped), optionally
  // with a fourth field, the target's name. Returns 1
  // when read, 0 when it cannot be opened, -1 (with `error` set) when a line is
  // malformed; then no target of the file is added.
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

  // Polarity of a spectrum: as its filter line states it (a "+" or "-" token),
  // else as the file's polarity field states it; '?' when neither does.
  static char filterLinePolarity(const std::string& filterLine);
  static char polarityOf(const scan& spectrum, char fromFilterLine);

  // The transition key of one spectrum, from its filter line (and in SRM mode
  // from its own precursor and range fields).
  struct TransitionKey {
    double precursorMz = 0;
    double collisionEnergy = 0;
    double productLow = 0;
    double productHigh = 0;
  };
  TransitionKey transitionKey(const scan& spectrum) const;
  // What a filter line alone says of its spectrum's channel. A filter line with
  // a "cid" energy has that energy echoed on standard output for each spectrum
  // that carries it.
  struct FilterKey {
    TransitionKey key;
    bool echoesEnergy = false;
  };
  FilterKey filterKey(const std::string& filterLine) const;
  // The channel key of a spectrum whose filter line reads as `parsed`.
  TransitionKey transitionKey(const scan& spectrum, const FilterKey& parsed) const;

 private:
  // When the whole input gave no spectrum and some file could not be read, names
  // each such file on standard error and marks the input failed.
  void reportUnreadInput();
  // Sorts the spectra from `first` on into channels and prints the channel list.
  void groupIntoChannels(std::size_t first);
};

#endif
