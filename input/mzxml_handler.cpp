// The mzXML reader: scan attributes, nested MS1/MS2 scans, peak arrays.
#include "input/mzxml_handler.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/array_limits.h"
#include "input/xml_values.h"
#include "util/console.h"

namespace {

// Reads a non-negative decimal number ("12", "12.5", ".5", "12.") followed by
// `designator`; on success advances `cursor` past both.
bool readComponent(const char*& cursor, char designator, double& value) {
  const char* end = cursor;
  bool digits = false;
  while (std::isdigit(static_cast<unsigned char>(*end))) {
    ++end;
    digits = true;
  }
  if (*end == '.') {
    ++end;
    while (std::isdigit(static_cast<unsigned char>(*end))) {
      ++end;
      digits = true;
    }
  }
  if (!digits || *end != designator) return false;
  value = readDecimal(cursor, end);
  cursor = end + 1;
  return true;
}

// An xs:duration of the form P[nD][T[nH][nM][nS]] with at least one component.
bool readDuration(const char* text, double& seconds) {
  const char* cursor = text;
  if (*cursor++ != 'P') return false;
  double days = 0, hours = 0, minutes = 0, secs = 0;
  bool any = readComponent(cursor, 'D', days);
  if (*cursor == 'T') {
    ++cursor;
    bool anyTime = readComponent(cursor, 'H', hours);
    anyTime = readComponent(cursor, 'M', minutes) || anyTime;
    anyTime = readComponent(cursor, 'S', secs) || anyTime;
    if (!anyTime) return false;
    any = true;
  }
  if (!any || *cursor != '\0') return false;
  seconds = days * 86400 + hours * 3600 + minutes * 60 + secs;
  return true;
}

// The attributes of a `scan` element that the reader uses, found in one pass
// over the list (a well-formed element never repeats an attribute, so the one
// match is the first). Absent ones read "".
struct ScanAttributes {
  const char* msLevel = "";
  const char* num = "";
  const char* peaksCount = "";
  const char* scanType = "";
  const char* retentionTime = "";
  const char* polarity = "";
  const char* lowMz = "";
  const char* highMz = "";
  const char* basePeakIntensity = "";
  const char* totIonCurrent = "";
  const char* filterLine = "";
  const char* centroided = "";

  explicit ScanAttributes(const char** attributes) {
    for (const char** a = attributes; a != nullptr && *a != nullptr; a += 2) {
      const char* name = a[0];
      const char* value = a[1];
      switch (name[0]) {
        case 'm':
          take(name, "msLevel", value, msLevel);
          break;
        case 'n':
          take(name, "num", value, num);
          break;
        case 'p':
          if (!take(name, "peaksCount", value, peaksCount)) take(name, "polarity", value, polarity);
          break;
        case 's':
          take(name, "scanType", value, scanType);
          break;
        case 'r':
          take(name, "retentionTime", value, retentionTime);
          break;
        case 'l':
          take(name, "lowMz", value, lowMz);
          break;
        case 'h':
          take(name, "highMz", value, highMz);
          break;
        case 'b':
          take(name, "basePeakIntensity", value, basePeakIntensity);
          break;
        case 'c':
          take(name, "centroided", value, centroided);
          break;
        case 't':
          take(name, "totIonCurrent", value, totIonCurrent);
          break;
        case 'f':
          take(name, "filterLine", value, filterLine);
          break;
        default:
          break;
      }
    }
  }

 private:
  static bool take(const char* name, const char* wanted, const char* value, const char*& field) {
    if (!isName(name, wanted)) return false;
    field = value;
    return true;
  }
};

// A `centroided` attribute's value: "1" or "true" centroid, "0" or "false"
// profile; anything else (or none) unknown.
SpectrumRepresentation representationOf(const char* centroided) {
  if (isName(centroided, "1") || isName(centroided, "true")) return SpectrumRepresentation::Centroid;
  if (isName(centroided, "0") || isName(centroided, "false")) return SpectrumRepresentation::Profile;
  return SpectrumRepresentation::Unknown;
}

}  // namespace

double parseRetentionTime(const char* text) {
  double seconds = 0;
  if (readDuration(text, seconds)) return seconds;
  // Any other text: drop the last character and read from the third on.
  const std::size_t length = std::strlen(text);
  if (length < 3) return 0;
  return readDecimal(text + 2, text + length - 1);
}

SAXMzxmlHandler::SAXMzxmlHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : SAXSpectraHandler(spectraOut, headerOut) {
  littleEndian = false;  // mzXML peak arrays are in network order
  decodeBesideParser = true;
  bulkTextElement = "peaks";
  quickMarkup = true;
  id = 0;
  precursorCharge = 0;
  precursorMz = 0;
}

SAXMzxmlHandler::~SAXMzxmlHandler() = default;

void SAXMzxmlHandler::startElement(const char* name, const char** attributes) {
  // The elements of every spectrum first.
  if (isName(name, "scan")) {
    startScan(attributes);
  } else if (isName(name, "peaks")) {
    inPeaks = true;
    lowPrecision = std::strcmp(getAttrValue("precision", attributes), "64") != 0;
    zlibCompressed = std::strcmp(getAttrValue("compressionType", attributes), "zlib") == 0;
    // No more text than the declared peaks can use (none without a count: such an array is not decoded).
    const std::size_t values =
        peaksCount > 0 ? 2 * arrayValueBound(static_cast<std::size_t>(peaksCount)) : std::size_t{0};
    limitText(base64CharBound(values == 0 ? 0 : encodedByteBound(values, lowPrecision ? 4 : 8)));
  } else if (isName(name, "precursorMz")) {
    inPrecursorMz = true;
    precursorCharge = readInt(getAttrValue("precursorCharge", attributes));
  } else if (isName(name, "dataProcessing")) {
    // The run's word, for the scans that say nothing themselves.
    const SpectrumRepresentation stated = representationOf(getAttrValue("centroided", attributes));
    if (stated != SpectrumRepresentation::Unknown) runRepresentation_ = stated;
  }
}

void SAXMzxmlHandler::startScan(const char** attributes) {
  const ScanAttributes found(attributes);
  const std::int32_t level = readInt(found.msLevel);
  const bool ms2 = level == 2;
  if (!ms2 && level != 1 && level != 0 && level != -1) {
    // Other MS levels are never appended.
    peaksCount = 0;
    precursorCharge = 0;
    precursorMz = 0;
    return;
  }

  if (ms2) {
    // The MS1 parent is complete once its first MS2 child starts; a Zoom
    // parent stays pending and is dropped when it closes.
    if (ms1Pending && scanType.find("Zoom") == std::string::npos) {
      pushSpectrum();
      ms1Pending = false;
    }
    ms2Pending = true;
    msLevel = 2;
  } else {
    ms1Pending = true;
    msLevel = 1;
  }
  peaksCount = 0;
  precursorCharge = 0;
  precursorMz = 0;

  ++scanElements_;
  if (!readInt32(found.num, num)) {
    // Too large for a scan number: numbered by its position instead, and named.
    num = static_cast<std::int32_t>(std::min<std::int64_t>(scanElements_, INT32_MAX));
    defer([this, text = std::string(found.num), number = num]() {
      console::err("torva: " + inputFile + ": scan number " + text +
                   " does not fit in 32 bits; it is numbered " + std::to_string(number) +
                   " by its position\n");
    });
  }
  id = usedIds.claim(num);

  peaksCount = readInt(found.peaksCount);
  if (!ms2) scanType = found.scanType;
  rt = parseRetentionTime(found.retentionTime);
  polarity = found.polarity;
  lowMz = readDouble(found.lowMz);
  highMz = readDouble(found.highMz);
  basePeakIntensity = readDouble(found.basePeakIntensity);
  totIonCurrent = readDouble(found.totIonCurrent);
  filterLine = found.filterLine;
  representation = representationOf(found.centroided);
  if (representation == SpectrumRepresentation::Unknown) representation = runRepresentation_;
}

void SAXMzxmlHandler::endElement(const char* name) {
  const bool peaksEnd = isName(name, "peaks");
  if (peaksEnd || isName(name, "precursorMz")) {
    if (inPeaks && (msLevel == 1 || msLevel == 2)) {
      pushPeaks(true, true);
    } else if (inPrecursorMz) {
      precursorMz = readDouble(text.c_str());
    }
    text.clear();
    if (peaksEnd) {
      inPeaks = false;
    } else {
      inPrecursorMz = false;
    }
  } else if (isName(name, "scan")) {
    if (ms1Pending && scanType.find("Zoom") != std::string::npos) {
      ms1Pending = false;
    } else if (ms2Pending) {
      pushSpectrum();
      ms2Pending = false;
    } else if (ms1Pending) {
      pushSpectrum();
      ms1Pending = false;
    }
  }
}

void SAXMzxmlHandler::characters(const char* chars, int len) {
  if (inPeaks && (msLevel == 1 || msLevel == 2)) {
    appendText(chars, len);
  } else if (inPrecursorMz) {
    text.append(chars, static_cast<std::size_t>(len));
  }
}
