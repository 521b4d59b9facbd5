#ifndef TORVA_RECORDS_RECORDS_H
#define TORVA_RECORDS_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One centroid of a spectrum, or one entry of the target mass list.
struct datapeak {
  double mz = 0;         // daltons
  double intensity = 0;  // plain number; merged peaks add into it
  double rt = 0;         // retention time of the owning spectrum, set by peak picking
  bool isotope = false;  // folded into a lighter peak by deisotoping
  // Deisotoping only: index, in the working list of kept peaks, of the root peak
  // that received this peak's intensity. Meaningful only while `isotope` is set.
  std::ptrdiff_t parent = -1;
};

// One peak as a spectrum keeps it: its two numbers, nothing else. Picking,
// deisotoping and loss folding work on `datapeak` copies of it, which carry the
// working fields; the conversions between the two are exact both ways.
struct StoredPeak {
  double mz = 0;
  double intensity = 0;

  StoredPeak() = default;
  StoredPeak(double mzValue, double intensityValue) : mz(mzValue), intensity(intensityValue) {}
  StoredPeak(const datapeak& peak) : mz(peak.mz), intensity(peak.intensity) {}  // NOLINT: implicit on purpose
  operator datapeak() const {                                                   // NOLINT: implicit on purpose
    datapeak peak;
    peak.mz = mz;
    peak.intensity = intensity;
    return peak;
  }
};

// How a spectrum's points were stored: as centroids (one point per peak), as
// profile data (the sampled signal, several points across each peak), or not
// said by the file. mzML: MS:1000127 / MS:1000128; mzXML: the scan's
// `centroided` attribute (1 / 0); mzData: acqSpecification's spectrumType
// ("discrete" / "continuous").
enum class SpectrumRepresentation : unsigned char { Unknown, Centroid, Profile };

// One spectrum as the readers produce it. A value type: copies are deep.
class scan {
 public:
  std::string description;      // "<file> scan <num> (charge <charge>)"
  std::int64_t id = 0;          // unique within its file
  std::int64_t peaksCount = 0;  // number of peaks the file declares
  std::int64_t num = 0;         // scan number as the file gives it
  std::string filterLine;
  std::int64_t msLevel = 0;
  std::string polarity;
  std::string scanType;
  double rt = 0;  // retention time, seconds
  double lowMz = 0;
  double highMz = 0;
  double basePeakIntensity = 0;
  double totIonCurrent = 0;
  double collisionEnergy = 0;
  double precursorMz = 0;  // 0 for a spectrum without a precursor
  double charge = 0;       // no reader fills it; printed in `description`
  SpectrumRepresentation representation = SpectrumRepresentation::Unknown;
  std::vector<StoredPeak> peaks;  // 16 bytes a peak, in the file's order
};

// Polarity as a filter line states it: '+' or '-' for a word "+" or "-"
// ("FTMS + p ESI Full ms", "- c ESI Q1MS"), '?' when it has none.
char filterLinePolarity(const std::string& filterLine);
// Polarity of a spectrum: `fromFilterLine` when that is '+' or '-', else as
// the file's polarity field states it ("+", "-", "positive", "negative": mzML's
// MS:1000130/MS:1000129, mzXML's attribute); '?' when neither says.
char spectrumPolarity(const scan& spectrum, char fromFilterLine);
char spectrumPolarity(const scan& spectrum);

// Run metadata; only the mzData reader writes it and nothing reads it.
class Header {
 public:
  virtual ~Header();
  std::string fileName;
  std::string fileType;
  std::string instrument;
  std::string ionisation;
  std::string analyzer;
  std::string detector;
  std::int64_t spectrumCount = 0;
  std::int64_t firstSpectrum = 0;
  std::int64_t lastSpectrum = 0;
};

#endif
