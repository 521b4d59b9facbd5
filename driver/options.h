#ifndef TORVA_DRIVER_OPTIONS_H
#define TORVA_DRIVER_OPTIONS_H

#include <cstdint>
#include <string>

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
  std::string peakFile;          // -P: file of target m/z values
  bool hasTargetFile = false;
  std::string targetFile;        // --targets: targets with retention-time windows
  std::int32_t cutoff = 10000;   // -C: intensity cutoff
  double massTolerance = 0.5;    // -M: m/z half-window, daltons
  double timeTolerance = 0.5;    // -T: retention-time tolerance, minutes
  bool srm = false;              // -S: SRM mode
  bool deisotope = false;        // -d
  bool removeWaterLoss = false;  // -l
  bool cull = false;             // -c
  bool skipDenoise = false;      // -n: no wavelet denoising
};

enum class ParseOutcome {
  Run,           // options parsed; run the tool
  Usage,         // no arguments, -h, or an option error: print the usage text
};

// Parses argv with getopt_long ("hdclSni:o:p:P:C:m:s:M:T:" and --targets FILE). The last occurrence of an
// option counts; numbers are read without validation (strtol base 10, strtod).
ParseOutcome parseOptions(int argc, char** argv, Options& options);

#endif
