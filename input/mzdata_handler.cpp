// The mzData reader: spectrum attributes from elements and cvParams, separate
// m/z and intensity arrays, and the run metadata.
#include "input/mzdata_handler.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "input/array_limits.h"
#include "input/xml_values.h"

SAXMzdataHandler::SAXMzdataHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : SAXSpectraHandler(spectraOut, headerOut) {
  countName = "length";
  id = 0;
  precursorCharge = 0;
}

SAXMzdataHandler::~SAXMzdataHandler() = default;

void SAXMzdataHandler::startElement(const char* name, const char** attributes) {
  if (isName(name, "fileType")) {
    inFileType = true;
  } else if (isName(name, "instrumentName")) {
    inInstrumentName = true;
  } else if (isName(name, "nameOfFile")) {
    inNameOfFile = true;
  } else if (isName(name, "spectrumList")) {
    inSpectrumList = true;
    spectrumCount = readInt(getAttrValue("count", attributes));
  } else if (isName(name, "spectrum")) {
    id = id + 1;
    num = readInt(getAttrValue("id", attributes));
    representation = SpectrumRepresentation::Unknown;
  } else if (isName(name, "acqSpecification")) {
    // "discrete": centroids; "continuous": profile points.
    const char* type = getAttrValue("spectrumType", attributes);
    if (isName(type, "discrete")) representation = SpectrumRepresentation::Centroid;
    if (isName(type, "continuous")) representation = SpectrumRepresentation::Profile;
  } else if (isName(name, "spectrumInstrument") || isName(name, "acqInstrument")) {
    msLevel = readInt(getAttrValue("msLevel", attributes));
    peaksCount = 0;
    precursorCharge = 0;
    precursorMz = 0;
    lowMz = readDouble(getAttrValue("mzRangeStart", attributes));
    highMz = readDouble(getAttrValue("mzRangeStop", attributes));
  } else if (isName(name, "cvParam")) {
    readCvParam(getAttrValue("name", attributes), getAttrValue("value", attributes));
  } else if (isName(name, "mzArrayBinary")) {
    inMzArray = true;
    startPeakListBinary(attributes);
  } else if (isName(name, "intenArrayBinary")) {
    inIntenArray = true;
    startPeakListBinary(attributes);
  } else if (isName(name, "data")) {
    inData = true;
    peaksCount = readInt(getAttrValue("length", attributes));
    startPeakListBinary(attributes);
    // No more text than the declared values (or kMaxArrayValues without a length) can take.
    const std::size_t values = arrayValueBound(peaksCount > 0 ? static_cast<std::size_t>(peaksCount) : 0);
    limitText(base64CharBound(encodedByteBound(values, lowPrecision ? 4 : 8)));
  }
}

void SAXMzdataHandler::readCvParam(const char* name, const char* value) {
  if (isName(name, "IonizationType")) {
    metadata_.ionisation = value;
  } else if (isName(name, "AnalyzerType")) {
    metadata_.analyzer = value;
  } else if (isName(name, "DetectorType")) {
    metadata_.detector = value;
  } else if (isName(name, "polarity")) {
    if (isName(value, "+")) {
      precursorCharge = 0;
    } else {
      precursorCharge = readInt(value);
      if (precursorCharge == 0) precursorCharge = 2;
    }
  } else if (isName(name, "mz") || isName(name, "MassToChargeRatio")) {
    precursorMz = readDouble(value);
  } else if (isName(name, "ChargeState")) {
    precursorCharge = readInt(value);
  } else if (isName(name, "Polarity")) {
    polarity = value;
  } else if (isName(name, "TimeInMinutes") || isName(name, "time.min")) {
    // The file states minutes; every held retention time is in seconds.
    rt = readDouble(value) * 60.0;
  } else if (isName(name, "ScanMode")) {
    scanType = value;
  } else if (isName(name, "CollisionEnergy")) {
    collisionEnergy = readDouble(value);
  }
}

void SAXMzdataHandler::startPeakListBinary(const char** attributes) {
  const char* endian = getAttrValue("endian", attributes);
  if (*endian != '\0') littleEndian = !isName(endian, "big");
  const char* precision = getAttrValue("precision", attributes);
  if (*precision != '\0') lowPrecision = !isName(precision, "64");
}

void SAXMzdataHandler::processData() {
  if (inData && (inMzArray || inIntenArray)) {
    if (textCut && peaksCount <= 0) {
      // An array without a length is not decoded; its text was still cut.
      defer([this, scanNumber = num]() {
        noteCut(scanNumber, "its peak array without a length holds more text than the " +
                                std::to_string(kMaxArrayValues) +
                                " values read per spectrum use; the rest was not read");
      });
    }
    pushPeaks(inMzArray, inIntenArray);
  }
  text.clear();
  textCut = false;
}

void SAXMzdataHandler::writeHeader() {
  header.fileName = metadata_.fileName;
  header.fileType = metadata_.fileType;
  header.instrument = metadata_.instrument;
  header.ionisation = metadata_.ionisation;
  header.analyzer = metadata_.analyzer;
  header.detector = metadata_.detector;
  header.spectrumCount = spectrumCount;
  header.firstSpectrum = 1;
  header.lastSpectrum = spectrumCount;
}

void SAXMzdataHandler::endElement(const char* name) {
  if (isName(name, "spectrumList")) {
    if (inSpectrumList) {
      writeHeader();
      inSpectrumList = false;
    }
  } else if (isName(name, "nameOfFile")) {
    inNameOfFile = false;
  } else if (isName(name, "fileType")) {
    inFileType = false;
  } else if (isName(name, "instrumentName")) {
    inInstrumentName = false;
  } else if (isName(name, "mzArrayBinary")) {
    inMzArray = false;
  } else if (isName(name, "intenArrayBinary")) {
    inIntenArray = false;
  } else if (isName(name, "data")) {
    processData();
    inData = false;
  } else if (isName(name, "spectrum")) {
    pushSpectrum();
  }
}

void SAXMzdataHandler::characters(const char* chars, int len) {
  const std::size_t count = static_cast<std::size_t>(len);
  if (inFileType) {
    metadata_.fileType.append(chars, count);
  } else if (inNameOfFile) {
    metadata_.fileName.append(chars, count);
  } else if (inInstrumentName) {
    metadata_.instrument.append(chars, count);
  } else if (inData && (inMzArray || inIntenArray)) {
    appendText(chars, len);
  }
}
