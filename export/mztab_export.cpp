#include "export/mztab_export.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <vector>

#include "export/export_file.h"

namespace {

const char kNull[] = "null";

// A number, or null when not above 0, appended to `out` after a tab: the rows are long and many, so they are
// built in place.
void appendNumberOrNull(std::string& out, double value, int digits) {
  out += '\t';
  if (value > 0) {
    appendExportNumber(out, value, digits);
  } else {
    out += kNull;
  }
}

void appendTab(std::string& out, double value, int digits) {
  out += '\t';
  appendExportNumber(out, value, digits);
}

// An integer, appended as std::to_string writes it.
void appendInteger(std::string& out, long value) {
  char text[24];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void appendTab(std::string& out, long value) {
  out += '\t';
  appendInteger(out, value);
}

void appendTextOrNull(std::string& out, const std::string& text) {
  out += '\t';
  if (text.empty()) {
    out += kNull;
  } else {
    out += text;
  }
}

// The adduct part of a feature's ion ("[M+H]+ 13C1" -> "[M+H]+").
std::string adductOf(const std::string& ion) {
  if (ion.empty() || ion[0] != '[') return "";
  return ion.substr(0, ion.find(' '));
}

std::string fileUri(const std::string& path) {
  if (path.rfind("file:", 0) == 0) return path;
  return path.size() > 0 && path[0] == '/' ? "file://" + path : "file:" + path;
}

bool isMzml(const std::string& path) {
  const std::string lower = [&] {
    std::string text = path;
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
  }();
  return lower.find(".mzml") != std::string::npos;
}

void metadata(std::string& out, const ExportSet& set) {
  auto line = [&out](const std::string& key, const std::string& value) {
    out += "MTD\t" + key + "\t" + value + "\n";
  };
  line("mzTab-version", "2.0.0-M");
  line("mzTab-ID", set.title.empty() ? "TORVA" : set.title);
  line("description", "Features grouped into compounds by TORVA");
  line("software[1]", "[MS, MS:1000799, custom unreleased software tool, " + set.software + "]");
  line("quantification_method", "[MS, MS:1001834, LC-MS label-free quantitation analysis, ]");
  // The polarities of the runs' scans that the features come from: the set's, and the other one when a
  // feature has it (a polarity-switching run).
  bool positive = set.polarity >= 0, negative = set.polarity < 0;
  for (const ExportFeature& feature : set.features) {
    (polarityOf(set, feature) < 0 ? negative : positive) = true;
  }
  std::vector<std::string> polarities;
  if (positive) polarities.push_back("[MS, MS:1000130, positive scan, ]");
  if (negative) polarities.push_back("[MS, MS:1000129, negative scan, ]");
  if (set.polarity < 0) std::reverse(polarities.begin(), polarities.end());
  for (std::size_t s = 0; s < set.samples.size(); ++s) {
    const std::string run = "ms_run[" + std::to_string(s + 1) + "]";
    const std::string file = s < set.runFiles.size() ? set.runFiles[s] : set.samples[s];
    line(run + "-location", fileUri(file));
    line(run + "-format",
         isMzml(file) ? "[MS, MS:1000584, mzML format, ]" : "[MS, MS:1000566, ISB mzXML format, ]");
    line(run + "-id_format", "[MS, MS:1000776, scan number only nativeID format, ]");
    for (std::size_t p = 0; p < polarities.size(); ++p)
      line(run + "-scan_polarity[" + std::to_string(p + 1) + "]", polarities[p]);
  }
  std::string assayRefs;
  for (std::size_t s = 0; s < set.samples.size(); ++s) {
    const std::string assay = "assay[" + std::to_string(s + 1) + "]";
    line(assay, set.samples[s]);
    line(assay + "-ms_run_ref", "ms_run[" + std::to_string(s + 1) + "]");
    assayRefs += (s > 0 ? "|" : "") + assay;
  }
  line("study_variable[1]", "undefined");
  line("study_variable[1]-assay_refs", assayRefs);
  line("study_variable[1]-description", "all samples");
  line("cv[1]-label", "MS");
  line("cv[1]-full_name", "PSI-MS controlled vocabulary");
  line("cv[1]-version", "4.1.138");
  line("cv[1]-uri", "https://raw.githubusercontent.com/HUPO-PSI/psi-ms-CV/master/psi-ms.obo");
  line("cv[2]-label", "PRIDE");
  line("cv[2]-full_name", "PRIDE PRoteomics IDEntifications (PRIDE) database controlled vocabulary");
  line("cv[2]-version", "16:10:2023 11:38");
  line("cv[2]-uri", "https://raw.githubusercontent.com/PRIDE-Utilities/pride-ontology/master/pride_cv.obo");
  line("database[1]", "[,, \"no database\", null ]");
  line("database[1]-prefix", kNull);
  line("database[1]-version", "Unknown");
  line("database[1]-uri", kNull);
  line("small_molecule-quantification_unit", "[PRIDE, PRIDE:0000330, Arbitrary quantification unit, ]");
  line("small_molecule_feature-quantification_unit",
       "[PRIDE, PRIDE:0000330, Arbitrary quantification unit, ]");
  line("small_molecule-identification_reliability",
       "[MS, MS:1002896, compound identification confidence level, ]");
  line("id_confidence_measure[1]", "[MS, MS:1002888, small molecule confidence measure, ]");
  out += "\n";
}

}  // namespace

std::string mztabAdduct(const std::string& ion) {
  const std::string adduct = adductOf(ion);
  if (adduct.empty()) return "";
  const std::size_t close = adduct.rfind(']');
  if (close + 2 == adduct.size()) return adduct.substr(0, close + 1) + "1" + adduct.substr(close + 1);
  return adduct;
}

std::string mztabM(const ExportSet& set) {
  std::string out;
  // Room for more than the rows take (only what is written is touched), so that the text is not moved as it
  // grows.
  out.reserve(8192 + set.features.size() * (480 + 48 * set.samples.size()));
  metadata(out, set);
  const std::size_t samples = set.samples.size();

  // Evidence ids: one per feature with an MS2 spectrum.
  std::vector<long> evidenceOf(set.features.size(), 0);
  long evidence = 0;
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    if (!set.features[f].ms2.empty()) evidenceOf[f] = ++evidence;
  }

  // SML: one row per compound, in order of first appearance. Each compound's features, in table order, lie
  // in one list: compound c's from start[c] to start[c + 1].
  std::unordered_map<long, std::size_t> rankOf;
  std::vector<std::size_t> rank(set.features.size()), start(1, 0);
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    const auto found = rankOf.emplace(set.features[f].compoundId, rankOf.size());
    if (found.second) start.push_back(0);
    rank[f] = found.first->second;
    ++start[rank[f] + 1];
  }
  for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  std::vector<std::size_t> members(set.features.size());
  std::vector<std::size_t> next(start.begin(), start.end() - 1);
  for (std::size_t f = 0; f < set.features.size(); ++f) members[next[rank[f]]++] = f;
  out +=
      "SMH\tSML_ID\tSMF_ID_REFS\tdatabase_identifier\tchemical_formula\tsmiles\tinchi\tchemical_name\turi\t"
      "theoretical_neutral_mass\tadduct_ions\treliability\tbest_id_confidence_measure\tbest_id_confidence_"
      "value";
  for (std::size_t s = 0; s < samples; ++s) out += "\tabundance_assay[" + std::to_string(s + 1) + "]";
  out += "\tabundance_study_variable[1]\tabundance_variation_study_variable[1]\n";
  long smlId = 0;
  // Kept from compound to compound: the adducts as "|a|b|", and the one looked for as "|x|".
  std::string refs, adducts, barred, wanted;
  for (std::size_t c = 0; c + 1 < start.size(); ++c) {
    refs.clear();
    adducts.clear();
    barred.assign(1, '|');
    const ExportFeature* representative = &set.features[members[start[c]]];
    for (std::size_t k = start[c]; k < start[c + 1]; ++k) {
      const ExportFeature& feature = set.features[members[k]];
      if (!refs.empty()) refs += '|';
      appendInteger(refs, feature.featureId);
      if (feature.representative) representative = &feature;
      if (feature.isotope != 0) continue;
      const std::string adduct = mztabAdduct(feature.ion);
      if (adduct.empty()) continue;
      wanted.assign(1, '|');
      wanted += adduct;
      wanted += '|';
      if (barred.find(wanted) == std::string::npos) {
        if (!adducts.empty()) adducts += '|';
        adducts += adduct;
        barred += adduct;
        barred += '|';
      }
    }
    out += "SML";
    appendTab(out, ++smlId);
    out += '\t';
    out += refs;
    out += "\tnull\tnull\tnull\tnull\tnull\tnull";
    appendNumberOrNull(out, representative->neutralMass, 5);
    appendTextOrNull(out, adducts);
    out += "\tnull\tnull\tnull";
    double sum = 0;
    std::size_t present = 0;
    for (std::size_t s = 0; s < samples; ++s) {
      const double area = s < representative->areas.size() ? representative->areas[s] : 0;
      appendNumberOrNull(out, area, 2);
      if (area > 0) {
        sum += area;
        ++present;
      }
    }
    if (present > 0) {
      appendTab(out, sum / static_cast<double>(present), 2);
    } else {
      out += "\tnull";
    }
    out += "\tnull\n";
  }
  out += "\n";

  // SMF: one row per feature.
  out +=
      "SFH\tSMF_ID\tSME_ID_REFS\tSME_ID_REF_ambiguity_code\tadduct_ion\tisotopomer\texp_mass_to_"
      "charge\tcharge\t"
      "retention_time_in_seconds\tretention_time_in_seconds_start\tretention_time_in_seconds_end";
  for (std::size_t s = 0; s < samples; ++s) out += "\tabundance_assay[" + std::to_string(s + 1) + "]";
  out += "\n";
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    const ExportFeature& feature = set.features[f];
    out += "SMF";
    appendTab(out, feature.featureId);
    if (evidenceOf[f] > 0) {
      appendTab(out, evidenceOf[f]);
    } else {
      out += "\tnull";
    }
    out += "\tnull";
    appendTextOrNull(out, mztabAdduct(feature.ion));
    if (feature.isotope > 0) {
      out += "\t[,, 13C";
      appendInteger(out, feature.isotope);
      out += ", ]";
    } else {
      out += '\t';
      out += kNull;
    }
    appendTab(out, feature.mz, 5);
    appendTab(out, feature.charge > 0 ? feature.charge : 1);
    appendTab(out, feature.rt, 3);
    appendTab(out, feature.rtStart, 3);
    appendTab(out, feature.rtEnd, 3);
    for (std::size_t s = 0; s < samples; ++s) {
      appendNumberOrNull(out, s < feature.areas.size() ? feature.areas[s] : 0, 2);
    }
    out += '\n';
  }

  // SME: the MS2 spectrum of each feature that has one, as evidence without an identification.
  if (evidence > 0) {
    out +=
        "\nSEH\tSME_ID\tevidence_input_id\tdatabase_identifier\tchemical_formula\tsmiles\tinchi\tchemical_"
        "name\t"
        "uri\tderivatized_form\tadduct_ion\texp_mass_to_charge\tcharge\ttheoretical_mass_to_charge\t"
        "spectra_ref\tidentification_method\tms_level\tid_confidence_measure[1]\trank\n";
    for (std::size_t f = 0; f < set.features.size(); ++f) {
      if (evidenceOf[f] == 0) continue;
      const ExportFeature& feature = set.features[f];
      const ExportSpectrum& spectrum = feature.ms2.front();
      const int charge = feature.charge > 0 ? feature.charge : 1;
      out += "SME";
      appendTab(out, evidenceOf[f]);
      out += "\tfeature_";
      appendInteger(out, feature.featureId);
      out += "\tnull\tnull\tnull\tnull\tnull\tnull\tnull";
      appendTextOrNull(out, mztabAdduct(feature.ion));
      appendTab(out, feature.mz, 5);
      appendTab(out, static_cast<long>(polarityOf(set, feature) < 0 ? -charge : charge));
      appendTab(out, spectrum.precursorMz > 0 ? spectrum.precursorMz : feature.mz, 5);
      out += "\tms_run[";
      out += std::to_string(spectrum.sample + 1);
      out += "]:scan=";
      out += std::to_string(spectrum.scanNumber);
      out += "\t[,, no identification, ]\t[MS, MS:1000511, ms level, 2]\tnull\t1\n";
    }
  }
  return out;
}
