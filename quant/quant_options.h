#ifndef TORVA_QUANT_QUANT_OPTIONS_H
#define TORVA_QUANT_QUANT_OPTIONS_H

#include <string>

#include "quant/cohort_quant.h"

// Every option of torva-quant with its default.
struct QuantOptions {
  std::string targets;         // --targets: the target list
  std::string samples;         // --samples: the sample sheet
  std::string runs;            // --runs: folder of SAMPLE.quant.tsv (and SAMPLE.traces.tsv) per sample
  std::string out;             // --out: folder of the cohort tables
  std::string concentrations;  // --concentrations: sample, compound, concentration (optional)
  CohortQuantSettings settings;
};

// Parses the command line; returns 0 to run, 1 after the usage text is due
// (no or unknown arguments, -h), 2 with `error` set for a value it cannot take.
int parseQuantOptions(int argc, char** argv, QuantOptions& options, std::string& error);

extern const char* const kQuantUsage;

#endif
