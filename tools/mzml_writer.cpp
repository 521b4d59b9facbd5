#include "tools/mzml_writer.h"

#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <libmsnumpress/MSNumpress.hpp>

#include "tools/mzxml_writer.h"

namespace {

namespace numpress = ms::numpress::MSNumpress;

// Fixed point of the linear coder: 1e-5 Da steps, room for m/z up to 21000.
constexpr double kLinearFixedPoint = 100000.0;

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

std::string cv(const char* accession, const char* name, const std::string& value = "",
               const char* unitAccession = nullptr, const char* unitName = nullptr) {
  std::string text = "<cvParam cvRef=\"MS\" accession=\"" + std::string(accession) + "\" name=\"" + name +
                     "\" value=\"" + value + "\"";
  if (unitAccession != nullptr) {
    text += " unitCvRef=\"" + std::string(unitAccession).substr(0, 2) + "\" unitAccession=\"" +
            unitAccession + "\" unitName=\"" + unitName + "\"";
  }
  return text + "/>";
}

void appendLittleEndian(std::string& out, std::uint64_t bits, int bytes) {
  for (int b = 0; b < bytes; ++b) out.push_back(static_cast<char>((bits >> (8 * b)) & 0xFF));
}

double timeOf(const SimSpectrum& spectrum) {
  // The time as the mzXML writer states it, so that both files hold the same value.
  return std::strtod(format("%.4f", spectrum.rt).c_str(), nullptr);
}

}  // namespace

void roundAsNumpress(std::vector<SimPeak>& peaks) {
  for (SimPeak& peak : peaks) {
    peak.mz = std::floor(peak.mz * kLinearFixedPoint + 0.5) / kLinearFixedPoint;
    peak.intensity = std::floor(peak.intensity + 0.5);
  }
}

bool gzipInPlace(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  std::string content;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) content.append(buffer, count);
  std::fclose(in);
  const std::string packed = path + ".part";
  gzFile out = gzopen(packed.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written =
      content.empty() ||
      gzwrite(out, content.data(), static_cast<unsigned>(content.size())) == static_cast<int>(content.size());
  const bool closed = gzclose(out) == Z_OK;
  if (!written || !closed) {
    std::remove(packed.c_str());
    return false;
  }
  return std::rename(packed.c_str(), path.c_str()) == 0;
}

bool MzmlWriter::open(const std::string& path) { return out_.open(path); }

void MzmlWriter::writeHead(const std::string& analyzer) {
  put("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<mzML xmlns=\"http://psi.hupo.org/ms/mzml\" version=\"1.1.0\" id=\"simulated\">\n"
      " <cvList count=\"2\">\n"
      "  <cv id=\"MS\" fullName=\"Proteomics Standards Initiative Mass Spectrometry Ontology\" "
      "URI=\"https://raw.githubusercontent.com/HUPO-PSI/psi-ms-CV/master/psi-ms.obo\"/>\n"
      "  <cv id=\"UO\" fullName=\"Unit Ontology\" "
      "URI=\"https://raw.githubusercontent.com/bio-ontology-research-group/unit-ontology/master/unit.obo\"/"
      ">\n"
      " </cvList>\n"
      " <fileDescription><fileContent>" +
      cv("MS:1000580", "MSn spectrum") +
      "</fileContent></fileDescription>\n"
      " <softwareList count=\"1\"><software id=\"simulate_run\" version=\"1.0\"/></softwareList>\n"
      " <instrumentConfigurationList count=\"1\">\n"
      "  <instrumentConfiguration id=\"IC1\"><userParam name=\"analyzer\" value=\"" +
      analyzer +
      "\"/></instrumentConfiguration>\n"
      " </instrumentConfigurationList>\n"
      " <dataProcessingList count=\"1\"><dataProcessing id=\"simulation\"><processingMethod order=\"0\" "
      "softwareRef=\"simulate_run\">" +
      cv("MS:1000544", "Conversion to mzML") +
      "</processingMethod></dataProcessing></dataProcessingList>\n"
      " <run id=\"simulated\" defaultInstrumentConfigurationRef=\"IC1\">\n");
}

std::string MzmlWriter::binaryArray(const std::vector<double>& values, bool mz, bool time) const {
  std::string bytes;
  std::string encoding;
  if (arrays_.numpress && !time) {
    std::vector<unsigned char> packed(values.size() * 5 + 16);
    std::size_t length = 0;
    if (!values.empty()) {
      length = mz ? numpress::encodeLinear(values.data(), values.size(), packed.data(), kLinearFixedPoint)
                  : numpress::encodePic(values.data(), values.size(), packed.data());
    }
    bytes.assign(reinterpret_cast<const char*>(packed.data()), length);
    if (arrays_.zlib) {
      encoding =
          mz ? cv("MS:1002746", "MS-Numpress linear prediction compression followed by zlib compression")
             : cv("MS:1002747", "MS-Numpress positive integer compression followed by zlib compression");
    } else {
      encoding = mz ? cv("MS:1002312", "MS-Numpress linear prediction compression")
                    : cv("MS:1002313", "MS-Numpress positive integer compression");
    }
    encoding += cv("MS:1000523", "64-bit float");
  } else {
    const bool wide = arrays_.precision == 64 || time;
    for (double value : values) {
      if (wide) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        appendLittleEndian(bytes, bits, 8);
      } else {
        const float narrow = static_cast<float>(value);
        std::uint32_t bits;
        std::memcpy(&bits, &narrow, sizeof bits);
        appendLittleEndian(bytes, bits, 4);
      }
    }
    encoding = wide ? cv("MS:1000523", "64-bit float") : cv("MS:1000521", "32-bit float");
    encoding += arrays_.zlib ? cv("MS:1000574", "zlib compression") : cv("MS:1000576", "no compression");
  }
  if (arrays_.zlib) bytes = deflate(bytes);
  const std::string kind =
      time ? cv("MS:1000595", "time array", "", "UO:0000010", "second")
      : mz ? cv("MS:1000514", "m/z array", "", "MS:1000040", "m/z")
           : cv("MS:1000515", "intensity array", "", "MS:1000131", "number of detector counts");
  const std::string data = base64Encode(bytes);
  return "     <binaryDataArray encodedLength=\"" + std::to_string(data.size()) + "\">" + encoding + kind +
         "<binary>" + data + "</binary></binaryDataArray>\n";
}

void MzmlWriter::beginSpectra(long count) {
  put("  <spectrumList count=\"" + std::to_string(count) + "\" defaultDataProcessingRef=\"simulation\">\n");
}

void MzmlWriter::writeSpectrum(const SimSpectrum& spectrum) {
  const SimSpectrumFigures f = spectrumFigures(spectrum);
  std::vector<double> mz, intensity;
  for (const SimPeak& peak : spectrum.peaks) {
    mz.push_back(peak.mz);
    intensity.push_back(peak.intensity);
  }
  std::string text = "   <spectrum index=\"" + std::to_string(index_++) +
                     "\" id=\"controllerType=0 controllerNumber=1 scan=" + std::to_string(spectrum.num) +
                     "\" defaultArrayLength=\"" + std::to_string(spectrum.peaks.size()) + "\">\n    ";
  text += cv("MS:1000511", "ms level", std::to_string(spectrum.msLevel));
  text += spectrum.msLevel == 1 ? cv("MS:1000579", "MS1 spectrum") : cv("MS:1000580", "MSn spectrum");
  text += (spectrum.polarity == '-' ? cv("MS:1000129", "negative scan") : cv("MS:1000130", "positive scan")) +
          (spectrum.profile ? cv("MS:1000128", "profile spectrum") : cv("MS:1000127", "centroid spectrum"));
  text += cv("MS:1000528", "lowest observed m/z", format("%.4f", f.lowMz), "MS:1000040", "m/z");
  text += cv("MS:1000527", "highest observed m/z", format("%.4f", f.highMz), "MS:1000040", "m/z");
  text += cv("MS:1000504", "base peak m/z", format("%.4f", f.basePeakMz), "MS:1000040", "m/z");
  text += cv("MS:1000505", "base peak intensity", format("%.10g", f.basePeakIntensity), "MS:1000131",
             "number of detector counts");
  text += cv("MS:1000285", "total ion current", format("%.10g", f.tic));
  text += "\n    <scanList count=\"1\">" + cv("MS:1000795", "no combination") + "<scan>";
  text += cv("MS:1000016", "scan start time", format("%.4f", spectrum.rt), "UO:0000010", "second");
  text += cv("MS:1000512", "filter string", spectrum.filterLine);
  text += "</scan></scanList>\n";
  if (!spectrum.precursorText.empty()) {
    text += "    <precursorList count=\"1\"><precursor><isolationWindow>" +
            cv("MS:1000827", "isolation window target m/z", spectrum.precursorText, "MS:1000040", "m/z") +
            "</isolationWindow><selectedIonList count=\"1\"><selectedIon>" +
            cv("MS:1000744", "selected ion m/z", spectrum.precursorText, "MS:1000040", "m/z");
    if (spectrum.precursorCharge > 0) {
      text += cv("MS:1000041", "charge state", std::to_string(spectrum.precursorCharge));
    }
    text += "</selectedIon></selectedIonList><activation>" +
            cv("MS:1000133", "collision-induced dissociation") +
            cv("MS:1000045", "collision energy", format("%.2f", spectrum.collisionEnergy), "UO:0000266",
               "electronvolt") +
            "</activation></precursor></precursorList>\n";
  }
  text += "    <binaryDataArrayList count=\"2\">\n" + binaryArray(mz, true, false) +
          binaryArray(intensity, false, false) + "    </binaryDataArrayList>\n   </spectrum>\n";
  put(text);
}

void MzmlWriter::endSpectra() { put("  </spectrumList>\n"); }

void MzmlWriter::writeSrmChromatograms(const std::vector<SimTransition>& transitions,
                                       const std::vector<std::vector<SimSpectrum>>& spectraByTransition) {
  put("  <chromatogramList count=\"" + std::to_string(transitions.size()) +
      "\" defaultDataProcessingRef=\"simulation\">\n");
  for (std::size_t t = 0; t < transitions.size(); ++t) {
    const SimTransition& transition = transitions[t];
    std::vector<double> times, intensities;
    for (const SimSpectrum& spectrum : spectraByTransition[t]) {
      if (spectrum.peaks.empty()) continue;
      times.push_back(timeOf(spectrum));
      intensities.push_back(spectrum.peaks.front().intensity);
    }
    // The product window as the filter line states it, exactly: the offsets
    // are differences of nearby doubles, which subtraction forms exactly.
    const char* bracket = std::strrchr(transition.filterLine.c_str(), '[');
    const double low = bracket != nullptr ? std::strtod(bracket + 1, nullptr) : transition.low;
    const char* dash = bracket != nullptr ? std::strchr(bracket, '-') : nullptr;
    const double high = dash != nullptr ? std::strtod(dash + 1, nullptr) : transition.high;
    std::string text = "   <chromatogram index=\"" + std::to_string(t) +
                       "\" id=\"SRM SIC Q1=" + transition.precursorText +
                       " Q3=" + format("%.3f", transition.productMz) + "\" defaultArrayLength=\"" +
                       std::to_string(times.size()) + "\">\n    " +
                       cv("MS:1001473", "selected reaction monitoring chromatogram") +
                       cv("MS:1000130", "positive scan") + "\n";
    text += "    <precursor><isolationWindow>" +
            cv("MS:1000827", "isolation window target m/z", transition.precursorText, "MS:1000040", "m/z") +
            "</isolationWindow><activation>" + cv("MS:1000133", "collision-induced dissociation") +
            cv("MS:1000045", "collision energy", format("%.2f", transition.collisionEnergy), "UO:0000266",
               "electronvolt") +
            "</activation></precursor>\n";
    text += "    <product><isolationWindow>" +
            cv("MS:1000827", "isolation window target m/z", format("%.17g", transition.productMz),
               "MS:1000040", "m/z") +
            cv("MS:1000828", "isolation window lower offset", format("%.17g", transition.productMz - low),
               "MS:1000040", "m/z") +
            cv("MS:1000829", "isolation window upper offset", format("%.17g", high - transition.productMz),
               "MS:1000040", "m/z") +
            "</isolationWindow></product>\n";
    text += "    <binaryDataArrayList count=\"2\">\n" + binaryArray(times, false, true) +
            binaryArray(intensities, false, false) + "    </binaryDataArrayList>\n   </chromatogram>\n";
    put(text);
  }
  put("  </chromatogramList>\n");
}

bool MzmlWriter::finish() {
  put(" </run>\n</mzML>\n");
  return out_.close();
}
