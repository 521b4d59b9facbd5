#include "clean/normalisation.h"

#include <algorithm>
#include <cmath>

#include "clean/filters.h"

const char* normalisationName(Normalisation method) {
  switch (method) {
    case Normalisation::TotalArea:
      return "total";
    case Normalisation::Median:
      return "median";
    case Normalisation::Quotient:
      return "pqn";
    case Normalisation::None:
      break;
  }
  return "none";
}

bool parseNormalisation(const std::string& name, Normalisation& method) {
  for (const Normalisation candidate :
       {Normalisation::None, Normalisation::TotalArea, Normalisation::Median, Normalisation::Quotient}) {
    if (name == normalisationName(candidate)) {
      method = candidate;
      return true;
    }
  }
  return false;
}

namespace {

// Each injection's own figure before it is made relative: sum, median or median quotient.
std::vector<double> rawFactors(const std::vector<CohortSample>& samples, Normalisation method,
                               const std::vector<std::vector<double>>& areas) {
  const std::size_t count = samples.size();
  std::vector<double> reference;
  if (method == Normalisation::Quotient) {
    bool haveQc = false;
    for (const CohortSample& sample : samples) haveQc = haveQc || sample.type == InjectionType::Qc;
    const InjectionType basis = haveQc ? InjectionType::Qc : InjectionType::Sample;
    for (const std::vector<double>& row : areas) {
      std::vector<double> values;
      for (std::size_t s = 0; s < count; ++s)
        if (samples[s].type == basis && row[s] > 0) values.push_back(row[s]);
      reference.push_back(medianOf(values));
    }
  }
  std::vector<double> factors(count, std::nan(""));
  for (std::size_t s = 0; s < count; ++s) {
    if (samples[s].type == InjectionType::Blank) continue;
    std::vector<double> values;
    double sum = 0;
    for (std::size_t f = 0; f < areas.size(); ++f) {
      const double a = areas[f][s];
      if (!(a > 0)) continue;
      sum += a;
      if (method == Normalisation::Quotient) {
        if (reference[f] > 0) values.push_back(a / reference[f]);
      } else {
        values.push_back(a);
      }
    }
    if (values.empty()) continue;
    factors[s] = method == Normalisation::TotalArea ? sum : medianOf(values);
  }
  return factors;
}

}  // namespace

std::vector<double> normalise(const std::vector<CohortSample>& samples, Normalisation method,
                              std::vector<std::vector<double>>& areas) {
  std::vector<double> factors(samples.size(), 1.0);
  if (method == Normalisation::None) return factors;
  const std::vector<double> raw = rawFactors(samples, method, areas);
  const double middle = medianOf(raw);
  if (!(middle > 0)) return factors;
  for (std::size_t s = 0; s < samples.size(); ++s) {
    if (!(raw[s] > 0)) continue;
    factors[s] = raw[s] / middle;
    for (std::vector<double>& row : areas)
      if (!std::isnan(row[s])) row[s] /= factors[s];
  }
  return factors;
}

std::size_t imputeMinimum(const std::vector<CohortSample>& samples, double fraction,
                          std::vector<std::vector<double>>& areas) {
  std::size_t filled = 0;
  for (std::vector<double>& row : areas) {
    double smallest = INFINITY;
    for (std::size_t s = 0; s < samples.size(); ++s)
      if (samples[s].type != InjectionType::Blank && !std::isnan(row[s]))
        smallest = std::min(smallest, row[s]);
    if (!std::isfinite(smallest)) continue;
    for (std::size_t s = 0; s < samples.size(); ++s) {
      if (samples[s].type == InjectionType::Blank || !std::isnan(row[s])) continue;
      row[s] = fraction * smallest;
      ++filled;
    }
  }
  return filled;
}
