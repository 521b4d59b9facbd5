#include "clean/filters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

double meanArea(const std::vector<CohortSample>& samples, const std::vector<double>& areas,
                InjectionType type) {
  double sum = 0;
  std::size_t count = 0;
  for (std::size_t s = 0; s < samples.size(); ++s) {
    if (samples[s].type != type) continue;
    ++count;
    if (!std::isnan(areas[s])) sum += areas[s];
  }
  return count == 0 ? kNaN : sum / static_cast<double>(count);
}

bool passesBlankFilter(double sampleMean, double blankMean, double ratio) {
  if (std::isnan(blankMean) || !(blankMean > 0)) return true;
  return sampleMean >= ratio * blankMean;
}

double qcPresence(const std::vector<CohortSample>& samples, const std::vector<double>& areas) {
  std::size_t qcs = 0, present = 0;
  for (std::size_t s = 0; s < samples.size(); ++s) {
    if (samples[s].type != InjectionType::Qc) continue;
    ++qcs;
    present += std::isnan(areas[s]) ? 0 : 1;
  }
  return qcs == 0 ? kNaN : static_cast<double>(present) / static_cast<double>(qcs);
}

double qcCv(const std::vector<CohortSample>& samples, const std::vector<double>& areas) {
  std::vector<double> values;
  for (std::size_t s = 0; s < samples.size(); ++s)
    if (samples[s].type == InjectionType::Qc && !std::isnan(areas[s])) values.push_back(areas[s]);
  if (values.size() < 2) return kNaN;
  double sum = 0;
  for (const double v : values) sum += v;
  const double mean = sum / static_cast<double>(values.size());
  if (!(mean > 0)) return kNaN;
  double squares = 0;
  for (const double v : values) squares += (v - mean) * (v - mean);
  return 100.0 * std::sqrt(squares / static_cast<double>(values.size() - 1)) / mean;
}

double medianOf(std::vector<double> values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
               values.end());
  if (values.empty()) return kNaN;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}
