#ifndef TORVA_INPUT_SPECTRA_HANDLER_H
#define TORVA_INPUT_SPECTRA_HANDLER_H

#include <cstdint>
#include <string>
#include <vector>

#include "input/sax_handler.h"
#include "records/records.h"

// What the mzXML and mzData readers share: the values of the spectrum being
// read, the decoding of base64 peak arrays, and the assembly of `scan` records.
class SAXSpectraHandler : public SAXHandler {
 public:
  SAXSpectraHandler(std::vector<scan>& spectra, Header& header);

  void pushPeaks(bool wantMz, bool wantIntensity);
  void decode32(bool wantMz, bool wantIntensity);
  void decode64(bool wantMz, bool wantIntensity);
  void pushSpectrum();
  void setDescription();
  void writeHeader();
  static std::uint32_t dtohl(std::uint32_t value, bool hostOrder);
  static std::uint64_t dtohl(std::uint64_t value, bool hostOrder);

  std::int64_t spectrumCount = 0;
  std::string text;  // collected character data
  bool littleEndian = true;
  bool lowPrecision = true;
  bool zlibCompressed = false;  // the current peak array is zlib-deflated
  std::int32_t num = 0;
  std::int32_t peaksCount = 0;
  std::int32_t precursorCharge = 0;
  double precursorMz = 0;
  std::string polarity;
  double rt = 0;
  std::int64_t msLevel = 0;
  double lowMz = 0;
  double highMz = 0;
  std::string scanType;
  double collisionEnergy = 0;
  double basePeakIntensity = 0;
  double totIonCurrent = 0;
  std::string filterLine;
  std::vector<float> mzValues;
  std::vector<float> intensityValues;
  std::vector<scan>& spectra;
  Header& header;
  std::int64_t id = 1;
  scan current;
  std::int64_t pushCount = 0;
};

#endif
