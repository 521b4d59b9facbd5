#include "clean/drift_correction.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "clean/filters.h"
#include "clean/loess.h"

std::vector<std::string> batchesOf(const std::vector<CohortSample>& samples) {
  std::vector<const CohortSample*> byOrder;
  for (const CohortSample& sample : samples) byOrder.push_back(&sample);
  std::stable_sort(byOrder.begin(), byOrder.end(),
                   [](const CohortSample* a, const CohortSample* b) { return a->order < b->order; });
  std::vector<std::string> batches;
  for (const CohortSample* sample : byOrder)
    if (std::find(batches.begin(), batches.end(), sample->batch) == batches.end())
      batches.push_back(sample->batch);
  return batches;
}

FeatureDrift correctDrift(const std::vector<CohortSample>& samples, const std::vector<std::string>& batches,
                          const DriftOptions& options, std::vector<double>& areas) {
  const std::size_t count = samples.size();
  FeatureDrift drift;
  drift.fit.assign(count, std::numeric_limits<double>::quiet_NaN());
  drift.crossValidated = drift.fit;
  drift.batchFit.assign(batches.size(), DriftFitKind::None);
  // The level every batch is brought to: the median QC area of the cohort, on the log scale.
  std::vector<double> qcLogs;
  for (std::size_t s = 0; s < count; ++s)
    if (samples[s].type == InjectionType::Qc && areas[s] > 0) qcLogs.push_back(std::log(areas[s]));
  if (qcLogs.empty()) return drift;
  const double level = medianOf(qcLogs);
  for (std::size_t b = 0; b < batches.size(); ++b) {
    // The batch's QCs in injection order.
    std::vector<std::size_t> qcs;
    for (std::size_t s = 0; s < count; ++s)
      if (samples[s].batch == batches[b] && samples[s].type == InjectionType::Qc && areas[s] > 0)
        qcs.push_back(s);
    if (qcs.empty()) continue;
    std::stable_sort(qcs.begin(), qcs.end(),
                     [&](std::size_t a, std::size_t c) { return samples[a].order < samples[c].order; });
    std::vector<double> x, y;
    for (const std::size_t s : qcs) {
      x.push_back(static_cast<double>(samples[s].order));
      y.push_back(std::log(areas[s]));
    }
    const bool curve = static_cast<int>(qcs.size()) >= options.minQcs;
    drift.batchFit[b] = curve ? DriftFitKind::Curve : DriftFitKind::Median;
    // The QC level along the batch, from the given QCs: the curve, or their median.
    const auto levelFrom = [&](const std::vector<double>& qx, const std::vector<double>& qy) {
      if (curve && qx.size() >= 3) {
        const LoessFit fit(qx, qy, options.span, options.iterations);
        return std::function<double(double)>([fit](double at) { return fit.at(at); });
      }
      const double median = medianOf(qy);
      return std::function<double(double)>([median](double) { return median; });
    };
    const auto all = levelFrom(x, y);
    // Each QC corrected as well by the level of the batch's other QCs: their spread tells how
    // well the curve predicts an injection it was not fitted to.
    for (std::size_t k = 0; k < qcs.size() && qcs.size() >= 2; ++k) {
      std::vector<double> ox, oy;
      for (std::size_t j = 0; j < qcs.size(); ++j) {
        if (j == k) continue;
        ox.push_back(x[j]);
        oy.push_back(y[j]);
      }
      drift.crossValidated[qcs[k]] = std::exp(y[k] - levelFrom(ox, oy)(x[k]) + level);
    }
    for (std::size_t s = 0; s < count; ++s) {
      if (samples[s].batch != batches[b]) continue;
      const double logFit = all(static_cast<double>(samples[s].order));
      drift.fit[s] = std::exp(logFit);
      if (!(areas[s] > 0)) continue;
      areas[s] = std::exp(std::log(areas[s]) - logFit + level);
    }
  }
  return drift;
}
