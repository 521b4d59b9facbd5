#ifndef TORVA_INPUT_MZXML_HANDLER_H
#define TORVA_INPUT_MZXML_HANDLER_H

#include <cstdint>
#include <vector>

#include "input/id_claims.h"
#include "input/spectra_handler.h"

// Reads an mzXML document: one `scan` per MS1 or MS2 spectrum, nested or flat,
// in document order; Zoom MS1 scans and other MS levels are not appended.
class SAXMzxmlHandler : public SAXSpectraHandler {
 public:
  SAXMzxmlHandler(std::vector<scan>& spectra, Header& header);
  ~SAXMzxmlHandler() override;

  void startElement(const char* name, const char** attributes) override;
  void endElement(const char* name) override;
  void characters(const char* text, int len) override;

  IdClaims usedIds;
  bool ms1Pending = false;
  bool ms2Pending = false;
  bool inPrecursorMz = false;
  bool inPeaks = false;

 private:
  std::int64_t scanElements_ = 0;  // scan elements of MS levels 1 and 2 so far
  // What the run's dataProcessing element says of all its scans (`centroided`).
  SpectrumRepresentation runRepresentation_ = SpectrumRepresentation::Unknown;
  // The start of a `scan` element: chooses the MS1 or MS2 branch by msLevel.
  void startScan(const char** attributes);
};

// Seconds of an xs:duration retention time ("PT1234.5S", "PT20M30S", "P1DT2H").
double parseRetentionTime(const char* text);

#endif
