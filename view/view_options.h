#ifndef TORVA_VIEW_VIEW_OPTIONS_H
#define TORVA_VIEW_VIEW_OPTIONS_H

#include <string>

// Exit statuses of torva-view.
enum class ViewStatus {
  Ok = 0,
  Usage = 1,   // no arguments, --help, or an option error: usage text on standard error
  Failed = 2,  // a required input could not be read, or the page could not be written
};

// Every command-line parameter of torva-view.
struct ViewOptions {
  std::string summary;      // --summary: summary report of one run (required for a run page)
  std::string transitions;  // --transitions: transition report of the same run (optional)
  std::string map;          // --map: binned map of the same run (optional)
  std::string cohort;       // --cohort: cohort output folder (instead of the three reports)
  std::string quant;        // --quant: targeted cohort folder of torva-quant (instead of the above)
  std::string
      features;  // --features: feature table of a resolver run (torva --features; instead of the above)
  std::string spectra;     // --spectra: its feature spectra table (torva --feature-spectra; optional)
  std::string out;         // --out: HTML file to write
  std::string runInput;    // --run-input: name of the run's input, shown on the page
  std::string runOptions;  // --run-options: torva options of the run, shown on the page
  std::string title;       // --title: page title (default: derived from the inputs)
};

// Parses argv. Returns false (with a reason in `error`, empty for --help) when the
// usage text should be printed instead of writing a page.
bool parseViewOptions(int argc, char** argv, ViewOptions& options, std::string& error);

const char* viewUsageText();

#endif
