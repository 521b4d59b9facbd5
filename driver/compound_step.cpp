#include "driver/compound_step.h"

#include <exception>
#include <string>

#include "compounds/feature_evidence.h"
#include "compounds/run_compounds.h"
#include "util/console.h"

namespace {

std::string baseName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::size_t slash = trimmed.find_last_of('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// The feature spectra table of --feature-spectra; what its bounds left out is told on standard error.
bool writeEvidence(const Options& options, const std::vector<scan>& scans,
                   const std::vector<FeatureRow>& rows, const std::vector<std::vector<std::size_t>>& linked,
                   double tracePpm) {
  const EvidenceLimits limits;
  EvidenceLeftOut leftOut;
  const std::vector<FeatureSpectrum> records =
      collectFeatureEvidence(scans, rows, linked, baseName(options.input), tracePpm, limits, leftOut);
  if (leftOut.ms2Spectra > 0)
    console::err("torva: --feature-spectra keeps the " + std::to_string(limits.ms2PerFeature) +
                 " most intense MS2 spectra of a feature; " + std::to_string(leftOut.ms2Spectra) +
                 " more were left out\n");
  if (leftOut.peaks > 0)
    console::err("torva: --feature-spectra keeps the " + std::to_string(limits.ms1Peaks) +
                 " most intense peaks of an MS1 window and the " + std::to_string(limits.ms2Peaks) +
                 " of an MS2 spectrum; " + std::to_string(leftOut.peaks) + " weaker peaks were left out\n");
  if (leftOut.records > 0)
    console::err("torva: --feature-spectra holds at most " + std::to_string(limits.maxPoints) + " points; " +
                 std::to_string(leftOut.records) + " spectra and traces past them were left out\n");
  std::string error;
  if (!writeFeatureSpectra(options.featureSpectra, records, error)) {
    console::err("torva: " + error + "\n");
    return false;
  }
  return true;
}

}  // namespace

bool runCompoundStep(const Options& options, const std::vector<scan>& scans, std::vector<FeatureRow>& rows,
                     ExportSet& set) {
  RunCompoundOptions settings;
  if (!options.adducts.empty()) {
    try {
      settings.adducts = readAdductFile(options.adducts);  // checked before the run; read again here
    } catch (const std::exception& error) {
      console::err(std::string("torva: --adducts ") + error.what() + "\n");
      return false;
    }
  }
  if (options.massPpm > 0) {
    settings.grouping.ppm = settings.linkage.ppm = settings.tracePpm = options.massPpm;
  }
  std::vector<std::vector<std::size_t>> linked;
  set = groupRunCompounds(scans, rows, settings, baseName(options.input), options.input,
                          options.hasFeatureSpectra ? &linked : nullptr);
  return !options.hasFeatureSpectra || writeEvidence(options, scans, rows, linked, settings.tracePpm);
}
