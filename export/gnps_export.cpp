#include "export/gnps_export.h"

#include "export/export_file.h"

namespace {

std::string chargeText(int charge, int polarity) {
  return std::to_string(charge > 0 ? charge : 1) + (polarity < 0 ? "-" : "+");
}

void appendPeaks(std::string& out, const std::vector<ExportPeak>& peaks) {
  for (const ExportPeak& peak : peaks) {
    appendExportPeak(out, peak.mz, peak.intensity);
  }
}

}  // namespace

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string gnpsMgf(const ExportSet& set, const std::vector<std::string>* ms2Lines) {
  std::string out;
  out.reserve(spectrumExportRoom(set, ms2Lines));
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    const ExportFeature& feature = set.features[f];
    if (feature.ms2.empty()) continue;
    const ExportSpectrum& spectrum = feature.ms2.front();
    const std::string id = std::to_string(feature.featureId);
    out += "BEGIN IONS\n";
    out += "FEATURE_ID=" + id + "\n";
    out += "PEPMASS=" + exportNumber(feature.mz, 5) + "\n";
    out += "SCANS=" + id + "\n";
    out += "RTINSECONDS=" + exportNumber(feature.rt, 3) + "\n";
    out += "CHARGE=" + chargeText(feature.charge, polarityOf(set, feature)) + "\n";
    out += "MSLEVEL=2\n";
    if (ms2Lines != nullptr) {
      out += (*ms2Lines)[f];
    } else {
      appendPeaks(out, spectrum.peaks);
    }
    out += "END IONS\n\n";
  }
  return out;
}

std::string gnpsQuantTable(const ExportSet& set) {
  std::string out;
  out.reserve(1024 + set.features.size() * (64 + 24 * set.samples.size()));  // more than the rows take
  out += "row ID,row m/z,row retention time";
  for (const std::string& sample : set.samples) out += "," + csvField(sample + " Peak area");
  out += "\n";
  for (const ExportFeature& feature : set.features) {
    out += std::to_string(feature.featureId);
    out += ',';
    appendExportNumber(out, feature.mz, 5);
    out += ',';
    appendExportNumber(out, feature.rt / 60.0, 4);
    for (std::size_t s = 0; s < set.samples.size(); ++s) {
      out += ',';
      appendExportNumber(out, s < feature.areas.size() ? feature.areas[s] : 0.0, 2);
    }
    out += '\n';
  }
  return out;
}
