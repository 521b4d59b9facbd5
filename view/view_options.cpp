#include "view/view_options.h"

#include <cstring>

namespace {

// Long options that take a value, and where each value goes.
struct ValueOption {
  const char* name;
  std::string ViewOptions::*field;
};

const ValueOption kValueOptions[] = {
    {"--summary", &ViewOptions::summary},
    {"--transitions", &ViewOptions::transitions},
    {"--map", &ViewOptions::map},
    {"--cohort", &ViewOptions::cohort},
    {"--quant", &ViewOptions::quant},
    {"--features", &ViewOptions::features},
    {"--spectra", &ViewOptions::spectra},
    {"--out", &ViewOptions::out},
    {"--run-input", &ViewOptions::runInput},
    {"--run-options", &ViewOptions::runOptions},
    {"--title", &ViewOptions::title},
};

}  // namespace

const char* viewUsageText() {
  return "Usage: torva-view --summary S [--transitions T] [--map M] --out report.html\n"
         "                  [--run-input NAME] [--run-options TEXT] [--title TEXT]\n"
         "       torva-view --cohort DIR --out cohort.html [--title TEXT]\n"
         "       torva-view --quant DIR --out quant.html [--title TEXT]\n"
         "       torva-view --features F [--spectra S] --out run.html\n"
         "                  [--run-input NAME] [--run-options TEXT] [--title TEXT]\n"
         "Writes one self-contained HTML page (it opens offline) from the reports of a run\n"
         "written by torva (-s, -o, -m), from a resolver run's feature table (--features,\n"
         "with --feature-spectra for spectra), or from a cohort output folder.\n";
}

bool parseViewOptions(int argc, char** argv, ViewOptions& options, std::string& error) {
  error.clear();
  if (argc < 2) return false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) return false;
    const ValueOption* match = nullptr;
    std::string value;
    bool inlineValue = false;
    for (const ValueOption& option : kValueOptions) {
      const std::size_t length = std::strlen(option.name);
      if (std::strcmp(arg, option.name) == 0) {
        match = &option;
      } else if (std::strncmp(arg, option.name, length) == 0 && arg[length] == '=') {
        match = &option;
        value = arg + length + 1;
        inlineValue = true;
      }
      if (match) break;
    }
    if (!match) {
      error = std::string("unknown option '") + arg + "'";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        error = std::string("option '") + arg + "' needs a value";
        return false;
      }
      value = argv[++i];
    }
    options.*(match->field) = value;
  }
  if (options.out.empty()) {
    error = "--out is required";
    return false;
  }
  const int pages = (options.summary.empty() ? 0 : 1) + (options.cohort.empty() ? 0 : 1) +
                    (options.quant.empty() ? 0 : 1) + (options.features.empty() ? 0 : 1);
  if (pages != 1 && !options.features.empty()) {
    error = "give one of --summary (a run), --features (a resolver run), --cohort or --quant";
    return false;
  }
  if (!options.spectra.empty() && options.features.empty()) {
    error = "--spectra belongs to a --features page";
    return false;
  }
  if (pages != 1) {
    error = options.quant.empty() ? "give either --summary (a run) or --cohort (a cohort folder)"
                                  : "give one of --summary (a run), --cohort (a cohort folder) or --quant";
    return false;
  }
  if ((!options.cohort.empty() || !options.quant.empty() || !options.features.empty()) &&
      (!options.transitions.empty() || !options.map.empty())) {
    error = "--transitions and --map belong to a run page, not to --cohort";
    return false;
  }
  return true;
}
