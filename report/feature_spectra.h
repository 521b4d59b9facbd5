#ifndef TORVA_REPORT_FEATURE_SPECTRA_H
#define TORVA_REPORT_FEATURE_SPECTRA_H

// The feature spectra table: the evidence behind each feature, for the pages of torva-view. torva writes a
// run's (`--feature-spectra FILE`: each feature's MS1 spectrum at its apex, its linked MS2 spectra and its
// chromatogram); torva-compounds writes a cohort's (`--traces FILE`: each feature's chromatogram in every
// sample). This file is the only place that knows its columns.
//
// Layout: tab-separated text, lines ended by a line feed. The first line is the head, exactly the names of
// kFeatureSpectraColumns joined by tabs; every later line is one record with exactly that many fields:
//
//   feature_id    text, the feature's id in its feature table (or the cohort's features.tsv), non-empty
//   sample        text, the sample's name (a run's file name for a run), no tab or line feed
//   kind          "ms1": the MS1 spectrum nearest the feature's apex, a window of m/z around it;
//                 "ms2": an MS2 spectrum linked to the feature;
//                 "trace": the feature's chromatogram, the summed intensity within its m/z window per MS1
//                 spectrum
//   scan          whole number >= 0, the spectrum's scan number in the run file; 0 for a trace
//   rt            minutes: the spectrum's time; for a trace the feature's apex time in the sample
//   precursor_mz  m/z of the MS2 spectrum's precursor; 0 for the others
//   points        the points, separated by single spaces, each "x:y": x is m/z (spectra, 6 decimals) or
//                 minutes (traces, 4 decimals), y is the intensity in counts (1 decimal); x rises from
//                 point to point; empty when there are none
//
// Reading: the head must match exactly; a record must have the head's field count, numbers must read whole
// (report/table_text.h), the kind must be one of its three, x must not fall. Anything else throws
// FeatureSpectraError naming the file and the line. Empty lines are skipped.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

enum class SpectrumKind { Ms1, Ms2, Trace };

struct FeatureSpectrum {
  std::string featureId;
  std::string sample;
  SpectrumKind kind = SpectrumKind::Ms1;
  long long scan = 0;
  double rt = 0;                                  // minutes
  double precursorMz = 0;                         // m/z; 0 but for MS2
  std::vector<std::pair<double, double>> points;  // (m/z or minutes, counts), x rising
};

extern const std::vector<std::string> kFeatureSpectraColumns;

class FeatureSpectraError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

const char* spectrumKindName(SpectrumKind kind);

// One record's line, ended by '\n'.
std::string formatFeatureSpectrum(const FeatureSpectrum& record);
// The head line and the records.
std::string formatFeatureSpectra(const std::vector<FeatureSpectrum>& records);

// Parses a whole table; `name` names the source in error messages ("name:line: ...").
std::vector<FeatureSpectrum> parseFeatureSpectra(const std::string& text, const std::string& name);
// Streams a file, handing each record to `take` in file order, so a reader keeps only what it needs.
// Throws FeatureSpectraError when the file cannot be read or breaks the layout.
void readFeatureSpectra(const std::string& path, const std::function<void(FeatureSpectrum&&)>& take);

// Writes the table through a temporary file in the same folder, renamed to `path` when complete. False
// (with `error` set) when it fails; `path` is then left as it was.
bool writeFeatureSpectra(const std::string& path, const std::vector<FeatureSpectrum>& records,
                         std::string& error);

#endif
