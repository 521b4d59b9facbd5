#include "driver/options.h"

#include <getopt.h>

#include <cstdlib>

ParseOutcome parseOptions(int argc, char** argv, Options& options) {
  if (argc <= 1) return ParseOutcome::Usage;
  options = Options();
  optind = 0;  // full re-initialisation of getopt, so parsing can run more than once
  enum { kTargets = 1000 };
  static const option longOptions[] = {{"targets", required_argument, nullptr, kTargets},
                                       {nullptr, 0, nullptr, 0}};
  int letter;
  while ((letter = getopt_long(argc, argv, "hdclSni:o:p:P:C:m:s:M:T:", longOptions, nullptr)) != -1) {
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
      case 'C':
        options.cutoff = static_cast<std::int32_t>(std::strtol(optarg, nullptr, 10));
        break;
      case 'M':
        options.massTolerance = std::strtod(optarg, nullptr);
        break;
      case 'T':
        options.timeTolerance = std::strtod(optarg, nullptr);
        break;
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
      default:  // -h, an unknown letter, or a missing argument
        return ParseOutcome::Usage;
    }
  }
  return ParseOutcome::Run;
}
