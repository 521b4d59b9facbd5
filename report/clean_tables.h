#ifndef TORVA_REPORT_CLEAN_TABLES_H
#define TORVA_REPORT_CLEAN_TABLES_H

#include <string>
#include <vector>

#include "report/cohort_area_table.h"
#include "report/sample_sheet.h"

// The tables torva-clean writes beside features_clean.tsv, under OUTDIR/clean/, and its two
// exports under OUTDIR/export/. Each writer returns the whole text; the column lists are the ones
// torva-view checks before it shows a table.

// clean/removed.tsv: one line per feature a filter took out, with the figure it was judged by.
extern const std::vector<std::string> kRemovedColumns;  // feature_id, mz, rt, step, value, limit
struct RemovedFeature {
  std::string id, mz, rt;
  std::string step;  // blank, qc_presence, qc_cv
  double value = 0;  // sample/blank ratio, share of QCs, or QC CV in percent
  double limit = 0;
};
std::string removedText(const std::vector<RemovedFeature>& removed);

// clean/qc_cv.tsv: each feature's QC CV (percent) as read, after the drift correction, with each QC
// corrected by the curve of the other QCs of its batch (cross-validated), and in the final table;
// empty where it has fewer than two QC areas or the step did not run; kept 1 when it is in the
// final table.
extern const std::vector<std::string>
    kQcCvColumns;  // feature_id, cv_raw, cv_corrected, cv_cross, cv_final, kept
struct QcCvRow {
  std::string id;
  double raw = 0, corrected = 0, cross = 0, final = 0;  // NaN: not computed
  bool kept = false;
};
std::string qcCvText(const std::vector<QcCvRow>& rows);

// clean/drift_fit.tsv: per feature given to the drift correction and injection, the area as
// read, the fitted QC level at the injection (empty where its batch had none) and the corrected area.
extern const std::vector<std::string>
    kDriftFitColumns;  // feature_id, sample, order, batch, type, area, fit, corrected
struct DriftFitFeature {
  std::string id;
  std::vector<double> area, fit, corrected;  // per injection, NaN when empty
  std::vector<double> crossValidated;        // per QC its cross-validated area (not written)
};
std::string driftFitText(const std::vector<CohortSample>& samples,
                         const std::vector<DriftFitFeature>& features);

// clean/pca.tsv: the first two principal components of the study samples and QCs, of the table as
// read (before) and of the final table; clean/pca_explained.tsv: their shares of the variance.
extern const std::vector<std::string>
    kPcaColumns;  // sample, type, group, batch, pc1_before, pc2_before, pc1, pc2
extern const std::vector<std::string> kPcaExplainedColumns;  // stage, pc1, pc2
struct PcaTable {
  std::vector<std::size_t> injections;  // indices into the samples
  std::vector<double> pc1Before, pc2Before, pc1, pc2;
  double explainedBefore[2] = {0, 0}, explained[2] = {0, 0};  // percent
};
std::string pcaText(const std::vector<CohortSample>& samples, const PcaTable& pca);
std::string pcaExplainedText(const PcaTable& pca);

// export/metaboanalyst.csv: samples in columns, a first row of sample names and a second of their
// group (QCs labelled QC), then one row per feature; study samples and QCs only; empty cells absent.
std::string metaboanalystText(const std::vector<CohortSample>& samples, const CohortAreaTable& table);

// export/features_long.tsv: one line per feature and injection.
extern const std::vector<std::string>
    kLongColumns;  // feature_id, mz, rt, sample, area, group, type, order, batch
std::string featuresLongText(const std::vector<CohortSample>& samples, const CohortAreaTable& table);

#endif
