#include "view/cohort_tables.h"

namespace {

// True when `table` has the leading columns `leading` followed by one column per sample.
bool perSampleColumns(const TextTable& table, const std::vector<std::string>& leading,
                      const std::vector<std::string>& samples) {
  if (table.header.size() != leading.size() + samples.size()) return false;
  for (std::size_t i = 0; i < leading.size(); ++i)
    if (table.header[i] != leading[i]) return false;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (table.header[leading.size() + i] != samples[i]) return false;
  return true;
}

// True when `table` starts with the columns `leading` and ends with one column
// per sample; per-feature columns may stand between them.
bool leadingAndSampleColumns(const TextTable& table, const std::vector<std::string>& leading,
                             const std::vector<std::string>& samples) {
  if (table.header.size() < leading.size() + samples.size()) return false;
  for (std::size_t i = 0; i < leading.size(); ++i)
    if (table.header[i] != leading[i]) return false;
  const std::size_t first = table.header.size() - samples.size();
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (table.header[first + i] != samples[i]) return false;
  return true;
}

}  // namespace

bool readCohort(const std::string& folder, CohortTables& cohort, std::string& error) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  if (!readTextTable(base + "samples.tsv", cohort.samples, error) ||
      !readTextTable(base + "features.tsv", cohort.features, error) ||
      !readTextTable(base + "feature_rt.tsv", cohort.featureRt, error) ||
      !readTextTable(base + "gap_filled.tsv", cohort.gapFilled, error) ||
      !readTextTable(base + "rt_correction.tsv", cohort.rtCorrection, error))
    return false;
  if (!cohort.samples.present || !cohort.features.present) {
    error = "'" + folder + "' is not a cohort folder: samples.tsv and features.tsv are required";
    return false;
  }
  if (cohort.samples.header != cohortSampleColumns()) {
    error = "'" + base + "samples.tsv' needs the columns sample, file and group";
    return false;
  }
  std::vector<std::string> samples;
  for (const auto& row : cohort.samples.rows) samples.push_back(row[0]);
  if (!leadingAndSampleColumns(cohort.features, featureTableColumns(), samples)) {
    error = "'" + base +
            "features.tsv' needs the columns feature_id, mz, rt, n_samples first and one per sample last, " +
            "in the order of samples.tsv";
    return false;
  }
  // The optional tables are left out of the page when their layout is not the expected one.
  const auto checkOptional = [&](TextTable& table, const std::vector<std::string>& leading,
                                 const char* name) {
    if (table.present && !perSampleColumns(table, leading, samples)) {
      cohort.warnings.push_back(std::string(name) +
                                " does not have one column per sample of samples.tsv; left out");
      table = TextTable();
    }
  };
  checkOptional(cohort.featureRt, featureRtColumns(), "feature_rt.tsv");
  checkOptional(cohort.gapFilled, gapFilledColumns(), "gap_filled.tsv");
  const auto& correction = cohort.rtCorrection;
  if (correction.present && correction.header != rtCorrectionColumns()) {
    cohort.warnings.push_back("rt_correction.tsv needs the columns sample, rt and rt_corrected; left out");
    cohort.rtCorrection = TextTable();
  }
  return true;
}
