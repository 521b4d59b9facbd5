#include "report/clean_tables.h"

#include <cmath>

const std::vector<std::string> kRemovedColumns = {"feature_id", "mz", "rt", "step", "value", "limit"};
const std::vector<std::string> kQcCvColumns = {"feature_id", "cv_raw",   "cv_corrected",
                                               "cv_cross",   "cv_final", "kept"};
const std::vector<std::string> kDriftFitColumns = {"feature_id", "sample", "order", "batch",
                                                   "type",       "area",   "fit",   "corrected"};
const std::vector<std::string> kPcaColumns = {"sample",     "type",       "group", "batch",
                                              "pc1_before", "pc2_before", "pc1",   "pc2"};
const std::vector<std::string> kPcaExplainedColumns = {"stage", "pc1", "pc2"};
const std::vector<std::string> kLongColumns = {"feature_id", "mz",   "rt",    "sample", "area",
                                               "group",      "type", "order", "batch"};

namespace {

std::string headerLine(const std::vector<std::string>& columns) {
  std::string line;
  for (std::size_t k = 0; k < columns.size(); ++k) line += (k == 0 ? "" : "\t") + columns[k];
  return line + "\n";
}

std::string cell(double value, int decimals) {
  return std::isnan(value) ? std::string() : fixedText(value, decimals);
}

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string removedText(const std::vector<RemovedFeature>& removed) {
  std::string text = headerLine(kRemovedColumns);
  for (const RemovedFeature& r : removed)
    text += r.id + "\t" + r.mz + "\t" + r.rt + "\t" + r.step + "\t" + cell(r.value, 4) + "\t" +
            cell(r.limit, 4) + "\n";
  return text;
}

std::string qcCvText(const std::vector<QcCvRow>& rows) {
  std::string text = headerLine(kQcCvColumns);
  for (const QcCvRow& r : rows)
    text += r.id + "\t" + cell(r.raw, 2) + "\t" + cell(r.corrected, 2) + "\t" + cell(r.cross, 2) + "\t" +
            cell(r.final, 2) + "\t" + (r.kept ? "1" : "0") + "\n";
  return text;
}

std::string driftFitText(const std::vector<CohortSample>& samples,
                         const std::vector<DriftFitFeature>& features) {
  std::string text = headerLine(kDriftFitColumns);
  for (const DriftFitFeature& f : features) {
    for (std::size_t s = 0; s < samples.size(); ++s) {
      const CohortSample& sample = samples[s];
      text += f.id + "\t" + sample.name + "\t" + std::to_string(sample.order) + "\t" + sample.batch + "\t" +
              injectionTypeName(sample.type) + "\t" + cell(f.area[s], 2) + "\t" + cell(f.fit[s], 2) + "\t" +
              cell(f.corrected[s], 2) + "\n";
    }
  }
  return text;
}

std::string pcaText(const std::vector<CohortSample>& samples, const PcaTable& pca) {
  std::string text = headerLine(kPcaColumns);
  for (std::size_t k = 0; k < pca.injections.size(); ++k) {
    const CohortSample& sample = samples[pca.injections[k]];
    text += sample.name + "\t" + injectionTypeName(sample.type) + "\t" + sample.group + "\t" + sample.batch +
            "\t" + fixedText(pca.pc1Before[k], 4) + "\t" + fixedText(pca.pc2Before[k], 4) + "\t" +
            fixedText(pca.pc1[k], 4) + "\t" + fixedText(pca.pc2[k], 4) + "\n";
  }
  return text;
}

std::string pcaExplainedText(const PcaTable& pca) {
  return headerLine(kPcaExplainedColumns) + "before\t" + fixedText(pca.explainedBefore[0], 2) + "\t" +
         fixedText(pca.explainedBefore[1], 2) + "\nafter\t" + fixedText(pca.explained[0], 2) + "\t" +
         fixedText(pca.explained[1], 2) + "\n";
}

std::string metaboanalystText(const std::vector<CohortSample>& samples, const CohortAreaTable& table) {
  std::vector<std::size_t> columns;
  for (std::size_t s = 0; s < samples.size(); ++s)
    if (samples[s].type == InjectionType::Sample || samples[s].type == InjectionType::Qc)
      columns.push_back(s);
  std::string names = "Sample";
  std::string labels = "Label";
  for (const std::size_t s : columns) {
    names += "," + csvField(samples[s].name);
    const std::string& group = samples[s].group;
    labels += "," + csvField(samples[s].type == InjectionType::Qc ? "QC" : group.empty() ? "NA" : group);
  }
  std::string text = names + "\n" + labels + "\n";
  for (const CohortAreaRow& row : table.rows) {
    text += csvField(row.id);
    for (const std::size_t s : columns) text += "," + cell(row.areas[s], 2);
    text += "\n";
  }
  return text;
}

std::string featuresLongText(const std::vector<CohortSample>& samples, const CohortAreaTable& table) {
  std::string text = headerLine(kLongColumns);
  for (const CohortAreaRow& row : table.rows) {
    for (std::size_t s = 0; s < samples.size(); ++s) {
      const CohortSample& sample = samples[s];
      text += row.id + "\t" + row.mz + "\t" + row.rt + "\t" + sample.name + "\t" + cell(row.areas[s], 2) +
              "\t" + sample.group + "\t" + injectionTypeName(sample.type) + "\t" +
              std::to_string(sample.order) + "\t" + sample.batch + "\n";
    }
  }
  return text;
}
