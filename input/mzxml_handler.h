#ifndef TORVA_INPUT_MZXML_HANDLER_H
#define TORVA_INPUT_MZXML_HANDLER_H

#include <cstdint>
#include <map>
#include <set>
#include <vector>

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

  std::set<std::uint64_t> usedIds;
  bool ms1Pending = false;
  bool ms2Pending = false;
  bool inPrecursorMz = false;
  bool inPeaks = false;

 private:
  // The start of a `scan` element: chooses the MS1 or MS2 branch by msLevel.
  void startScan(const char** attributes);
  // The smallest id not yet used that is at least `wanted`; marks it used.
  std::int64_t claimId(std::int64_t wanted);

  // The used ids as maximal runs first -> last, so that claiming an id stays
  // fast even when thousands of scans share one number.
  std::map<std::int64_t, std::int64_t> usedRuns;
};

// Seconds of an xs:duration retention time ("PT1234.5S", "PT20M30S", "P1DT2H").
double parseRetentionTime(const char* text);

#endif
