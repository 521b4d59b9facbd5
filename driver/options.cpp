#include "driver/options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/decimal_text.h"

namespace {

enum LongOnly : int {
  kHelp = 256,
  kVersion,
  kThreads,
  kPpm,
  kMsLevel,
  kMapRange,
  kQuiet,
  kTargets,
  kSeeds,
  kQuant,
  kQuantOut,
  kQuantTraces,
  kDetect,
  kFeatures,
  kMinSn,
  kMinPoints,
  kCompounds,
  kAdducts,
  kExport,
  kFeatureSpectra,
  kEmptySummary,
  kFillGaps,
};

const option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"threads", required_argument, nullptr, kThreads},
    {"ppm", required_argument, nullptr, kPpm},
    {"ms-level", required_argument, nullptr, kMsLevel},
    {"map-range", required_argument, nullptr, kMapRange},
    {"quiet", no_argument, nullptr, kQuiet},
    {"targets", required_argument, nullptr, kTargets},
    {"seeds", required_argument, nullptr, kSeeds},
    {"quant", required_argument, nullptr, kQuant},
    {"quant-out", required_argument, nullptr, kQuantOut},
    {"quant-traces", required_argument, nullptr, kQuantTraces},
    {"detect", required_argument, nullptr, kDetect},
    {"features", required_argument, nullptr, kFeatures},
    {"min-sn", required_argument, nullptr, kMinSn},
    {"min-points", required_argument, nullptr, kMinPoints},
    {"compounds", no_argument, nullptr, kCompounds},
    {"adducts", required_argument, nullptr, kAdducts},
    {"export", required_argument, nullptr, kExport},
    {"feature-spectra", required_argument, nullptr, kFeatureSpectra},
    {"empty-summary", required_argument, nullptr, kEmptySummary},
    {"fill-gaps", no_argument, nullptr, kFillGaps},
    {nullptr, 0, nullptr, 0},
};

// Notes a short option's value that the conversion did not read to its end
// (`end` names where it stopped).
void notePartlyRead(Options& options, char letter, const char* text, const char* end,
                    const std::string& value) {
  if (*text != '\0' && *end == '\0') return;
  options.partlyReadValues.push_back(std::string("-") + letter + " " + text + ": read as " + value);
}

// A whole-text number, or false.
bool readWhole(const char* text, double& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool readWhole(const char* text, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

void refuse(Options& options, const std::string& why) {
  if (options.refusal.empty()) options.refusal = why;
}

void readThreads(Options& options, const char* text) {
  long long count = 0;
  if (!readWhole(text, count) || count < 1 || count > 256) {
    refuse(options, std::string("--threads ") + text + ": needs a whole number of threads from 1 to 256");
    return;
  }
  options.threads = static_cast<unsigned>(count);
}

void readPpm(Options& options, const char* text) {
  double ppm = 0;
  if (!readWhole(text, ppm) || !(ppm > 0) || ppm > 1e6) {
    refuse(options, std::string("--ppm ") + text + ": needs a number of ppm above 0");
    return;
  }
  options.massPpm = ppm;
}

void readMsLevel(Options& options, const char* text) {
  long long level = 0;
  if (!readWhole(text, level) || level < 1) {
    refuse(options, std::string("--ms-level ") + text + ": needs an MS level of 1 or more");
    return;
  }
  options.msLevel = level;
}

// LOW:HIGH:WIDTH, LOW below HIGH, WIDTH positive, at most a million bins.
void readMapRange(Options& options, const char* text) {
  const std::string value(text);
  const std::string::size_type first = value.find(':');
  const std::string::size_type second = first == std::string::npos ? first : value.find(':', first + 1);
  double low = 0, high = 0, width = 0;
  const bool read = second != std::string::npos && readWhole(value.substr(0, first).c_str(), low) &&
                    readWhole(value.substr(first + 1, second - first - 1).c_str(), high) &&
                    readWhole(value.substr(second + 1).c_str(), width);
  if (!read || !(low < high) || !(width > 0) || (high - low) / width > 1e6) {
    refuse(options, std::string("--map-range ") + text +
                        ": needs LOW:HIGH:WIDTH in m/z, LOW below HIGH, WIDTH above 0, at most 1000000 bins");
    return;
  }
  options.hasMapRange = true;
  options.mapLow = low;
  options.mapHigh = high;
  options.mapWidth = width;
}

// "peaks" (the default picking of intense peaks) or "traces".
void readSeeds(Options& options, const char* text) {
  const std::string value(text);
  if (value == "traces") {
    options.traceSeeds = true;
  } else if (value == "peaks") {
    options.traceSeeds = false;
  } else {
    refuse(options, "--seeds " + value + ": needs 'peaks' or 'traces'");
  }
}

// "peaks" (the wavelet detection of the seeded chromatograms) or "resolver".
void readDetect(Options& options, const char* text) {
  const std::string value(text);
  if (value == "resolver") {
    options.resolver = true;
  } else if (value == "peaks") {
    options.resolver = false;
  } else {
    refuse(options, "--detect " + value + ": needs 'peaks' or 'resolver'");
  }
}

void readMinSn(Options& options, const char* text) {
  double sn = 0;
  if (!readWhole(text, sn) || sn < 0) {
    refuse(options, std::string("--min-sn ") + text + ": needs a signal-to-noise ratio of 0 or more");
    return;
  }
  options.minSn = sn;
}

void readMinPoints(Options& options, const char* text) {
  long long points = 0;
  if (!readWhole(text, points) || points < 1 || points > 1000000) {
    refuse(options, std::string("--min-points ") + text + ": needs a whole number of points from 1");
    return;
  }
  options.minPoints = points;
}

}  // namespace

ParseOutcome parseOptions(int argc, char** argv, Options& options) {
  if (argc <= 1) return ParseOutcome::Usage;
  options = Options();
  optind = 0;  // full re-initialisation of getopt, so parsing can run more than once
  bool help = false;
  bool version = false;
  int letter;
  while ((letter = getopt_long(argc, argv, "hdclSni:o:p:P:C:m:s:M:T:", kLongOptions, nullptr)) != -1) {
    switch (letter) {
      case kTargets:
        options.hasTargetFile = true;
        options.targetFile = optarg;
        break;
      case 'i':
        options.hasInput = true;
        options.input = optarg;
        break;
      case 'o':
        options.hasTransitionReport = true;
        options.transitionReport = optarg;
        break;
      case 'm':
        options.hasMap = true;
        options.map = optarg;
        break;
      case 's':
        options.hasSummary = true;
        options.summary = optarg;
        break;
      case 'p':
        options.hasPeakList = true;
        options.peakList = optarg;
        break;
      case 'P':
        options.hasPeakFile = true;
        options.peakFile = optarg;
        break;
      case 'C': {
        options.hasCutoff = true;
        char* end = nullptr;
        const long cutoff = std::strtol(optarg, &end, 10);
        options.cutoff = static_cast<std::int32_t>(cutoff);
        // A number beyond 32 bits is read whole but kept as its low 32 bits.
        notePartlyRead(options, 'C', optarg, cutoff == options.cutoff ? end : optarg,
                       std::to_string(options.cutoff));
        break;
      }
      case 'M': {
        char* end = nullptr;
        options.massTolerance = std::strtod(optarg, &end);
        const bool ppm = std::string(optarg).find("ppm") != std::string::npos;
        notePartlyRead(
            options, 'M', optarg, end,
            exactDecimal(options.massTolerance) + " daltons" + (ppm ? " (for ppm use --ppm)" : ""));
        break;
      }
      case 'T': {
        char* end = nullptr;
        options.timeTolerance = std::strtod(optarg, &end);
        notePartlyRead(options, 'T', optarg, end, exactDecimal(options.timeTolerance) + " minutes");
        break;
      }
      case 'S':
        options.srm = true;
        break;
      case 'd':
        options.deisotope = true;
        break;
      case 'l':
        options.removeWaterLoss = true;
        break;
      case 'c':
        options.cull = true;
        break;
      case 'n':
        options.skipDenoise = true;
        break;
      case kHelp:
        help = true;
        break;
      case kVersion:
        version = true;
        break;
      case kThreads:
        readThreads(options, optarg);
        break;
      case kPpm:
        readPpm(options, optarg);
        break;
      case kMsLevel:
        readMsLevel(options, optarg);
        break;
      case kMapRange:
        readMapRange(options, optarg);
        break;
      case kQuiet:
        options.quiet = true;
        break;
      case kSeeds:
        readSeeds(options, optarg);
        break;
      case kQuant:
        options.hasQuantTargets = true;
        options.quantTargets = optarg;
        break;
      case kQuantOut:
        options.hasQuantOut = true;
        options.quantOut = optarg;
        break;
      case kQuantTraces:
        options.hasQuantTraces = true;
        options.quantTraces = optarg;
        break;
      case kDetect:
        readDetect(options, optarg);
        break;
      case kFeatures:
        options.hasFeatures = true;
        options.features = optarg;
        break;
      case kMinSn:
        readMinSn(options, optarg);
        break;
      case kMinPoints:
        readMinPoints(options, optarg);
        break;
      case kCompounds:
        options.compounds = true;
        break;
      case kAdducts:
        options.compounds = true;
        options.adducts = optarg;
        break;
      case kExport:
        options.compounds = true;
        options.exportDir = optarg;
        break;
      case kFeatureSpectra:
        options.compounds = true;
        options.hasFeatureSpectra = true;
        options.featureSpectra = optarg;
        break;
      case kEmptySummary:
        options.hasEmptySummary = true;
        options.emptySummary = optarg;
        break;
      case kFillGaps:
        options.fillGaps = true;
        break;
      default:  // -h, an unknown option, or a missing argument
        return ParseOutcome::Usage;
    }
  }
  for (int word = optind; word < argc; ++word) options.extraArguments.push_back(argv[word]);
  if (help) return ParseOutcome::Help;
  if (version) return ParseOutcome::Version;
  if (options.refusal.empty() && options.hasQuantTargets != options.hasQuantOut) {
    refuse(options, options.hasQuantTargets ? "--quant needs --quant-out FILE for its table"
                                            : "--quant-out needs --quant FILE, the target list");
  }
  if (options.refusal.empty() && options.hasQuantTraces && !options.hasQuantTargets) {
    refuse(options, "--quant-traces needs --quant FILE, the target list");
  }
  if (!options.refusal.empty()) return ParseOutcome::Refused;
  if (options.hasEmptySummary) return ParseOutcome::EmptySummary;
  return ParseOutcome::Run;
}
