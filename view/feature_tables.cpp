#include "view/feature_tables.h"

#include <sys/stat.h>

#include <exception>
#include <unordered_map>

#include "view/run_tables.h"

namespace {

std::unordered_map<std::string, std::size_t> indexOf(const std::vector<std::string>& names) {
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t k = 0; k < names.size(); ++k) index.emplace(names[k], k);
  return index;
}

}  // namespace

bool readFeaturePage(const std::string& featuresPath, const std::string& spectraPath,
                     FeaturePageTables& tables, std::string& error) {
  try {
    tables.features = readFeatureTable(featuresPath);
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
  if (static_cast<long long>(tables.features.size()) > kMaxPageFeatures) {
    tables.featuresLeftOut = static_cast<long long>(tables.features.size()) - kMaxPageFeatures;
    tables.features.resize(static_cast<std::size_t>(kMaxPageFeatures));
  }
  if (spectraPath.empty()) return true;
  std::vector<std::string> ids;
  for (const FeatureRow& row : tables.features) ids.push_back(row.featureId);
  const std::unordered_map<std::string, std::size_t> byId = indexOf(ids);
  long long points = 0;
  try {
    readFeatureSpectra(spectraPath, [&](FeatureSpectrum&& record) {
      const auto found = byId.find(record.featureId);
      if (found == byId.end()) {
        ++tables.spectraUnmatched;
        return;
      }
      const auto size = static_cast<long long>(record.points.size());
      if (points + size > kMaxPageSpectrumPoints) {
        ++tables.spectraLeftOut;
        return;
      }
      points += size;
      tables.spectrumFeature.push_back(found->second);
      tables.spectra.push_back(std::move(record));
    });
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
  tables.haveSpectra = true;
  return true;
}

bool readCohortTraces(const std::string& path, const std::vector<std::string>& featureIds,
                      const std::vector<std::string>& samples, CohortTraces& traces, std::string& error) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return true;  // no traces: the page is drawn without them
  const std::unordered_map<std::string, std::size_t> rowOf = indexOf(featureIds);
  const std::unordered_map<std::string, std::size_t> sampleOf = indexOf(samples);
  long long points = 0;
  try {
    readFeatureSpectra(path, [&](FeatureSpectrum&& record) {
      const auto row = rowOf.find(record.featureId);
      const auto sample = sampleOf.find(record.sample);
      if (record.kind != SpectrumKind::Trace || row == rowOf.end() || sample == sampleOf.end()) {
        ++traces.unmatched;
        return;
      }
      const auto size = static_cast<long long>(record.points.size());
      if (points + size > kMaxPageSpectrumPoints) {
        ++traces.leftOut;
        return;
      }
      points += size;
      traces.row.push_back(row->second);
      traces.sample.push_back(sample->second);
      traces.traces.push_back(std::move(record));
    });
  } catch (const std::exception& failure) {
    error = failure.what();
    return false;
  }
  traces.present = true;
  return true;
}
