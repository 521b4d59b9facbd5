// The mzML reader: spectra of MS levels 1 and 2, and SRM chromatograms.
#include "input/mzml_handler.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/array_limits.h"
#include "input/xml_values.h"
#include "util/console.h"

namespace {

// N of a "scan=N" term of a native id ("controllerType=0 controllerNumber=1
// scan=42", "function=2 process=0 scan=17"); false when there is none.
// `fits` is false when N is too large for a scan number (32 bits).
bool scanNumberOf(const char* nativeId, std::int32_t& number, bool& fits) {
  for (const char* cursor = std::strstr(nativeId, "scan="); cursor != nullptr;
       cursor = std::strstr(cursor + 1, "scan=")) {
    if (cursor != nativeId && cursor[-1] != ' ') continue;
    const char* digits = cursor + 5;
    if (*digits < '0' || *digits > '9') continue;
    fits = readInt32(digits, number);
    return true;
  }
  return false;
}

// Seconds in one unit of time, by its accession (the unit ontology's, or the
// older PSI-MS terms of early files); 0 for an accession that is no time unit
// known here. No unit at all reads as seconds.
double secondsPerUnit(const char* unitAccession) {
  struct Unit {
    const char* accession;
    double seconds;
  };
  static const Unit kUnits[] = {{"", 1.0},
                                {"UO:0000010", 1.0},
                                {"UO:0000031", 60.0},
                                {"UO:0000032", 3600.0},
                                {"UO:0000028", 0.001},
                                {"MS:1000038", 60.0},
                                {"MS:1000039", 1.0}};
  for (const Unit& unit : kUnits) {
    if (isName(unitAccession, unit.accession)) return unit.seconds;
  }
  return 0;
}

}  // namespace

SAXMzmlHandler::SAXMzmlHandler(std::vector<scan>& spectraOut, Header& headerOut,
                               std::vector<SrmChromatogram>& chromatograms)
    : SAXSpectraHandler(spectraOut, headerOut), chromatograms_(chromatograms) {
  id = 0;
  decodeBesideParser = true;
  bulkTextElement = "binary";
  quickMarkup = true;
}

double SAXMzmlHandler::timeUnit(const char* unitAccession) {
  const double seconds = secondsPerUnit(unitAccession);
  if (seconds > 0) return seconds;
  // Named once per file and unit; the times are then read as seconds.
  if (unknownUnits_.insert(unitAccession).second) {
    defer([this, unit = std::string(unitAccession)]() {
      console::err("torva: " + inputFile + ": unknown time unit '" + unit +
                   "'; its times are read as seconds\n");
    });
  }
  return 1.0;
}

SAXMzmlHandler::Place SAXMzmlHandler::place() const {
  if (inArray_) return Place::Array;
  if (inProduct_) return Place::Product;
  if (precursorDepth_ > 0) {
    if (inSelectedIon_) return Place::SelectedIon;
    if (inActivation_) return Place::Activation;
    return Place::Precursor;
  }
  if (inScanWindow_) return Place::ScanWindow;
  return inChromatogram_ ? Place::Chromatogram : Place::Spectrum;
}

void SAXMzmlHandler::startElement(const char* name, const char** attributes) {
  if (isName(name, "cvParam")) {
    // The three attributes read, in one pass (an element never repeats one).
    const char* accession = "";
    const char* value = "";
    const char* unit = "";
    for (const char** a = attributes; a != nullptr && *a != nullptr; a += 2) {
      if (a[0][0] == 'a' && isName(a[0], "accession")) {
        accession = a[1];
      } else if (a[0][0] == 'v' && isName(a[0], "value")) {
        value = a[1];
      } else if (a[0][0] == 'u' && isName(a[0], "unitAccession")) {
        unit = a[1];
      }
    }
    if (groupBeingRead_ != nullptr) {
      groupBeingRead_->push_back({accession, value, unit});
    } else {
      applyParam(accession, value, unit);
    }
  } else if (isName(name, "referenceableParamGroupRef")) {
    const auto group = groups_.find(getAttrValue("ref", attributes));
    if (group == groups_.end()) return;
    for (const Param& param : group->second) {
      applyParam(param.accession.c_str(), param.value.c_str(), param.unitAccession.c_str());
    }
  } else if (isName(name, "binary")) {
    inBinary_ = inArray_;
    text.clear();
    // No more text than the declared values (or kMaxArrayValues) can take in this encoding.
    const bool numpressed = format_.numpress != BinaryArrayFormat::Numpress::None;
    const std::size_t width =
        numpressed ? kNumpressBytesPerValue : static_cast<std::size_t>(format_.valueBits / 8);
    limitText(base64CharBound(encodedByteBound(arrayValueBound(arrayLength_), width)));
  } else if (isName(name, "binaryDataArray")) {
    inArray_ = true;
    format_ = BinaryArrayFormat();
    arrayKind_ = ArrayKind::Other;
    secondsPerTimeUnit_ = 1.0;
    const char* length = getAttrValue("arrayLength", attributes);
    arrayLength_ = *length != '\0'
                       ? static_cast<std::size_t>(std::max<long>(0, std::strtol(length, nullptr, 10)))
                       : declaredLength_;
    text.clear();
  } else if (isName(name, "spectrum")) {
    startSpectrum(attributes);
  } else if (isName(name, "chromatogram")) {
    inChromatogram_ = true;
    nativeId_ = getAttrValue("id", attributes);
    declaredLength_ = static_cast<std::size_t>(
        std::max<long>(0, std::strtol(getAttrValue("defaultArrayLength", attributes), nullptr, 10)));
    srmChromatogram_ = false;
    isolationTargetSeen_ = false;
    isolationTarget_ = 0;
    collisionEnergy = 0;
    productTarget_ = productLowOffset_ = productHighOffset_ = 0;
    polarity.clear();
    defer([this]() {
      times_.clear();
      jobSide.intensityValues.clear();
    });
    intensitySeen_ = false;
    mzSeen_ = false;
  } else if (isName(name, "precursor")) {
    ++precursorDepth_;
  } else if (isName(name, "selectedIon")) {
    inSelectedIon_ = true;
  } else if (isName(name, "isolationWindow")) {
    inIsolationWindow_ = true;
  } else if (isName(name, "activation")) {
    inActivation_ = true;
  } else if (isName(name, "product")) {
    inProduct_ = true;
  } else if (isName(name, "scanWindow")) {
    inScanWindow_ = true;
  } else if (isName(name, "referenceableParamGroup")) {
    groupBeingRead_ = &groups_[getAttrValue("id", attributes)];
  }
}

void SAXMzmlHandler::endElement(const char* name) {
  // Most elements that end are parameters, which need nothing at their end.
  if (isName(name, "cvParam") || isName(name, "userParam")) return;
  if (isName(name, "binary")) {
    inBinary_ = false;
  } else if (isName(name, "binaryDataArray")) {
    if (inArray_) endArray();
    inArray_ = false;
    inBinary_ = false;
    text.clear();
  } else if (isName(name, "spectrum")) {
    if (inSpectrum_) endSpectrum();
    inSpectrum_ = false;
  } else if (isName(name, "chromatogram")) {
    if (inChromatogram_) endChromatogram();
    inChromatogram_ = false;
  } else if (isName(name, "precursor")) {
    if (precursorDepth_ > 0) --precursorDepth_;
  } else if (isName(name, "selectedIon")) {
    inSelectedIon_ = false;
  } else if (isName(name, "isolationWindow")) {
    inIsolationWindow_ = false;
  } else if (isName(name, "activation")) {
    inActivation_ = false;
  } else if (isName(name, "product")) {
    inProduct_ = false;
  } else if (isName(name, "scanWindow")) {
    if (inScanWindow_ && (windowLow_ != 0 || windowHigh_ != 0)) windowSeen_ = true;
    inScanWindow_ = false;
  } else if (isName(name, "referenceableParamGroup")) {
    groupBeingRead_ = nullptr;
  }
}

void SAXMzmlHandler::characters(const char* chars, int len) {
  if (inBinary_) appendText(chars, len);
}

void SAXMzmlHandler::startSpectrum(const char** attributes) {
  inSpectrum_ = true;
  ++spectrumElements_;
  nativeId_ = getAttrValue("id", attributes);
  std::int32_t number = 0;
  bool fits = true;
  if (!scanNumberOf(nativeId_.c_str(), number, fits) || !fits) {
    const char* index = getAttrValue("index", attributes);
    std::int32_t position = 0;
    number = *index != '\0' && readInt32(index, position) && position < INT32_MAX
                 ? position + 1
                 : static_cast<std::int32_t>(std::min<std::int64_t>(spectrumElements_, INT32_MAX));
    if (!fits) {
      defer([this, id = nativeId_, number]() {
        console::err("torva: " + inputFile + ": spectrum '" + id +
                     "': its scan number does not fit in 32 bits; it is numbered " + std::to_string(number) +
                     " by its position\n");
      });
    }
  }
  num = number;
  declaredLength_ = static_cast<std::size_t>(
      std::max<long>(0, std::strtol(getAttrValue("defaultArrayLength", attributes), nullptr, 10)));

  msLevel = 0;
  levelGiven_ = typedMs1_ = zoom_ = false;
  rt = 0;
  filterLine.clear();
  polarity.clear();
  scanType.clear();
  representation = SpectrumRepresentation::Unknown;
  precursorMz = 0;
  collisionEnergy = 0;
  selectedIonSeen_ = isolationTargetSeen_ = false;
  isolationTarget_ = 0;
  totIonCurrent = basePeakIntensity = 0;
  lowMz = highMz = 0;
  observedLowSeen_ = observedHighSeen_ = windowSeen_ = false;
  windowLow_ = windowHigh_ = 0;
  defer([this]() {
    jobSide.mzValues.clear();
    jobSide.intensityValues.clear();
  });
  mzSeen_ = intensitySeen_ = false;
  expectedPeaks = 0;
  arraysBounded_ = 0;
}

void SAXMzmlHandler::applyParam(const char* accession, const char* value, const char* unitAccession) {
  if (!inSpectrum_ && !inChromatogram_) return;
  // Every accession read is a PSI-MS term: compared by number, once parsed.
  const long term = msTerm(accession);
  switch (place()) {
    case Place::Array:
      if (format_.apply(term)) return;
      if (term == 1000514) {
        arrayKind_ = ArrayKind::Mz;
      } else if (term == 1000515) {
        arrayKind_ = ArrayKind::Intensity;
      } else if (term == 1000595) {
        arrayKind_ = ArrayKind::Time;
        secondsPerTimeUnit_ = timeUnit(unitAccession);
      }
      return;
    case Place::Product:
      if (term == 1000827) productTarget_ = readDouble(value);
      if (term == 1000828) productLowOffset_ = readDouble(value);
      if (term == 1000829) productHighOffset_ = readDouble(value);
      return;
    case Place::Precursor:
      if (term == 1000827 && !isolationTargetSeen_) {
        isolationTarget_ = readDouble(value);
        isolationTargetSeen_ = true;
      }
      return;
    case Place::SelectedIon:
      if (term == 1000744 && !selectedIonSeen_) {
        precursorMz = readDouble(value);
        selectedIonSeen_ = true;
      }
      return;
    case Place::Activation:
      if (term == 1000045 && inChromatogram_) collisionEnergy = readDouble(value);
      return;
    case Place::ScanWindow:
      if (windowSeen_) return;  // the first window gives the range
      if (term == 1000501) windowLow_ = readDouble(value);
      if (term == 1000500) windowHigh_ = readDouble(value);
      return;
    case Place::Spectrum:
    case Place::Chromatogram:
      break;
  }

  switch (term) {
    case 1000511:
      msLevel = readInt(value);
      levelGiven_ = true;
      break;
    case 1000579:
      typedMs1_ = true;
      break;
    case 1000130:
      polarity = "+";
      break;
    case 1000129:
      polarity = "-";
      break;
    case 1000016:
      rt = readDouble(value) * timeUnit(unitAccession);
      break;
    case 1000512:
      filterLine = value;
      break;
    case 1000127:
      if (inSpectrum_) representation = SpectrumRepresentation::Centroid;
      break;
    case 1000128:
      if (inSpectrum_) representation = SpectrumRepresentation::Profile;
      break;
    case 1000285:
      totIonCurrent = readDouble(value);
      break;
    case 1000505:
      basePeakIntensity = readDouble(value);
      break;
    case 1000528:
      lowMz = readDouble(value);
      observedLowSeen_ = true;
      break;
    case 1000527:
      highMz = readDouble(value);
      observedHighSeen_ = true;
      break;
    case 1000497:
      zoom_ = true;
      break;
    case 1001473:
      srmChromatogram_ = inChromatogram_;
      break;
    default:
      break;
  }
}

void SAXMzmlHandler::endArray() {
  // Only the arrays that become peaks or SRM points are decoded.
  bool wanted = false;
  if (inSpectrum_) {
    const bool massSpectrum = levelGiven_ ? (msLevel == 1 || msLevel == 2) : typedMs1_;
    wanted = massSpectrum && ((arrayKind_ == ArrayKind::Mz && !mzSeen_) ||
                              (arrayKind_ == ArrayKind::Intensity && !intensitySeen_));
  } else if (inChromatogram_) {
    wanted = srmChromatogram_ && ((arrayKind_ == ArrayKind::Time && !mzSeen_) ||
                                  (arrayKind_ == ArrayKind::Intensity && !intensitySeen_));
  }
  if (!wanted) return;

  // The first array of each kind is the one read, decoded or not.
  if (arrayKind_ == ArrayKind::Time || arrayKind_ == ArrayKind::Mz) {
    mzSeen_ = true;  // in a chromatogram the time array takes the place of m/z
  } else {
    intensitySeen_ = true;
  }
  ArrayJob job;
  job.text = takeText();
  if (inSpectrum_) {
    // What the spectrum's peaks can number, from the first array on (see presizePeaks).
    const bool plain = !format_.zlib && format_.numpress == BinaryArrayFormat::Numpress::None;
    const std::size_t bound =
        plain
            ? plainArrayBound(arrayLength_, static_cast<std::size_t>(format_.valueBits / 8), job.text.size())
            : 0;
    expectedPeaks = arraysBounded_++ == 0 ? bound : std::min(expectedPeaks, bound);
  }
  job.format = format_;
  job.length = arrayLength_;
  job.kind = arrayKind_;
  job.secondsPerTimeUnit = secondsPerTimeUnit_;
  job.inSpectrum = inSpectrum_;
  job.nativeId = nativeId_;
  job.textCut = textCut;
  const std::size_t bytes = job.text.size();
  defer([this, job = std::move(job)]() { decodeArray(job); }, bytes);
}

void SAXMzmlHandler::decodeArray(const ArrayJob& job) {
  std::string problem;
  ArrayCut cut;
  const std::string where =
      inputFile + ": " + (job.inSpectrum ? "spectrum '" : "chromatogram '") + job.nativeId;
  if (!decodeBinaryArray(job.text, job.format, job.length, decoded_, problem, &cut)) {
    console::err(where + "': an array could not be decoded (" + problem + "); it reads as empty\n");
  }
  if (job.textCut || cut.cut) {
    jobSide.arraysCut = true;
    const std::string kept = std::to_string(decoded_.size());
    if (job.length > 0 && job.length <= kMaxArrayValues) {
      console::err("torva: " + where + "': an array holds more than its " + std::to_string(job.length) +
                   " declared values (arrayLength or defaultArrayLength); " + kept + " are kept\n");
    } else {
      console::err("torva: " + where + "': an array holds more than " + std::to_string(kMaxArrayValues) +
                   " values, the most read per array" +
                   (job.length > 0 ? " (it declares " + std::to_string(job.length) + ")" : std::string()) +
                   "; " + kept + " are kept\n");
    }
  }
  if (job.kind == ArrayKind::Time) {
    times_ = decoded_;
    if (job.secondsPerTimeUnit != 1.0) {
      for (double& t : times_) t *= job.secondsPerTimeUnit;
    }
    return;
  }
  std::vector<float>& target = job.kind == ArrayKind::Mz ? jobSide.mzValues : jobSide.intensityValues;
  target.resize(decoded_.size());
  for (std::size_t i = 0; i < decoded_.size(); ++i) target[i] = static_cast<float>(decoded_[i]);
}

void SAXMzmlHandler::endSpectrum() {
  if (levelGiven_) {
    if (msLevel != 1 && msLevel != 2) {
      ++skippedSpectra;
      return;
    }
  } else if (typedMs1_) {
    msLevel = 1;
  } else {
    ++skippedSpectra;  // no mass spectrum (UV, PDA)
    return;
  }
  if (msLevel == 1 && zoom_) return;

  if (!selectedIonSeen_ && isolationTargetSeen_) precursorMz = isolationTarget_;
  if (!observedLowSeen_) lowMz = windowSeen_ ? windowLow_ : 0;
  if (!observedHighSeen_) highMz = windowSeen_ ? windowHigh_ : 0;

  id = usedIds.claim(num);
  scan record = spectrumRecord();
  if (arraysBounded_ == 2) presizePeaks(record);
  // The peak count is what both decoded arrays hold.
  defer([this, nativeId = nativeId_, record = std::move(record)]() mutable {
    if (jobSide.mzValues.size() != jobSide.intensityValues.size()) {
      console::err(inputFile + ": spectrum '" + nativeId + "' has " +
                   std::to_string(jobSide.mzValues.size()) + " m/z values and " +
                   std::to_string(jobSide.intensityValues.size()) +
                   " intensities; the shorter array is kept\n");
    }
    const std::size_t peaks = std::min(jobSide.mzValues.size(), jobSide.intensityValues.size());
    record.peaksCount = static_cast<std::int32_t>(std::min<std::size_t>(peaks, INT32_MAX));
    appendSpectrum(std::move(record));
  });
}

void SAXMzmlHandler::endChromatogram() {
  if (!srmChromatogram_) return;
  SrmChromatogram chromatogram;
  chromatogram.nativeId = nativeId_;
  chromatogram.precursorMz = isolationTarget_;
  chromatogram.collisionEnergy = collisionEnergy;
  chromatogram.productMz = productTarget_;
  chromatogram.productLow = productTarget_ - productLowOffset_;
  chromatogram.productHigh = productTarget_ + productHighOffset_;
  chromatogram.polarity = polarity;
  defer([this, chromatogram = std::move(chromatogram)]() mutable {
    if (times_.size() != jobSide.intensityValues.size()) {
      console::err(inputFile + ": chromatogram '" + chromatogram.nativeId + "' has " +
                   std::to_string(times_.size()) + " times and " +
                   std::to_string(jobSide.intensityValues.size()) +
                   " intensities; the shorter array is kept\n");
    }
    const std::size_t points = std::min(times_.size(), jobSide.intensityValues.size());
    chromatogram.times.assign(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(points));
    chromatogram.intensities.assign(jobSide.intensityValues.begin(),
                                    jobSide.intensityValues.begin() + static_cast<std::ptrdiff_t>(points));
    chromatograms_.push_back(std::move(chromatogram));
  });
}
