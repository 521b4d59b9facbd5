// simulate_compounds: writes a DDA run of compounds seen as several ions each (adducts with ratios, isotope
// patterns from their formulas, in-source water loss) with data-dependent MS2 scans of the most intense
// ions, and the truth of every ion beside it (<output>.ions.tsv). The same options always give the same
// bytes.

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/compound_sim.h"
#include "tools/mzxml_writer.h"

namespace {

const char kUsage[] =
    "Usage: simulate_compounds -o <run.mzXML> [options]\n"
    "  -o, --output PATH        mzXML file to write; the truth goes to PATH.ions.tsv\n"
    "  -c, --compounds N        compounds (default 100)\n"
    "  -r, --run-time MIN       run length, minutes (default 10)\n"
    "  -x, --top N              MS2 scans after each MS1 scan (default 3)\n"
    "  -w, --peak-width SEC     sigma of the elution profiles (default 3)\n"
    "  -s, --seed N             seed of the noise and scatter (default 1)\n"
    "  -S, --compound-seed N    seed of the compound list (default: the seed); runs of one cohort share it\n"
    "  -k, --scale X            every compound's intensity times X (default 1)\n"
    "  -h, --help               this text\n";

bool number(const char* text, double* out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value > 0)) return false;
  *out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CompoundSimConfig config;
  static const option longOptions[] = {{"output", required_argument, nullptr, 'o'},
                                       {"compounds", required_argument, nullptr, 'c'},
                                       {"run-time", required_argument, nullptr, 'r'},
                                       {"top", required_argument, nullptr, 'x'},
                                       {"peak-width", required_argument, nullptr, 'w'},
                                       {"seed", required_argument, nullptr, 's'},
                                       {"compound-seed", required_argument, nullptr, 'S'},
                                       {"scale", required_argument, nullptr, 'k'},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  int option = 0;
  while ((option = getopt_long(argc, argv, "o:c:r:x:w:s:S:k:h", longOptions, nullptr)) != -1) {
    double value = 0;
    const bool isNumber = optarg != nullptr && number(optarg, &value);
    switch (option) {
      case 'o':
        config.output = optarg;
        break;
      case 'c':
        if (!isNumber) goto bad;
        config.compounds = static_cast<long>(value);
        break;
      case 'r':
        if (!isNumber) goto bad;
        config.runMinutes = value;
        break;
      case 'x':
        if (!isNumber) goto bad;
        config.topN = static_cast<long>(value);
        break;
      case 'w':
        if (!isNumber) goto bad;
        config.peakWidth = value;
        break;
      case 's':
        if (!isNumber) goto bad;
        config.seed = static_cast<std::uint64_t>(value);
        break;
      case 'S':
        if (!isNumber) goto bad;
        config.compoundSeed = static_cast<std::uint64_t>(value);
        break;
      case 'k':
        if (!isNumber) goto bad;
        config.sampleScale = value;
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
    continue;
  bad:
    std::fprintf(stderr, "simulate_compounds: -%c needs a number above 0, not \"%s\"\n", option, optarg);
    return 2;
  }
  if (config.output.empty()) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  CompoundRunModel model(config);
  std::vector<SimSpectrum> spectra;
  std::vector<std::vector<SimSpectrum>> tandems;
  for (long cycle = 0; cycle < model.cycles(); ++cycle) {
    spectra.push_back(model.fullScan(cycle));
    tandems.push_back(model.tandemScans(spectra.back()));
  }
  long num = 1, count = 0;
  for (std::size_t k = 0; k < spectra.size(); ++k) {
    spectra[k].num = num++;
    for (SimSpectrum& tandem : tandems[k]) tandem.num = num++;
    count += 1 + static_cast<long>(tandems[k].size());
  }
  MzxmlWriter writer(32, true);
  if (!writer.open(config.output)) {
    std::fprintf(stderr, "simulate_compounds: cannot create %s\n", config.output.c_str());
    return 2;
  }
  writer.writeHead(count, spectra.empty() ? 0 : spectra.front().rt, spectra.empty() ? 0 : spectra.back().rt,
                   "FTMS");
  for (std::size_t k = 0; k < spectra.size(); ++k) {
    writer.openScan(spectra[k], 0);
    for (const SimSpectrum& tandem : tandems[k]) {
      writer.openScan(tandem, 1);
      writer.closeScan(1);
    }
    writer.closeScan(0);
  }
  if (!writer.finish() || !model.writeTruth(config.output + ".ions.tsv")) {
    std::fprintf(stderr, "simulate_compounds: could not write all of %s\n", config.output.c_str());
    return 2;
  }
  return 0;
}
