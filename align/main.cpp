// torva-align: one feature table for a cohort of samples from their summary
// reports, with retention-time correction and gap filling.
#include <getopt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "align/aligner.h"

namespace {

const char kUsage[] =
    "Usage: torva-align --sheet SHEET --summaries DIR --out DIR [options]\n"
    "Groups the features of the samples of SHEET (tab-separated, header: sample, file, optional group)\n"
    "into one table, from each sample's report DIR/<sample>.tsv: a summary report (torva -s) or\n"
    "a feature table (torva --detect resolver --features), told apart by their head lines.\n"
    "\n"
    "  --sheet FILE            sample sheet (required)\n"
    "  --summaries DIR         folder of the samples' reports, <sample>.tsv (required)\n"
    "  --out DIR               cohort folder to write (required): samples.tsv, features.tsv,\n"
    "                          feature_rt.tsv, gap_filled.tsv, rt_correction.tsv, and without\n"
    "                          --filled the gap-filling targets targets/<sample>.tsv\n"
    "                          (torva --targets: m/z, then the time window in minutes)\n"
    "  --filled DIR            folder of the gap-filling reports, <sample>.tsv (torva --targets with\n"
    "                          -s, or with --features; an empty file: no gaps to fill): fills the\n"
    "                          table's gaps from them\n"
    "  --ppm X                 m/z tolerance, parts per million (default 10)\n"
    "  --mz-tol X              m/z tolerance, daltons; the larger of the two counts (default 0)\n"
    "  --rt-tol MIN            largest time gap within a feature after correction, minutes (default 0.1)\n"
    "  --max-drift MIN         largest drift of a sample before correction, minutes, from the\n"
    "                          sample of median drift: the drift search looks this far either\n"
    "                          way (default 1.5)\n"
    "  --anchor-fraction F     share of samples an anchor feature must be seen in (default 0.8)\n"
    "  --min-fraction F        share of the samples of at least one sheet group a feature must be\n"
    "                          seen in to be kept (default 0.5)\n"
    "  --grid MIN              spacing of each sample's correction table, minutes (default 0.1)\n"
    "  --fill-window MIN       half-width of the gap-filling time window, minutes (default 0.1)\n"
    "  --all-channels          use every channel's features, not only the full-scan channel's\n"
    "  -h, --help              this text\n"
    "\n"
    "A sample gives at most one feature per group: the largest area (then the earlier time); the\n"
    "others are left out and counted on standard error. Retention times are corrected per sample\n"
    "in two steps: the drift against the sample of median drift, where the time offsets of\n"
    "features of the same mass agree (up to --max-drift); then against the median times of the\n"
    "anchor features (seen once in most samples) by a monotone fit of the time differences.\n"
    "Features that end up in no kept row are counted on standard error. Of a feature table, the\n"
    "found rows that stand for their compound are read (of MS level 1 without --all-channels),\n"
    "and features.tsv gains mean_height, median_fwhm and median_sn between n_samples and the\n"
    "sample columns. n_samples counts the samples a feature was detected in before gap filling.\n"
    "Exit status: 0 on success, 1 after this text, 2 on a bad value or a file that cannot be\n"
    "read or written.\n";

bool readNumber(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out) && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kSheet = 1000,
    kSummaries,
    kOut,
    kFilled,
    kPpm,
    kMzTol,
    kRtTol,
    kMaxDrift,
    kAnchor,
    kMinFraction,
    kGrid,
    kFillWindow,
    kAllChannels
  };
  static const option longOptions[] = {{"sheet", required_argument, nullptr, kSheet},
                                       {"summaries", required_argument, nullptr, kSummaries},
                                       {"out", required_argument, nullptr, kOut},
                                       {"filled", required_argument, nullptr, kFilled},
                                       {"ppm", required_argument, nullptr, kPpm},
                                       {"mz-tol", required_argument, nullptr, kMzTol},
                                       {"rt-tol", required_argument, nullptr, kRtTol},
                                       {"max-drift", required_argument, nullptr, kMaxDrift},
                                       {"anchor-fraction", required_argument, nullptr, kAnchor},
                                       {"min-fraction", required_argument, nullptr, kMinFraction},
                                       {"grid", required_argument, nullptr, kGrid},
                                       {"fill-window", required_argument, nullptr, kFillWindow},
                                       {"all-channels", no_argument, nullptr, kAllChannels},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  AlignOptions options;
  int letter;
  while ((letter = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1) {
    bool ok = true;
    switch (letter) {
      case kSheet:
        options.sheet = optarg;
        break;
      case kSummaries:
        options.summaries = optarg;
        break;
      case kOut:
        options.out = optarg;
        break;
      case kFilled:
        options.filled = optarg;
        break;
      case kPpm:
        ok = readNumber(optarg, options.mass.ppm);
        break;
      case kMzTol:
        ok = readNumber(optarg, options.mass.da);
        break;
      case kRtTol:
        ok = readNumber(optarg, options.rtTolerance);
        break;
      case kMaxDrift:
        ok = readNumber(optarg, options.maxDrift);
        break;
      case kAnchor:
        ok = readNumber(optarg, options.anchorFraction) && options.anchorFraction <= 1;
        break;
      case kMinFraction:
        ok = readNumber(optarg, options.minFraction) && options.minFraction <= 1;
        break;
      case kGrid:
        ok = readNumber(optarg, options.gridStep) && options.gridStep >= 0.001;
        break;
      case kFillWindow:
        ok = readNumber(optarg, options.fillWindow);
        break;
      case kAllChannels:
        options.allChannels = true;
        break;
      default:
        std::fputs(kUsage, letter == 'h' ? stdout : stderr);
        return 1;
    }
    if (!ok) {
      // The option by its table name: argv holds the value when it was given apart from the option.
      const char* name = "";
      for (const option* o = longOptions; o->name != nullptr; ++o)
        if (o->val == letter) name = o->name;
      std::fprintf(stderr, "torva-align: bad value '%s' for --%s; see torva-align --help\n", optarg, name);
      return 2;
    }
  }
  if (options.sheet.empty() || options.summaries.empty() || options.out.empty() || optind < argc) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  return alignCohort(options);
}
