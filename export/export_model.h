#ifndef TORVA_EXPORT_EXPORT_MODEL_H
#define TORVA_EXPORT_EXPORT_MODEL_H

#include <string>
#include <vector>

// One centroid of an exported spectrum.
struct ExportPeak {
  double mz = 0;
  double intensity = 0;
};

// One MS2 spectrum as the exports write it.
struct ExportSpectrum {
  long scanNumber = 0;  // as the run file numbers it
  int sample = 0;       // index into ExportSet::samples
  double rt = 0;        // seconds
  double precursorMz = 0;
  std::vector<ExportPeak> peaks;
};

// One feature (a row of the run's feature table or of the cohort's features.tsv) with what the exports need.
struct ExportFeature {
  long featureId = 0;  // the table's feature_id
  double mz = 0;
  double rt = 0;  // apex, seconds
  double rtStart = 0;
  double rtEnd = 0;
  std::vector<double> areas;  // one per sample; 0 where the sample has none
  long compoundId = 0;
  std::string ion;         // as in the table: "[M+H]+", "[M+H]+ 13C1", "13C1", ""
  int charge = 0;          // 0 unknown
  double neutralMass = 0;  // 0 unknown
  bool representative = false;
  int isotope = 0;
  long ms2Scans = 0;                   // MS2 spectra linked to the feature
  std::vector<ExportSpectrum> ms2;     // the spectrum exported for it (the best linked one), or none
  std::vector<ExportPeak> ms1Pattern;  // its isotope pattern in the MS1 spectrum at its apex
  int polarity = 0;                    // +1 positive ions, -1 negative; 0: the set's
};

struct ExportSet {
  std::vector<std::string> samples;   // sample names, e.g. the run files' names
  std::vector<std::string> runFiles;  // the run files as given (paths), one per sample
  int polarity = 1;                   // +1 positive ions, -1 negative
  std::string software = "TORVA";     // name and version for the files that record it
  std::string title;                  // e.g. the cohort's folder name
  std::vector<ExportFeature> features;
};

// The polarity of a feature's ions: its own, else the set's.
inline int polarityOf(const ExportSet& set, const ExportFeature& feature) {
  return feature.polarity != 0 ? feature.polarity : set.polarity;
}

#endif
