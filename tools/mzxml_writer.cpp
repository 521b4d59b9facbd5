#include "tools/mzxml_writer.h"

#include <zlib.h>

#include <cstring>

namespace {

std::string printf1(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

void appendBigEndian(std::string& out, std::uint64_t bits, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((bits >> shift) & 0xFF));
  }
}

}  // namespace

std::string deflate(const std::string& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  std::string packed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &length, reinterpret_cast<const Bytef*>(bytes.data()),
            static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION);
  packed.resize(length);
  return packed;
}

std::string base64Encode(const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                            (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                            static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(alphabet[(v >> 18) & 63]);
    out.push_back(alphabet[(v >> 12) & 63]);
    out.push_back(alphabet[(v >> 6) & 63]);
    out.push_back(alphabet[v & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out.push_back(alphabet[(v >> 18) & 63]);
    out.push_back(alphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? alphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool MzxmlWriter::open(const std::string& path) { return out_.open(path); }

void MzxmlWriter::writeHead(long scanCount, double startTime, double endTime, const std::string& analyzer) {
  put("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n");
  put("<mzXML xmlns=\"http://sashimi.sourceforge.net/schema_revision/mzXML_3.1\"\n"
      " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      " xsi:schemaLocation=\"http://sashimi.sourceforge.net/schema_revision/mzXML_3.1 "
      "http://sashimi.sourceforge.net/schema_revision/mzXML_3.1/mzXML_idx_3.1.xsd\">\n");
  put(" <msRun scanCount=\"" + std::to_string(scanCount) + "\" startTime=\"PT" + printf1("%.4f", startTime) +
      "S\" endTime=\"PT" + printf1("%.4f", endTime) + "S\">\n");
  put("  <parentFile fileName=\"simulated.raw\" fileType=\"RAWData\" "
      "fileSha1=\"0000000000000000000000000000000000000000\"/>\n");
  put("  <msInstrument>\n"
      "   <msManufacturer category=\"msManufacturer\" value=\"Simulated\"/>\n"
      "   <msModel category=\"msModel\" value=\"simulate_run\"/>\n"
      "   <msIonisation category=\"msIonisation\" value=\"ESI\"/>\n"
      "   <msMassAnalyzer category=\"msMassAnalyzer\" value=\"" +
      analyzer +
      "\"/>\n"
      "   <msDetector category=\"msDetector\" value=\"unknown\"/>\n"
      "  </msInstrument>\n");
  put("  <dataProcessing centroided=\"1\">\n"
      "   <software type=\"conversion\" name=\"simulate_run\" version=\"1.0\"/>\n"
      "  </dataProcessing>\n");
}

std::string MzxmlWriter::encodePeaks(const std::vector<SimPeak>& peaks, std::size_t* compressedLength) const {
  std::string bytes;
  bytes.reserve(peaks.size() * (precision_ == 64 ? 16 : 8));
  for (const SimPeak& peak : peaks) {
    for (double value : {peak.mz, peak.intensity}) {
      if (precision_ == 64) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        appendBigEndian(bytes, bits, 8);
      } else {
        const float narrow = static_cast<float>(value);
        std::uint32_t bits;
        std::memcpy(&bits, &narrow, sizeof bits);
        appendBigEndian(bytes, bits, 4);
      }
    }
  }
  *compressedLength = 0;
  if (zlib_) {
    bytes = deflate(bytes);
    *compressedLength = bytes.size();
  }
  return base64Encode(bytes);
}

void MzxmlWriter::openScan(const SimSpectrum& spectrum, int depth) {
  const std::string indent(2 + depth, ' ');
  index_.emplace_back(spectrum.num, out_.written() + indent.size());
  const SimSpectrumFigures f = spectrumFigures(spectrum);
  std::string tag = indent + "<scan num=\"" + std::to_string(spectrum.num) + "\"\n";
  tag += indent + "      scanType=\"" + spectrum.scanType + "\"\n";
  tag += indent + "      centroided=\"" + (spectrum.profile ? "0" : "1") + "\"\n";
  tag += indent + "      msLevel=\"" + std::to_string(spectrum.msLevel) + "\"\n";
  tag += indent + "      peaksCount=\"" + std::to_string(spectrum.peaks.size()) + "\"\n";
  tag += indent + "      polarity=\"" + std::string(1, spectrum.polarity) + "\"\n";
  tag += indent + "      retentionTime=\"PT" + printf1("%.4f", spectrum.rt) + "S\"\n";
  if (spectrum.collisionEnergy > 0) {
    tag += indent + "      collisionEnergy=\"" + printf1("%.0f", spectrum.collisionEnergy) + "\"\n";
  }
  tag += indent + "      lowMz=\"" + printf1("%.4f", f.lowMz) + "\"\n";
  tag += indent + "      highMz=\"" + printf1("%.4f", f.highMz) + "\"\n";
  tag += indent + "      basePeakMz=\"" + printf1("%.4f", f.basePeakMz) + "\"\n";
  tag += indent + "      basePeakIntensity=\"" + printf1("%.10g", f.basePeakIntensity) + "\"\n";
  tag += indent + "      totIonCurrent=\"" + printf1("%.10g", f.tic) + "\"\n";
  tag += indent + "      filterLine=\"" + spectrum.filterLine + "\">\n";
  put(tag);
  if (!spectrum.precursorText.empty()) {
    std::string element =
        indent + " <precursorMz precursorIntensity=\"" + printf1("%.1f", spectrum.precursorIntensity) + "\"";
    if (spectrum.precursorCharge > 0) {
      element += " precursorCharge=\"" + std::to_string(spectrum.precursorCharge) + "\"";
    }
    element += " activationMethod=\"CID\">" + spectrum.precursorText + "</precursorMz>\n";
    put(element);
  }
  std::size_t compressedLength = 0;
  const std::string data = encodePeaks(spectrum.peaks, &compressedLength);
  put(indent + " <peaks precision=\"" + std::to_string(precision_) +
      "\" byteOrder=\"network\" contentType=\"m/z-int\" compressionType=\"" + (zlib_ ? "zlib" : "none") +
      "\" compressedLen=\"" + std::to_string(compressedLength) + "\">" + data + "</peaks>\n");
}

void MzxmlWriter::closeScan(int depth) { put(std::string(2 + depth, ' ') + "</scan>\n"); }

bool MzxmlWriter::finish() {
  put(" </msRun>\n");
  const std::uint64_t indexOffset = out_.written() + 1;  // the index element starts after the blank
  put(" <index name=\"scan\">\n");
  for (const auto& entry : index_) {
    put("  <offset id=\"" + std::to_string(entry.first) + "\">" + std::to_string(entry.second) +
        "</offset>\n");
  }
  put(" </index>\n");
  put(" <indexOffset>" + std::to_string(indexOffset) + "</indexOffset>\n");
  put("</mzXML>\n");
  return out_.close();
}
