// score_features: scores the features found in a simulated run against the
// simulator's truth file. Reads a torva summary report (-s) or an OpenMS
// featureXML file, and prints one tab-separated line of figures (with -H, the
// header line first): how many compounds were found with the mass and apex
// within tolerance, how far off their masses and apexes are, and how many
// features match no compound ion (monoisotopic, the two isotopes, water loss).
#include <getopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/feature_table.h"
#include "report/summary_table.h"

namespace {

const double kIsotopeStep = 1.0033548;

struct Compound {
  double mz = 0;
  int charge = 1;
  double apex = 0;   // seconds
  double sigma = 0;  // seconds
  double height = 0;
  double waterLossMz = 0;  // 0: none
};

struct Feature {
  double mz = 0;
  double apex = 0;  // seconds
};

struct Settings {
  double ppm = 5;      // mass tolerance of a found compound
  double seconds = 3;  // apex tolerance of a found compound
  double ionDaltons =
      0.01;             // a feature this close to a compound ion, within 3 sigma of its apex, is not false
  double noise = 3000;  // highest noise intensity of the run; "clear" compounds peak 10 times above it
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) out.push_back(field);
  return out;
}

bool readTruth(const std::string& path, std::vector<Compound>& compounds) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = fields(line);
    if (f.size() < 8) continue;
    Compound c;
    c.mz = std::atof(f[1].c_str());
    c.charge = std::atoi(f[2].c_str());
    c.apex = std::atof(f[3].c_str()) * 60;
    c.sigma = std::atof(f[4].c_str());
    c.height = std::atof(f[5].c_str());
    c.waterLossMz = std::atof(f[7].c_str());
    compounds.push_back(c);
  }
  return true;
}

// A torva summary report: mass, rt (minutes), ...
bool readSummary(const std::string& path, std::vector<Feature>& features, std::string& error) {
  std::vector<SummaryRow> rows;
  if (!readSummaryTable(path, rows, error)) return false;
  for (const SummaryRow& row : rows) features.push_back({row.mass, row.rt * 60});
  return true;
}

// The value of the next <position dim="D">value</position> after `from`.
bool position(const std::string& text, std::size_t from, std::size_t to, const char* dim, double& value) {
  const std::string tag = std::string("<position dim=\"") + dim + "\">";
  const std::size_t at = text.find(tag, from);
  if (at == std::string::npos || at > to) return false;
  value = std::atof(text.c_str() + at + tag.size());
  return true;
}

// OpenMS featureXML: each top-level <feature> gives its RT (dim 0, seconds) and
// m/z (dim 1) as the first positions within it, before any convex hull.
bool readFeatureXml(std::ifstream& in, std::vector<Feature>& features) {
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 0;
  while ((at = text.find("<feature ", at)) != std::string::npos) {
    const std::size_t hull = std::min(text.find("<convexhull", at), text.find("</feature>", at));
    Feature feature;
    if (position(text, at, hull, "0", feature.apex) && position(text, at, hull, "1", feature.mz)) {
      features.push_back(feature);
    }
    at += 9;
  }
  return true;
}

double ppmError(double found, double truth) { return (found - truth) / truth * 1e6; }

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::string number(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void score(const std::vector<Compound>& compounds, const std::vector<Feature>& features, const Settings& s) {
  std::size_t found = 0, clear = 0, clearFound = 0;
  std::vector<double> massErrors, apexErrors;
  for (const Compound& c : compounds) {
    const bool isClear = c.height >= 10 * s.noise;
    if (isClear) ++clear;
    const Feature* best = nullptr;
    for (const Feature& f : features) {
      if (std::fabs(ppmError(f.mz, c.mz)) > s.ppm || std::fabs(f.apex - c.apex) > s.seconds) continue;
      if (best == nullptr || std::fabs(f.mz - c.mz) < std::fabs(best->mz - c.mz)) best = &f;
    }
    if (best == nullptr) continue;
    ++found;
    if (isClear) ++clearFound;
    massErrors.push_back(std::fabs(ppmError(best->mz, c.mz)));
    apexErrors.push_back(std::fabs(best->apex - c.apex));
  }
  std::size_t falseFeatures = 0;
  for (const Feature& f : features) {
    bool matched = false;
    for (const Compound& c : compounds) {
      if (std::fabs(f.apex - c.apex) > 3 * c.sigma + s.seconds) continue;
      const double step = kIsotopeStep / c.charge;
      for (double ion : {c.mz, c.mz + step, c.mz + 2 * step, c.waterLossMz}) {
        if (ion > 0 && std::fabs(f.mz - ion) <= s.ionDaltons) matched = true;
      }
      if (matched) break;
    }
    if (!matched) ++falseFeatures;
  }
  const double maxMass = massErrors.empty() ? 0 : *std::max_element(massErrors.begin(), massErrors.end());
  const double maxApex = apexErrors.empty() ? 0 : *std::max_element(apexErrors.begin(), apexErrors.end());
  const double falseShare = features.empty() ? 0 : 100.0 * falseFeatures / features.size();
  std::printf("%zu\t%zu\t%zu\t%zu\t%zu\t%s\t%s\t%s\t%s\t%zu\t%s\n", compounds.size(), found, clear,
              clearFound, features.size(), number(median(massErrors), 2).c_str(), number(maxMass, 2).c_str(),
              number(median(apexErrors), 2).c_str(), number(maxApex, 2).c_str(), falseFeatures,
              number(falseShare, 1).c_str());
}

const char kUsage[] =
    "Usage: score_features [options] TRUTH.tsv FEATURES\n"
    "Scores FEATURES (a torva summary report or feature table, or OpenMS featureXML when the name ends\n"
    "in .featureXML)\n"
    "against the truth file written by simulate_run. Prints one tab-separated line:\n"
    "compounds, found, clear (apex at least 10x the noise), clear found, features,\n"
    "median and max |mass error| ppm, median and max |apex error| s, false features, false %.\n"
    "\n"
    "  -p PPM      mass tolerance of a found compound (default 5)\n"
    "  -t SECONDS  apex tolerance of a found compound (default 3)\n"
    "  -d DALTONS  a feature within this of a compound ion (M, M+1, M+2, water loss) and within\n"
    "              3 sigma of its apex is not false (default 0.01)\n"
    "  -n NOISE    highest noise intensity of the run (default 3000, the simulator's)\n"
    "  -H          print the header line first\n";

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  bool header = false;
  int letter;
  while ((letter = getopt(argc, argv, "p:t:d:n:Hh")) != -1) {
    switch (letter) {
      case 'p':
        settings.ppm = std::atof(optarg);
        break;
      case 't':
        settings.seconds = std::atof(optarg);
        break;
      case 'd':
        settings.ionDaltons = std::atof(optarg);
        break;
      case 'n':
        settings.noise = std::atof(optarg);
        break;
      case 'H':
        header = true;
        break;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
  }
  if (argc - optind != 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string truthPath = argv[optind];
  const std::string featurePath = argv[optind + 1];
  std::vector<Compound> compounds;
  if (!readTruth(truthPath, compounds)) {
    std::fprintf(stderr, "score_features: cannot read truth file %s\n", truthPath.c_str());
    return 2;
  }
  std::ifstream in(featurePath);
  if (!in) {
    std::fprintf(stderr, "score_features: cannot read %s\n", featurePath.c_str());
    return 2;
  }
  std::vector<Feature> features;
  const std::string xmlEnding = ".featureXML";
  const bool xml =
      featurePath.size() >= xmlEnding.size() &&
      featurePath.compare(featurePath.size() - xmlEnding.size(), xmlEnding.size(), xmlEnding) == 0;
  if (xml) {
    readFeatureXml(in, features);
  } else {
    std::string headerLine;
    std::getline(in, headerLine);
    if (headerLine.rfind("feature_id\t", 0) == 0) {
      // A feature table: every found row (target rows marked not_found have no feature).
      try {
        for (const FeatureRow& row : readFeatureTable(featurePath)) {
          if (row.status != "not_found") features.push_back({row.mz, row.rt * 60});
        }
      } catch (const FeatureTableError& error) {
        std::fprintf(stderr, "score_features: %s\n", error.what());
        return 2;
      }
    } else {
      std::string error;
      if (!readSummary(featurePath, features, error)) {
        std::fprintf(stderr, "score_features: %s\n", error.c_str());
        return 2;
      }
    }
  }
  if (header) {
    std::puts(
        "compounds\tfound\tclear\tclear found\tfeatures\tmedian ppm\tmax ppm\tmedian apex s\tmax apex s"
        "\tfalse\tfalse %");
  }
  score(compounds, features, settings);
  return 0;
}
