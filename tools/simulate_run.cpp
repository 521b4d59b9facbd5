// simulate_run: writes a realistic LC-MS run as mzXML, with its ground truth
// beside it (<output>.truth.tsv). Compounds elute with Gaussian profiles and
// show isotope and water-loss peaks over log-uniform noise; full-scan runs
// nest data-dependent MS2 scans in every MS1 scan, SRM runs cycle through
// their transitions. The same options and seed always give the same bytes.

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/mzml_writer.h"
#include "tools/mzxml_writer.h"
#include "tools/sim_model.h"
#include "util/atomic_file.h"

namespace {

const char kUsage[] =
    "Usage: simulate_run -o <run.mzXML> [options]\n"
    "Writes a simulated LC-MS run as mzXML (or mzML) and its ground truth as <run.mzXML>.truth.tsv.\n"
    "\n"
    "  -o, --output PATH       file to write (required); a name ending in .mzML or .mzML.gz\n"
    "                          writes mzML, one ending in .gz writes gzip-compressed data\n"
    "  -m, --mode full|srm     full scan with nested MS2 scans, or SRM (default full)\n"
    "  -n, --spectra N         MS1 spectra (full) or SRM spectra (default 120)\n"
    "  -k, --peaks N           peaks per MS1 or SRM spectrum (default 200 full, 1 SRM)\n"
    "  -c, --compounds N       compounds (default 5)\n"
    "  -t, --transitions N     SRM transitions, cycled in order (default 100)\n"
    "  -x, --ms2 N             MS2 scans nested in each MS1 scan (default 1)\n"
    "  -b, --precision 32|64   bits per stored value (default 32)\n"
    "  -z, --zlib              zlib-compress the peak arrays\n"
    "  -f, --format mzxml|mzml file format (default: by the output name; mzXML otherwise)\n"
    "  -g, --gzip              gzip-compress the whole file\n"
    "  -N, --numpress          values as MS-Numpress stores them (m/z linear, intensities pic);\n"
    "                          mzML stores them so coded, mzXML the same values\n"
    "  -C, --srm-chromatograms mzML: store an SRM run as one chromatogram per transition\n"
    "  -u, --unsorted          store each spectrum's peaks in random order\n"
    "  -s, --seed N            seed of the pseudo-random numbers (default 1)\n"
    "  -r, --run-time MIN      run length in minutes (default: 1 s per MS1 or SRM cycle)\n"
    "  -w, --peak-width SEC    sigma of the elution profiles in seconds (default 3)\n"
    "  -q, --max-charge N      compounds take charges 1..N (default 1)\n"
    "  -H, --heights LOW:HIGH  apex intensities of the compounds, log-uniform (default 1e5:1e7)\n"
    "  -R, --mz-range LOW:HIGH full-scan m/z range (default 100:1000)\n"
    "Effects of real runs (full scan; all off by default):\n"
    "  --isomers N             N compounds get an isomer: same m/z, apex 1.5 fwhm to 0.3 min apart\n"
    "  --tail-peaks N          N compounds tail, each with a weaker compound of its m/z on the tail\n"
    "  --background N          N flat background ions in every MS1 scan (3e4 to 1e6 counts)\n"
    "  --background-bumps X    each background ion rises by up to the fraction X of itself in slow bumps\n"
    "                          (one every 3 minutes of run on average, sigma 6 to 30 s)\n"
    "  --drift X               background and noise grow by the fraction X over the run\n"
    "  --jagged X              each compound peak times 1 + X * U(-1,1), like TOF sampling\n"
    "  --polarity-switching    every second MS1 scan negative; each compound of one polarity\n"
    "  --lock-every N          every Nth MS1 scan's filter line reads 'Full lock ms'\n"
    "  --profile R             MS1 and MS2 spectra written as profile data: each centroid a\n"
    "                          Gaussian of FWHM m/z / R, 4 points to the FWHM, zero runs left out\n"
    "  -h, --help              this text\n";

bool readLong(const char* text, long minimum, long* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < minimum) return false;
  *out = value;
  return true;
}

bool readDouble(const char* text, double* out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0)) return false;
  *out = value;
  return true;
}

// "LOW:HIGH" with 0 <= LOW < HIGH.
bool readRange(const char* text, double* low, double* high) {
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) return false;
  const std::string first(text, colon);
  double a = 0, b = 0;
  if (!readDouble(first.c_str(), &a) || !readDouble(colon + 1, &b) || !(a < b)) return false;
  *low = a;
  *high = b;
  return true;
}

// Returns 0 when the options are complete, 1 after printing the usage text
// (requested or needed), 2 after naming a bad option value.
int parseOptions(int argc, char** argv, SimConfig& config) {
  static const option longOptions[] = {{"output", required_argument, nullptr, 'o'},
                                       {"mode", required_argument, nullptr, 'm'},
                                       {"spectra", required_argument, nullptr, 'n'},
                                       {"peaks", required_argument, nullptr, 'k'},
                                       {"compounds", required_argument, nullptr, 'c'},
                                       {"transitions", required_argument, nullptr, 't'},
                                       {"ms2", required_argument, nullptr, 'x'},
                                       {"precision", required_argument, nullptr, 'b'},
                                       {"zlib", no_argument, nullptr, 'z'},
                                       {"unsorted", no_argument, nullptr, 'u'},
                                       {"seed", required_argument, nullptr, 's'},
                                       {"run-time", required_argument, nullptr, 'r'},
                                       {"peak-width", required_argument, nullptr, 'w'},
                                       {"max-charge", required_argument, nullptr, 'q'},
                                       {"format", required_argument, nullptr, 'f'},
                                       {"gzip", no_argument, nullptr, 'g'},
                                       {"numpress", no_argument, nullptr, 'N'},
                                       {"srm-chromatograms", no_argument, nullptr, 'C'},
                                       {"heights", required_argument, nullptr, 'H'},
                                       {"mz-range", required_argument, nullptr, 'R'},
                                       {"isomers", required_argument, nullptr, 256},
                                       {"tail-peaks", required_argument, nullptr, 257},
                                       {"background", required_argument, nullptr, 258},
                                       {"drift", required_argument, nullptr, 259},
                                       {"jagged", required_argument, nullptr, 260},
                                       {"polarity-switching", no_argument, nullptr, 261},
                                       {"lock-every", required_argument, nullptr, 262},
                                       {"background-bumps", required_argument, nullptr, 263},
                                       {"profile", required_argument, nullptr, 264},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  int letter;
  bool formatGiven = false;
  while ((letter = getopt_long(argc, argv, "o:m:n:k:c:t:x:b:zus:r:w:q:f:gNCH:R:h", longOptions, nullptr)) !=
         -1) {
    long number = 0;
    bool ok = true;
    switch (letter) {
      case 'o':
        config.output = optarg;
        break;
      case 'm':
        if (std::strcmp(optarg, "full") == 0)
          config.mode = SimConfig::Mode::FullScan;
        else if (std::strcmp(optarg, "srm") == 0)
          config.mode = SimConfig::Mode::Srm;
        else
          ok = false;
        break;
      case 'n':
        ok = readLong(optarg, 1, &config.spectra);
        break;
      case 'k':
        ok = readLong(optarg, 0, &config.peaks);
        break;
      case 'c':
        ok = readLong(optarg, 0, &config.compounds);
        break;
      case 't':
        ok = readLong(optarg, 1, &config.transitions);
        break;
      case 'x':
        ok = readLong(optarg, 0, &config.ms2PerCycle);
        break;
      case 'b':
        ok = readLong(optarg, 32, &number) && (number == 32 || number == 64);
        config.precision = static_cast<int>(number);
        break;
      case 'z':
        config.zlib = true;
        break;
      case 'u':
        config.unsorted = true;
        break;
      case 'f':
        formatGiven = true;
        if (std::strcmp(optarg, "mzxml") == 0)
          config.mzml = false;
        else if (std::strcmp(optarg, "mzml") == 0)
          config.mzml = true;
        else
          ok = false;
        break;
      case 'g':
        config.gzip = true;
        break;
      case 'N':
        config.numpress = true;
        break;
      case 'C':
        config.srmChromatograms = true;
        break;
      case 's':
        ok = readLong(optarg, 0, &number);
        config.seed = static_cast<std::uint64_t>(number);
        break;
      case 'r':
        ok = readDouble(optarg, &config.runMinutes);
        break;
      case 'w':
        ok = readDouble(optarg, &config.peakWidth) && config.peakWidth > 0;
        break;
      case 'q':
        ok = readLong(optarg, 1, &number) && number <= 3;
        config.maxCharge = static_cast<int>(number);
        break;
      case 'H':
        ok = readRange(optarg, &config.minIntensity, &config.maxIntensity) && config.minIntensity > 0;
        break;
      case 'R':
        ok = readRange(optarg, &config.lowMz, &config.highMz) && config.highMz - config.lowMz > 25;
        break;
      case 256:
        ok = readLong(optarg, 0, &config.isomers);
        break;
      case 257:
        ok = readLong(optarg, 0, &config.tailPeaks);
        break;
      case 258:
        ok = readLong(optarg, 0, &config.backgroundIons);
        break;
      case 259:
        ok = readDouble(optarg, &config.drift);
        break;
      case 263:
        ok = readDouble(optarg, &config.backgroundBumps) && config.backgroundBumps >= 0;
        break;
      case 260:
        ok = readDouble(optarg, &config.jagged) && config.jagged < 1;
        break;
      case 261:
        config.polaritySwitching = true;
        break;
      case 262:
        ok = readLong(optarg, 0, &config.lockEvery);
        break;
      case 264:
        ok = readDouble(optarg, &config.profileResolution) && config.profileResolution >= 1000;
        break;
      default:
        std::fputs(kUsage, stderr);
        return 1;
    }
    if (!ok) {
      if (letter >= 256) {
        std::fprintf(stderr, "simulate_run: bad value '%s' for an effect option; see simulate_run -h\n",
                     optarg);
      } else {
        std::fprintf(stderr, "simulate_run: bad value '%s' for option -%c; see simulate_run -h\n", optarg,
                     letter);
      }
      return 2;
    }
  }
  if (config.output.empty()) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  std::string lower(config.output);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto endsWith = [&lower](const std::string& suffix) {
    return lower.size() >= suffix.size() &&
           lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (!formatGiven) config.mzml = endsWith(".mzml") || endsWith(".mzml.gz");
  if (endsWith(".gz")) config.gzip = true;
  return 0;
}

// The profile points of a centroided spectrum: each centroid a Gaussian of FWHM
// m/z / resolution, sampled on a grid of constant relative spacing with 4 points
// to the FWHM, the overlapping peaks added; points below a thousandth of the
// weakest centroid are left out, as converters leave out zero runs.
void makeProfile(SimSpectrum& spectrum, double resolution) {
  constexpr double kSigmaPerFwhm = 1 / 2.3548200450309493;
  constexpr long kReach = 12;                // grid points each side of a centroid: 3 FWHM
  const double step = 1 / (4 * resolution);  // relative spacing
  double weakest = 0;
  std::map<long, double> grid;
  for (const SimPeak& peak : spectrum.peaks) {
    if (!(peak.mz > 0) || !(peak.intensity > 0)) continue;
    weakest = weakest > 0 ? std::min(weakest, peak.intensity) : peak.intensity;
    const double sigma = peak.mz / resolution * kSigmaPerFwhm;
    const long centre = std::lround(std::log(peak.mz) / step);
    for (long i = centre - kReach; i <= centre + kReach; ++i) {
      const double z = (std::exp(static_cast<double>(i) * step) - peak.mz) / sigma;
      grid[i] += peak.intensity * std::exp(-0.5 * z * z);
    }
  }
  std::vector<SimPeak> points;
  for (const auto& [i, y] : grid) {
    if (y < weakest * 1e-3) continue;
    SimPeak point;
    point.mz = std::exp(static_cast<double>(i) * step);
    point.intensity = y;
    points.push_back(point);
  }
  spectrum.peaks = std::move(points);
  spectrum.profile = true;
}

// Every spectrum in file order, numbered from 1: an MS1 spectrum followed by
// its MS2 spectra (or one SRM spectrum per cycle).
template <typename Visit>
void forEachSpectrum(RunModel& model, const SimConfig& config, Visit visit) {
  long num = 1;
  for (long cycle = 0; cycle < model.cycles(); ++cycle) {
    if (config.mode == SimConfig::Mode::Srm) {
      SimSpectrum spectrum = model.srmScan(cycle);
      spectrum.num = num++;
      if (config.numpress) roundAsNumpress(spectrum.peaks);
      visit(spectrum, std::vector<SimSpectrum>{}, cycle);
      continue;
    }
    SimSpectrum full = model.fullScan(cycle);
    full.num = num++;
    if (config.numpress) roundAsNumpress(full.peaks);
    model.noteStoredSpectrum(full);
    std::vector<SimSpectrum> tandems = model.tandemScans(full);
    // The truth and the MS2 scans come from the centroids, as with centroid output.
    if (config.profileResolution > 0) {
      makeProfile(full, config.profileResolution);
      for (SimSpectrum& tandem : tandems) makeProfile(tandem, config.profileResolution);
    }
    for (SimSpectrum& tandem : tandems) {
      tandem.num = num++;
      if (config.numpress) roundAsNumpress(tandem.peaks);
    }
    visit(full, tandems, cycle);
  }
}

bool writeMzxml(RunModel& model, const SimConfig& config, long scanCount) {
  MzxmlWriter writer(config.precision, config.zlib);
  if (!writer.open(config.output)) return false;
  writer.writeHead(scanCount, model.timeOf(0), model.timeOf(model.cycles() - 1),
                   config.mode == SimConfig::Mode::Srm ? "TSQ" : "FTMS");
  forEachSpectrum(model, config,
                  [&](const SimSpectrum& spectrum, const std::vector<SimSpectrum>& tandems, long) {
                    writer.openScan(spectrum, 0);
                    for (const SimSpectrum& tandem : tandems) {
                      writer.openScan(tandem, 1);
                      writer.closeScan(1);
                    }
                    writer.closeScan(0);
                  });
  return writer.finish();
}

bool writeMzml(RunModel& model, const SimConfig& config, long scanCount) {
  MzmlArrays arrays;
  arrays.precision = config.precision;
  arrays.zlib = config.zlib;
  arrays.numpress = config.numpress;
  MzmlWriter writer(arrays);
  if (!writer.open(config.output)) return false;
  const bool srm = config.mode == SimConfig::Mode::Srm;
  writer.writeHead(srm ? "TSQ" : "FTMS");
  if (srm && config.srmChromatograms) {
    const std::size_t transitions = model.transitions().size();
    std::vector<std::vector<SimSpectrum>> byTransition(transitions);
    forEachSpectrum(model, config,
                    [&](const SimSpectrum& spectrum, const std::vector<SimSpectrum>&, long cycle) {
                      if (transitions > 0)
                        byTransition[static_cast<std::size_t>(cycle) % transitions].push_back(spectrum);
                    });
    writer.writeSrmChromatograms(model.transitions(), byTransition);
  } else {
    writer.beginSpectra(scanCount);
    forEachSpectrum(model, config,
                    [&](const SimSpectrum& spectrum, const std::vector<SimSpectrum>& tandems, long) {
                      writer.writeSpectrum(spectrum);
                      for (const SimSpectrum& tandem : tandems) writer.writeSpectrum(tandem);
                    });
    writer.endSpectra();
  }
  return writer.finish();
}

}  // namespace

int main(int argc, char** argv) {
  SimConfig config;
  const int parsed = parseOptions(argc, argv, config);
  if (parsed != 0) return parsed;

  RunModel model(config);
  const long scanCount = model.cycles() * (1 + model.ms2PerCycle());
  AtomicFile probe;
  if (!probe.open(config.output)) {
    std::fprintf(stderr, "simulate_run: cannot create %s; check that its folder exists and is writable\n",
                 config.output.c_str());
    return 2;
  }
  probe.discard();
  const bool written =
      config.mzml ? writeMzml(model, config, scanCount) : writeMzxml(model, config, scanCount);
  if (!written || (config.gzip && !gzipInPlace(config.output))) {
    std::fprintf(stderr, "simulate_run: could not write all of %s (disk full?)\n", config.output.c_str());
    return 2;
  }
  const std::string truthPath = config.output + ".truth.tsv";
  if (!model.writeTruth(truthPath)) {
    std::fprintf(stderr, "simulate_run: could not write %s\n", truthPath.c_str());
    return 2;
  }
  return 0;
}
