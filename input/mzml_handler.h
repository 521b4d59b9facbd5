#ifndef TORVA_INPUT_MZML_HANDLER_H
#define TORVA_INPUT_MZML_HANDLER_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "input/id_claims.h"
#include "input/mzml_arrays.h"
#include "input/spectra_handler.h"
#include "records/srm_chromatogram.h"

// Reads an mzML document (plain or indexed; the index is never used): one
// `scan` per spectrum of MS level 1 or 2, in document order, and every
// selected-reaction-monitoring chromatogram. Parameters are matched by their
// accession, never by their name, directly or through a referenceable group.
class SAXMzmlHandler : public SAXSpectraHandler {
 public:
  SAXMzmlHandler(std::vector<scan>& spectra, Header& header, std::vector<SrmChromatogram>& chromatograms);

  void startElement(const char* name, const char** attributes) override;
  void endElement(const char* name) override;
  void characters(const char* text, int len) override;

  IdClaims usedIds;
  // Spectra that were no mass spectra (UV, PDA) or of another MS level.
  std::int64_t skippedSpectra = 0;

 private:
  struct Param {
    std::string accession;
    std::string value;
    std::string unitAccession;
  };
  enum class Place { Spectrum, ScanWindow, Precursor, SelectedIon, Activation, Product, Array, Chromatogram };
  enum class ArrayKind { Other, Mz, Intensity, Time };

  void startSpectrum(const char** attributes);
  void endSpectrum();
  void endChromatogram();
  void endArray();
  // What decoding one array needs, copied when the array ends.
  struct ArrayJob {
    std::string text;
    BinaryArrayFormat format;
    std::size_t length = 0;
    ArrayKind kind = ArrayKind::Other;
    double secondsPerTimeUnit = 1.0;
    bool inSpectrum = false;
    bool textCut = false;
    std::string nativeId;
  };
  // Job side: decodes into the m/z, intensity or time values.
  void decodeArray(const ArrayJob& job);
  // One parameter, applied where the reader stands.
  void applyParam(const char* accession, const char* value, const char* unitAccession);
  Place place() const;
  // Seconds per unit of a time value's unit accession; an unknown unit is
  // named on standard error (once per file) and read as seconds.
  double timeUnit(const char* unitAccession);

  std::vector<SrmChromatogram>& chromatograms_;
  std::map<std::string, std::vector<Param>> groups_;  // referenceable parameter groups by id
  std::vector<Param>* groupBeingRead_ = nullptr;

  bool inSpectrum_ = false;
  bool inChromatogram_ = false;
  int precursorDepth_ = 0;  // inside <precursor>
  bool inIsolationWindow_ = false;
  bool inSelectedIon_ = false;
  bool inActivation_ = false;
  bool inProduct_ = false;
  bool inScanWindow_ = false;
  bool inArray_ = false;
  bool inBinary_ = false;

  // The spectrum or chromatogram being read.
  std::string nativeId_;
  std::int64_t spectrumElements_ = 0;
  bool levelGiven_ = false;
  bool typedMs1_ = false;
  bool zoom_ = false;
  bool srmChromatogram_ = false;
  bool selectedIonSeen_ = false;
  bool isolationTargetSeen_ = false;
  double isolationTarget_ = 0;
  bool observedLowSeen_ = false;
  bool observedHighSeen_ = false;
  bool windowSeen_ = false;
  double windowLow_ = 0;
  double windowHigh_ = 0;
  double productTarget_ = 0;
  double productLowOffset_ = 0;
  double productHighOffset_ = 0;
  std::size_t declaredLength_ = 0;

  // The binary data array being read.
  BinaryArrayFormat format_;
  ArrayKind arrayKind_ = ArrayKind::Other;
  double secondsPerTimeUnit_ = 1.0;
  std::set<std::string> unknownUnits_;  // time units named on standard error
  std::size_t arrayLength_ = 0;
  bool mzSeen_ = false;
  bool intensitySeen_ = false;
  int arraysBounded_ = 0;  // arrays of the spectrum that went into expectedPeaks
  // Job side.
  std::vector<double> decoded_;
  std::vector<double> times_;
};

#endif
