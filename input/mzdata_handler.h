#ifndef TORVA_INPUT_MZDATA_HANDLER_H
#define TORVA_INPUT_MZDATA_HANDLER_H

#include <vector>

#include "input/spectra_handler.h"

// Reads an mzData document: one `scan` per `spectrum` element, of any MS level,
// with the run metadata written into the `Header` when the spectrum list ends.
class SAXMzdataHandler : public SAXSpectraHandler {
 public:
  SAXMzdataHandler(std::vector<scan>& spectra, Header& header);
  ~SAXMzdataHandler() override;

  void startElement(const char* name, const char** attributes) override;
  void endElement(const char* name) override;
  void characters(const char* text, int len) override;

  void startPeakListBinary(const char** attributes);
  void processData();

  bool inSpectrumList = false;
  bool inNameOfFile = false;
  bool inFileType = false;
  bool inInstrumentName = false;
  bool inMzArray = false;
  bool inIntenArray = false;
  bool inData = false;

 private:
  // Applies one controlled-vocabulary parameter by its name.
  void readCvParam(const char* name, const char* value);
  // The run metadata read so far into `header`, with the spectrum count.
  void writeHeader();
  // The run metadata as read; `header` gets it only when the spectrum list ends.
  Header metadata_;
};

#endif
