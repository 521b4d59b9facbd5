#include "clean/cleaner.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>

#include "clean/drift_correction.h"
#include "clean/filters.h"
#include "clean/normalisation.h"
#include "clean/pca.h"
#include "util/atomic_file.h"

namespace {

std::string figure(double value, int decimals) { return fixedText(value, decimals); }

std::size_t countOf(const std::vector<CohortSample>& samples, InjectionType type) {
  std::size_t count = 0;
  for (const CohortSample& sample : samples) count += sample.type == type ? 1 : 0;
  return count;
}

// Keeps the rows of `table` (and of the parallel `flags`) whose flag is set.
void keepRows(CohortAreaTable& table, const std::vector<bool>& keep) {
  std::vector<CohortAreaRow> rows;
  for (std::size_t f = 0; f < table.rows.size(); ++f)
    if (keep[f]) rows.push_back(std::move(table.rows[f]));
  table.rows = std::move(rows);
}

std::vector<std::vector<double>> areasOf(const CohortAreaTable& table) {
  std::vector<std::vector<double>> areas;
  for (const CohortAreaRow& row : table.rows) areas.push_back(row.areas);
  return areas;
}

void setAreas(CohortAreaTable& table, const std::vector<std::vector<double>>& areas) {
  for (std::size_t f = 0; f < table.rows.size(); ++f) table.rows[f].areas = areas[f];
}

// The median QC CV of a table, for the log.
double medianQcCv(const std::vector<CohortSample>& samples, const CohortAreaTable& table) {
  std::vector<double> cvs;
  for (const CohortAreaRow& row : table.rows) cvs.push_back(qcCv(samples, row.areas));
  return medianOf(cvs);
}

double medianCrossCv(const std::vector<CohortSample>& samples, const std::vector<DriftFitFeature>& drift) {
  std::vector<double> cvs;
  for (const DriftFitFeature& fit : drift) cvs.push_back(qcCv(samples, fit.crossValidated));
  return medianOf(cvs);
}

void blankStep(const std::vector<CohortSample>& samples, const CleanOptions& options, CohortAreaTable& table,
               CleanResult& result) {
  const std::size_t blanks = countOf(samples, InjectionType::Blank);
  if (!options.blankFilter) {
    result.log.push_back("blank filter: off");
    return;
  }
  if (blanks == 0 || countOf(samples, InjectionType::Sample) == 0) {
    result.log.push_back("blank filter: skipped, the sheet names no blank or no study sample");
    return;
  }
  std::vector<bool> keep(table.rows.size(), true);
  std::size_t removed = 0;
  for (std::size_t f = 0; f < table.rows.size(); ++f) {
    const CohortAreaRow& row = table.rows[f];
    const double inSamples = meanArea(samples, row.areas, InjectionType::Sample);
    const double inBlanks = meanArea(samples, row.areas, InjectionType::Blank);
    if (passesBlankFilter(inSamples, inBlanks, options.blankRatio)) continue;
    keep[f] = false;
    ++removed;
    result.removed.push_back({row.id, row.mz, row.rt, "blank", inSamples / inBlanks, options.blankRatio});
  }
  keepRows(table, keep);
  result.log.push_back("blank filter: removed " + std::to_string(removed) +
                       " features whose mean area in the study samples is below " +
                       figure(options.blankRatio, 2) + " times their mean in the " + std::to_string(blanks) +
                       " blanks (absent areas counted as 0): they come from the solvent, the system or "
                       "carry-over, not from the samples");
}

void qcPresenceStep(const std::vector<CohortSample>& samples, const CleanOptions& options,
                    CohortAreaTable& table, CleanResult& result) {
  if (!options.qcFilter) {
    result.log.push_back("QC filter: off");
    return;
  }
  if (countOf(samples, InjectionType::Qc) < 2) {
    result.log.push_back("QC filter: skipped, the sheet names fewer than two QCs");
    return;
  }
  std::vector<bool> keep(table.rows.size(), true);
  std::size_t removed = 0;
  for (std::size_t f = 0; f < table.rows.size(); ++f) {
    const double share = qcPresence(samples, table.rows[f].areas);
    if (share >= options.qcMinFraction) continue;
    keep[f] = false;
    ++removed;
    const CohortAreaRow& row = table.rows[f];
    result.removed.push_back({row.id, row.mz, row.rt, "qc_presence", share, options.qcMinFraction});
  }
  keepRows(table, keep);
  result.log.push_back("QC presence: removed " + std::to_string(removed) +
                       " features with an area in fewer than " + figure(100 * options.qcMinFraction, 0) +
                       " % of the QCs: a compound of the pooled samples should be in every QC");
}

void driftStep(const std::vector<CohortSample>& samples, const CleanOptions& options, CohortAreaTable& table,
               CleanResult& result) {
  if (!options.drift) {
    result.log.push_back("drift correction: off");
    return;
  }
  if (countOf(samples, InjectionType::Qc) < 2) {
    result.log.push_back("drift correction: skipped, the sheet names fewer than two QCs");
    return;
  }
  const std::vector<std::string> batches = batchesOf(samples);
  std::map<DriftFitKind, std::size_t> kinds;
  const double before = medianQcCv(samples, table);
  for (CohortAreaRow& row : table.rows) {
    DriftFitFeature fit{row.id, row.areas, {}, {}, {}};
    const FeatureDrift drift = correctDrift(samples, batches, options.driftOptions, row.areas);
    for (const DriftFitKind kind : drift.batchFit) ++kinds[kind];
    fit.fit = drift.fit;
    fit.corrected = row.areas;
    fit.crossValidated = drift.crossValidated;
    result.drift.push_back(std::move(fit));
  }
  result.log.push_back(
      "drift correction: per feature and batch (" + std::to_string(batches.size()) +
      " batches), a robust LOESS of log area over injection order fitted to the QCs (span " +
      figure(options.driftOptions.span, 2) + ", " + std::to_string(options.driftOptions.iterations) +
      " robustness rounds), each area divided by the curve and batches brought to the cohort's QC median; " +
      std::to_string(kinds[DriftFitKind::Curve]) + " feature batches fitted by the curve, " +
      std::to_string(kinds[DriftFitKind::Median]) + " by their QC median alone (fewer than " +
      std::to_string(options.driftOptions.minQcs) + " QC areas), " +
      std::to_string(kinds[DriftFitKind::None]) + " left as they were (no QC area); median QC CV " +
      figure(before, 1) + " % before, " + figure(medianQcCv(samples, table), 1) + " % after, " +
      figure(medianCrossCv(samples, result.drift), 1) +
      " % with each QC corrected by the curve of its batch's other QCs (cross-validated)");
}

void qcCvStep(const std::vector<CohortSample>& samples, const CleanOptions& options, CohortAreaTable& table,
              CleanResult& result) {
  if (!options.qcFilter || countOf(samples, InjectionType::Qc) < 2) return;
  // After the drift correction a feature is judged by its cross-validated CV: a curve through
  // few QCs can pass through all of them, however far apart they lie.
  std::map<std::string, double> cross;
  for (const DriftFitFeature& fit : result.drift) cross[fit.id] = qcCv(samples, fit.crossValidated);
  std::vector<bool> keep(table.rows.size(), true);
  std::size_t removed = 0;
  for (std::size_t f = 0; f < table.rows.size(); ++f) {
    const auto found = cross.find(table.rows[f].id);
    const double cv = found != cross.end() && !std::isnan(found->second) ? found->second
                                                                         : qcCv(samples, table.rows[f].areas);
    if (!(cv > options.qcMaxCv)) continue;
    keep[f] = false;
    ++removed;
    const CohortAreaRow& row = table.rows[f];
    result.removed.push_back({row.id, row.mz, row.rt, "qc_cv", cv, options.qcMaxCv});
  }
  keepRows(table, keep);
  result.log.push_back("QC CV: removed " + std::to_string(removed) + " features whose QC areas" +
                       (result.drift.empty() ? "" : " after drift correction (cross-validated)") +
                       " vary by more than " + figure(options.qcMaxCv, 1) +
                       " % (CV): not measured repeatably");
}

void normaliseStep(const std::vector<CohortSample>& samples, const CleanOptions& options,
                   CohortAreaTable& table, CleanResult& result) {
  std::vector<std::vector<double>> areas = areasOf(table);
  const std::vector<double> factors = normalise(samples, options.normalisation, areas);
  setAreas(table, areas);
  if (options.normalisation == Normalisation::None) {
    result.log.push_back("normalisation: none");
  } else {
    std::string line = std::string("normalisation: ") + normalisationName(options.normalisation) +
                       " (blanks left as they are); factors the injections were divided by:";
    for (std::size_t s = 0; s < samples.size(); ++s)
      line += " " + samples[s].name + "=" + figure(factors[s], 4);
    result.log.push_back(line);
  }
  if (!options.impute) {
    result.log.push_back("imputation: none, absent areas left empty");
    return;
  }
  areas = areasOf(table);
  const std::size_t filled = imputeMinimum(samples, options.imputeFraction, areas);
  setAreas(table, areas);
  result.log.push_back("imputation: " + std::to_string(filled) + " absent areas filled with " +
                       figure(options.imputeFraction, 2) +
                       " times the feature's smallest area (blanks left as they are)");
}

}  // namespace

bool samplesOfTable(const std::vector<CohortSample>& sheet, const CohortAreaTable& table,
                    std::vector<CohortSample>& samples, std::string& error) {
  samples.clear();
  std::map<std::string, const CohortSample*> byName;
  for (const CohortSample& sample : sheet) byName[sample.name] = &sample;
  for (const std::string& name : table.samples) {
    const auto found = byName.find(name);
    if (found == byName.end()) {
      error = "the feature table's column '" + name + "' is not a sample of the sheet";
      return false;
    }
    samples.push_back(*found->second);
  }
  if (samples.size() != sheet.size()) {
    for (const CohortSample& sample : sheet) {
      bool listed = false;
      for (const std::string& name : table.samples) listed = listed || name == sample.name;
      if (!listed) {
        error = "sample '" + sample.name + "' of the sheet has no column in the feature table";
        return false;
      }
    }
  }
  return true;
}

CleanResult cleanTable(const std::vector<CohortSample>& samples, const CohortAreaTable& input,
                       const CleanOptions& options) {
  CleanResult result;
  CohortAreaTable table = input;
  result.log.push_back(std::to_string(table.rows.size()) + " features, " + std::to_string(samples.size()) +
                       " injections: " + std::to_string(countOf(samples, InjectionType::Sample)) +
                       " samples, " + std::to_string(countOf(samples, InjectionType::Qc)) + " QCs, " +
                       std::to_string(countOf(samples, InjectionType::Blank)) + " blanks, " +
                       std::to_string(countOf(samples, InjectionType::Standard)) + " standards in " +
                       std::to_string(batchesOf(samples).size()) + " batches");
  std::map<std::string, QcCvRow> cvs;
  for (const CohortAreaRow& row : table.rows)
    cvs[row.id] = QcCvRow{row.id, qcCv(samples, row.areas), NAN, NAN, NAN, false};
  blankStep(samples, options, table, result);
  qcPresenceStep(samples, options, table, result);
  driftStep(samples, options, table, result);
  for (const CohortAreaRow& row : table.rows) cvs[row.id].corrected = qcCv(samples, row.areas);
  for (const DriftFitFeature& fit : result.drift) cvs[fit.id].cross = qcCv(samples, fit.crossValidated);
  qcCvStep(samples, options, table, result);
  normaliseStep(samples, options, table, result);
  for (const CohortAreaRow& row : table.rows) {
    cvs[row.id].final = qcCv(samples, row.areas);
    cvs[row.id].kept = true;
  }
  for (const CohortAreaRow& row : input.rows) result.qcCv.push_back(cvs[row.id]);
  result.log.push_back(std::to_string(table.rows.size()) + " features kept of " +
                       std::to_string(input.rows.size()) + "; median QC CV " +
                       figure(medianQcCv(samples, input), 1) + " % as read, " +
                       figure(medianQcCv(samples, table), 1) + " % in the final table");
  // PCA of the study samples and QCs.
  PcaTable& pca = result.pca;
  for (std::size_t s = 0; s < samples.size(); ++s)
    if (samples[s].type == InjectionType::Sample || samples[s].type == InjectionType::Qc)
      pca.injections.push_back(s);
  const PcaScores before = principalComponents(areasOf(input), pca.injections);
  const PcaScores after = principalComponents(areasOf(table), pca.injections);
  pca.pc1Before = before.pc1;
  pca.pc2Before = before.pc2;
  pca.pc1 = after.pc1;
  pca.pc2 = after.pc2;
  pca.explainedBefore[0] = before.explained1;
  pca.explainedBefore[1] = before.explained2;
  pca.explained[0] = after.explained1;
  pca.explained[1] = after.explained2;
  result.table = std::move(table);
  return result;
}

CleanStatus cleanCohort(const CleanOptions& options) {
  std::string error;
  std::vector<CohortSample> sheet, samples;
  CohortAreaTable table;
  if (!readCohortSheet(options.sheet, sheet, error) || !readCohortAreaTable(options.table, table, error) ||
      !samplesOfTable(sheet, table, samples, error)) {
    std::cerr << "torva-clean: " << error << "\n";
    return CleanStatus::Failed;
  }
  const CleanResult result = cleanTable(samples, table, options);
  std::string log;
  for (const std::string& line : result.log) {
    log += line + "\n";
    std::cerr << "torva-clean: " << line << "\n";
  }
  const std::string out = options.out.empty() || options.out.back() == '/' ? options.out : options.out + "/";
  std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be written
  std::filesystem::create_directories(out + "clean", ignored);
  std::filesystem::create_directories(out + "export", ignored);
  const std::pair<std::string, std::string> files[] = {
      {out + "features_clean.tsv", cohortAreaTableText(result.table)},
      {out + "clean/removed.tsv", removedText(result.removed)},
      {out + "clean/qc_cv.tsv", qcCvText(result.qcCv)},
      {out + "clean/drift_fit.tsv", driftFitText(samples, result.drift)},
      {out + "clean/pca.tsv", pcaText(samples, result.pca)},
      {out + "clean/pca_explained.tsv", pcaExplainedText(result.pca)},
      {out + "export/metaboanalyst.csv", metaboanalystText(samples, result.table)},
      {out + "export/features_long.tsv", featuresLongText(samples, result.table)},
      {out + "clean_log.txt", log},
  };
  for (const auto& file : files) {
    std::string error;
    if (!writeWholeFile(file.first, file.second, error)) {
      std::cerr << "torva-clean: " << error << "\n";
      return CleanStatus::Failed;
    }
  }
  return CleanStatus::Ok;
}
