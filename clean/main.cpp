// torva-clean: readies a cohort's feature table for statistics (blank and QC filters, drift
// correction along the injection order, normalisation, imputation) and exports it.
#include <iostream>
#include <new>
#include <string>

#include "clean/clean_options.h"
#include "clean/cleaner.h"

int main(int argc, char** argv) {
  CleanOptions options;
  std::string error;
  const CleanStatus parsed = parseCleanOptions(argc, argv, options, error);
  if (parsed != CleanStatus::Ok) {
    if (!error.empty()) std::cerr << "torva-clean: " << error << "\n";
    if (parsed == CleanStatus::Usage) (error.empty() ? std::cout : std::cerr) << cleanUsageText();
    return static_cast<int>(parsed);
  }
  try {
    return static_cast<int>(cleanCohort(options));
  } catch (const std::bad_alloc&) {
    std::cerr << "torva-clean: out of memory\n";
    return static_cast<int>(CleanStatus::Failed);
  }
}
