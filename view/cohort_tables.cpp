#include "view/cohort_tables.h"

#include "report/clean_tables.h"

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
      !readTextTable(base + "features.tsv", cohort.features, error, kMaxCohortFeatures) ||
      !readTextTable(base + "feature_rt.tsv", cohort.featureRt, error, kMaxCohortFeatures) ||
      !readTextTable(base + "gap_filled.tsv", cohort.gapFilled, error, kMaxCohortFeatures) ||
      !readTextTable(base + "rt_correction.tsv", cohort.rtCorrection, error, kMaxCohortDriftRows))
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
  // torva-clean's tables: left out unless their columns are the ones it writes.
  const std::pair<const char*, const std::vector<std::string>*> cleanTables[] = {
      {"removed.tsv", &kRemovedColumns},
      {"qc_cv.tsv", &kQcCvColumns},
      {"drift_fit.tsv", &kDriftFitColumns},
      {"pca.tsv", &kPcaColumns},
      {"pca_explained.tsv", &kPcaExplainedColumns}};
  TextTable* cleanTargets[] = {&cohort.removed, &cohort.qcCv, &cohort.driftFit, &cohort.pca,
                               &cohort.pcaExplained};
  for (std::size_t k = 0; k < 5; ++k) {
    const std::size_t most =
        cleanTargets[k] == &cohort.driftFit ? kMaxCohortDriftRows : static_cast<std::size_t>(-1);
    if (!readTextTable(base + "clean/" + cleanTables[k].first, *cleanTargets[k], error, most)) return false;
    if (cleanTargets[k]->present && cleanTargets[k]->header != *cleanTables[k].second) {
      cohort.warnings.push_back(std::string("clean/") + cleanTables[k].first +
                                " does not have the columns torva-clean writes; left out");
      *cleanTargets[k] = TextTable();
    }
  }
  // The page's bounds, applied as the tables were read: what they left out is named.
  const auto nameLeftOut = [&](const TextTable& table, std::size_t most, const std::string& what) {
    if (table.rowsLeftOut == 0) return;
    cohort.warnings.push_back("the page shows the first " + std::to_string(most) + " " + what + "; the " +
                              std::to_string(table.rowsLeftOut) + " after them were left out");
  };
  nameLeftOut(cohort.features, kMaxCohortFeatures, "features of features.tsv");
  nameLeftOut(cohort.featureRt, kMaxCohortFeatures, "rows of feature_rt.tsv");
  nameLeftOut(cohort.gapFilled, kMaxCohortFeatures, "rows of gap_filled.tsv");
  nameLeftOut(cohort.driftFit, kMaxCohortDriftRows, "rows of clean/drift_fit.tsv");
  const auto& correction = cohort.rtCorrection;
  if (correction.present && correction.header != rtCorrectionColumns()) {
    cohort.warnings.push_back("rt_correction.tsv needs the columns sample, rt and rt_corrected; left out");
    cohort.rtCorrection = TextTable();
  }
  nameLeftOut(cohort.rtCorrection, kMaxCohortDriftRows, "rows of rt_correction.tsv");
  return true;
}
