#ifndef TORVA_DRIVER_OPTIONS_H
#define TORVA_DRIVER_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

// Every command-line parameter with its default.
struct Options {
  bool hasInput = false;
  std::string input;  // -i: spectrum file or folder
  bool hasTransitionReport = false;
  std::string transitionReport;  // -o: every channel's chromatograms
  bool hasMap = false;
  std::string map;  // -m: binned m/z map
  bool hasSummary = false;
  std::string summary;  // -s: feature summary
  bool hasPeakList = false;
  std::string peakList;  // -p: target m/z values, comma separated
  bool hasPeakFile = false;
  std::string peakFile;  // -P: file of target m/z values
  bool hasTargetFile = false;
  std::string targetFile;        // --targets: targets with retention-time windows
  bool hasCutoff = false;        // -C given
  std::int32_t cutoff = 10000;   // -C: intensity cutoff
  double massTolerance = 0.5;    // -M: m/z half-window, daltons
  double timeTolerance = 0.5;    // -T: retention-time tolerance, minutes
  bool srm = false;              // -S: SRM mode
  bool deisotope = false;        // -d
  bool removeWaterLoss = false;  // -l
  bool cull = false;             // -c
  bool skipDenoise = false;      // -n: no wavelet denoising

  // Long options.
  unsigned threads = 0;      // --threads: worker threads; 0 for every core (up to 16)
  double massPpm = 0;        // --ppm: m/z half-window in ppm of each m/z, instead of -M
  long long msLevel = 0;     // --ms-level: keep only spectra of this MS level; 0 keeps all
  bool hasMapRange = false;  // --map-range LOW:HIGH:WIDTH of the binned map
  double mapLow = 400;
  double mapHigh = 900;
  double mapWidth = 1;
  bool quiet = false;       // --quiet: no progress display
  bool traceSeeds = false;  // --seeds traces: untargeted chromatograms seeded from mass traces
  bool hasQuantTargets = false;
  std::string quantTargets;  // --quant: target list of the targeted quantitation
  bool hasQuantOut = false;
  std::string quantOut;  // --quant-out: one row per target transition
  bool hasQuantTraces = false;
  std::string quantTraces;  // --quant-traces: each target's trace around its window, for the pages
  bool resolver = false;    // --detect resolver: features resolved per mass trace (features/)
  bool hasFeatures = false;
  std::string features;     // --features: the feature table of the resolver
  double minSn = 5;         // --min-sn: least signal-to-noise of a resolved feature
  long long minPoints = 5;  // --min-points: least centroids between a resolved feature's edges
  bool fillGaps = false;    // --fill-gaps: a --targets window without a feature is measured anyway
  bool compounds = false;   // --compounds: group the resolver's features into compounds, link MS2 spectra
  std::string adducts;      // --adducts FILE: the ion list of the grouping; empty: the bundled one
  std::string exportDir;    // --export DIR: GNPS, SIRIUS and mzTab-M exports of the grouped features
  bool hasFeatureSpectra = false;
  std::string featureSpectra;  // --feature-spectra FILE: each feature's apex MS1 spectrum, MS2 spectra, trace
  bool hasEmptySummary = false;
  std::string emptySummary;  // --empty-summary PATH: write a summary of no features there, read nothing

  // Words that are not options, in the order given; the run ignores them.
  std::vector<std::string> extraArguments;
  // Short options whose value was not read whole: "-C 1e5: read as 1".
  std::vector<std::string> partlyReadValues;
  // Why a long option's value was refused (empty when all were accepted).
  std::string refusal;
};

enum class ParseOutcome {
  Run,           // options parsed; run the tool
  Usage,         // no arguments, -h, or an option error: print the usage text
  Help,          // --help: print the full help
  Version,       // --version
  Refused,       // a long option with a value it cannot take (see Options::refusal)
  EmptySummary,  // --empty-summary: write the summary's head alone
};

// Parses argv with getopt_long (short options "hdclSni:o:p:P:C:m:s:M:T:" and
// the long options above, --targets FILE among them). The last occurrence of an option counts. Short
// options' numbers are read as before (strtol base 10, strtod: as much of the
// text as forms a number, 0 for none), and a value not read whole is noted;
// long options' values must be read whole and in range.
ParseOutcome parseOptions(int argc, char** argv, Options& options);

#endif
