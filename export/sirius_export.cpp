#include "export/sirius_export.h"

#include <map>

#include "export/export_file.h"

namespace {

// Whether `a` should speak for its compound rather than `b`.
bool betterParent(const ExportFeature& a, const ExportFeature& b) {
  const bool aExplained = !a.ion.empty(), bExplained = !b.ion.empty();
  if (aExplained != bExplained) return aExplained;
  if (a.representative != b.representative) return a.representative;
  double areaA = 0, areaB = 0;
  for (double area : a.areas) areaA += area;
  for (double area : b.areas) areaB += area;
  return areaA > areaB;
}

void appendPeaks(std::string& out, const std::vector<ExportPeak>& peaks) {
  for (const ExportPeak& peak : peaks) {
    appendExportPeak(out, peak.mz, peak.intensity);
  }
}

}  // namespace

std::string siriusMs(const ExportSet& set, const std::vector<std::string>* ms2Lines) {
  // The speaking ion of each compound, in order of the compounds' first appearance.
  std::map<long, std::size_t> parentOf;
  std::vector<long> order;
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    const ExportFeature& feature = set.features[f];
    if (feature.isotope != 0 || feature.ms2.empty()) continue;
    auto found = parentOf.find(feature.compoundId);
    if (found == parentOf.end()) {
      parentOf.emplace(feature.compoundId, f);
      order.push_back(feature.compoundId);
    } else if (betterParent(feature, set.features[found->second])) {
      found->second = f;
    }
  }
  std::string out;
  out.reserve(spectrumExportRoom(set, ms2Lines));
  for (long compound : order) {
    const std::size_t parent = parentOf[compound];
    const ExportFeature& feature = set.features[parent];
    const bool negative = polarityOf(set, feature) < 0;
    const char sign = negative ? '-' : '+';
    const int charge = feature.charge > 0 ? feature.charge : 1;
    const std::string unknownIon =
        charge == 1 ? std::string("[M+?]") + sign : std::string("[M+?]") + std::to_string(charge) + sign;
    out += ">compound " + std::to_string(compound) + "_" + std::to_string(feature.featureId) + "\n";
    out += ">parentmass " + exportNumber(feature.mz, 5) + "\n";
    out += ">ionization " + (feature.ion.empty() ? unknownIon : feature.ion) + "\n";
    out += ">charge " + std::string(negative ? "-" : "") + std::to_string(charge) + "\n";
    out += ">rt " + exportNumber(feature.rt, 3) + "s\n";
    out += "#feature_id " + std::to_string(feature.featureId) + "\n";
    if (feature.neutralMass > 0) out += "#neutral_mass " + exportNumber(feature.neutralMass, 5) + "\n";
    out += "\n";
    if (!feature.ms1Pattern.empty()) {
      out += ">ms1\n";
      appendPeaks(out, feature.ms1Pattern);
      out += "\n";
    }
    out += ">ms2\n";
    if (ms2Lines != nullptr) {
      out += (*ms2Lines)[parent];
    } else {
      appendPeaks(out, feature.ms2.front().peaks);
    }
    out += "\n";
  }
  return out;
}
