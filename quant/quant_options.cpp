#include "quant/quant_options.h"

#include <getopt.h>

#include <cmath>
#include <cstdlib>

const char* const kQuantUsage =
    "usage: torva-quant --targets LIST --samples SHEET --runs DIR --out DIR [options]\n"
    "  --targets PATH         target list (as for torva --quant)\n"
    "  --samples PATH         sample sheet: sample, file, type (standard, qc, blank, sample) and\n"
    "                         a column per compound with the known concentrations\n"
    "  --runs DIR             the runs' tables: DIR/SAMPLE.quant.tsv (torva --quant-out) and,\n"
    "                         when present, DIR/SAMPLE.traces.tsv (torva --quant-traces)\n"
    "  --out DIR              folder for quant_long.tsv, concentrations.tsv, calibration.tsv\n"
    "                         (and traces.tsv)\n"
    "  --concentrations PATH  known concentrations: sample, compound, concentration\n"
    "  --model linear|quadratic            calibration model (default linear)\n"
    "  --weighting none|1/x|1/x^2          weights of the fit (default 1/x)\n"
    "  --accuracy PERCENT     a standard is dropped beyond this deviation (default 15)\n"
    "  --lowest-accuracy PERCENT           ... at the lowest level (default 20)\n"
    "  --ratio-tolerance PERCENT           qualifier ion ratios within this of the standards'\n"
    "                         mean (relative, default 20)\n";

namespace {

bool readPercent(const char* text, double& value) {
  char* end = nullptr;
  const double read = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(read) || !(read > 0) || read >= 1000) return false;
  value = read / 100.0;
  return true;
}

}  // namespace

int parseQuantOptions(int argc, char** argv, QuantOptions& options, std::string& error) {
  enum {
    kTargets = 256,
    kSamples,
    kRuns,
    kOut,
    kConcentrations,
    kModel,
    kWeighting,
    kAccuracy,
    kLowest,
    kRatio
  };
  const option longOptions[] = {{"targets", required_argument, nullptr, kTargets},
                                {"samples", required_argument, nullptr, kSamples},
                                {"runs", required_argument, nullptr, kRuns},
                                {"out", required_argument, nullptr, kOut},
                                {"concentrations", required_argument, nullptr, kConcentrations},
                                {"model", required_argument, nullptr, kModel},
                                {"weighting", required_argument, nullptr, kWeighting},
                                {"accuracy", required_argument, nullptr, kAccuracy},
                                {"lowest-accuracy", required_argument, nullptr, kLowest},
                                {"ratio-tolerance", required_argument, nullptr, kRatio},
                                {nullptr, 0, nullptr, 0}};
  optind = 0;
  int letter;
  while ((letter = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1) {
    const std::string value = optarg != nullptr ? optarg : "";
    switch (letter) {
      case kTargets:
        options.targets = value;
        break;
      case kSamples:
        options.samples = value;
        break;
      case kRuns:
        options.runs = value;
        break;
      case kOut:
        options.out = value;
        break;
      case kConcentrations:
        options.concentrations = value;
        break;
      case kModel:
        if (!readModel(value, options.settings.model))
          error = "--model " + value + ": needs linear or quadratic";
        break;
      case kWeighting:
        if (!readWeighting(value, options.settings.weighting))
          error = "--weighting " + value + ": needs none, 1/x or 1/x^2";
        break;
      case kAccuracy:
        if (!readPercent(optarg, options.settings.limits.others))
          error = "--accuracy " + value + ": needs a percentage above 0";
        break;
      case kLowest:
        if (!readPercent(optarg, options.settings.limits.lowest))
          error = "--lowest-accuracy " + value + ": needs a percentage above 0";
        break;
      case kRatio:
        if (!readPercent(optarg, options.settings.ratioTolerance))
          error = "--ratio-tolerance " + value + ": needs a percentage above 0";
        break;
      default:
        return 1;
    }
  }
  if (optind != argc) return 1;
  if (!error.empty()) return 2;
  if (options.targets.empty() || options.samples.empty() || options.runs.empty() || options.out.empty())
    return 1;
  return 0;
}
