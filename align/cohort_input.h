#ifndef TORVA_ALIGN_COHORT_INPUT_H
#define TORVA_ALIGN_COHORT_INPUT_H

#include <string>
#include <vector>

// One row of the sample sheet.
struct SampleEntry {
  std::string name;
  std::string file;
  std::string group;  // empty when the sheet has no group column
};

// One feature of a sample's summary report or feature table.
struct SampleFeature {
  double mz = 0;
  double rt = 0;  // apex, minutes, as measured
  double area = 0;
  std::string areaText;  // the area as the report wrote it, copied to the table unchanged
  // Feature tables only (`detailed`): the peak's height (counts), full width
  // at half height (minutes), signal-to-noise and edges (minutes).
  bool detailed = false;
  double height = 0;
  double fwhm = 0;
  double sn = 0;
  double rtStart = 0;
  double rtEnd = 0;
  bool filled = false;  // measured by a gap-filling pass (status filled), not detected
};

// Why a sample name cannot be used as a file name in the output folder ('/',
// '..', a control character), or "" when it can.
std::string sampleNameProblem(const std::string& name);

// Reads a tab-separated sample sheet with a header naming `sample` and `file`
// (any order, `group` optional, other columns ignored). Returns false with
// `error` set on a missing column, a short line, an empty or repeated name, or
// a name that cannot be a file name (sampleNameProblem).
bool readSampleSheet(const std::string& path, std::vector<SampleEntry>& samples, std::string& error);

// Reads the features of a summary report (`mass`, `rt`, `area`, ..., `transition`).
// With `fullScanOnly`, only rows of the full-scan channel (precursor 0) are kept.
// Returns false with `error` set when the file cannot be read or a row is malformed.
bool readSummary(const std::string& path, bool fullScanOnly, std::vector<SampleFeature>& features,
                 std::string& error);

// Reads a sample's report, a summary report or a feature table (torva --features),
// told apart by the head line. Of a feature table, the rows that stand for
// their compound and were found are kept (with `fullScanOnly`, of MS level 1).
// Returns false with `error` set as readSummary does.
bool readSampleReport(const std::string& path, bool fullScanOnly, std::vector<SampleFeature>& features,
                      std::string& error);

#endif
