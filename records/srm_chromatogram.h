#ifndef TORVA_RECORDS_SRM_CHROMATOGRAM_H
#define TORVA_RECORDS_SRM_CHROMATOGRAM_H

#include <string>
#include <vector>

// One selected-reaction-monitoring chromatogram as an mzML file stores it: the
// transition and its intensity over time.
struct SrmChromatogram {
  std::string nativeId;
  double precursorMz = 0;      // precursor isolation window target
  double collisionEnergy = 0;  // 0 when the file gives none
  double productMz = 0;        // product isolation window target
  double productLow = 0;       // product window: target minus its lower offset
  double productHigh = 0;      // target plus its upper offset
  std::string polarity;        // "+", "-" or empty
  std::vector<double> times;   // seconds
  std::vector<float> intensities;
};

#endif
