#include "quant/cohort_quant.h"

#include <cmath>

#include "report/quant_text.h"

namespace {

void addFlag(std::string& flags, const std::string& flag) {
  if (flags.find(flag) != std::string::npos) return;
  flags += (flags.empty() ? "" : ",") + flag;
}

bool isFound(const TargetResult& row) { return row.status == TargetStatus::Found && row.area > 0; }

double knownConcentration(const QuantSample& sample, const std::string& compound) {
  const auto it = sample.concentrations.find(compound);
  return it == sample.concentrations.end() ? std::nan("") : it->second;
}

}  // namespace

std::string tableMismatch(const std::vector<TargetTransition>& targets,
                          const std::vector<TargetResult>& table) {
  if (table.size() != targets.size())
    return std::to_string(table.size()) + " rows for " + std::to_string(targets.size()) +
           " target transitions";
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (table[i].compound != targets[i].compound || table[i].transition != targets[i].label())
      return "row " + std::to_string(i + 1) + " is " + table[i].compound + " " + table[i].transition +
             ", not " + targets[i].compound + " " + targets[i].label();
  }
  return std::string();
}

CohortQuantResult quantifyCohort(const std::vector<TargetTransition>& targets,
                                 const std::vector<QuantSample>& samples,
                                 const std::vector<std::vector<TargetResult>>& tables,
                                 const CohortQuantSettings& settings) {
  CohortQuantResult result;
  const std::size_t sampleCount = samples.size();
  for (const QuantSample& s : samples) result.samples.push_back(s.name);

  // Responses of every transition in every sample: quantifiers over their
  // internal standard, qualifiers as ion ratios.
  std::vector<std::vector<double>> response(sampleCount, std::vector<double>(targets.size(), std::nan("")));
  std::vector<std::vector<std::string>> flags(sampleCount, std::vector<std::string>(targets.size()));
  for (std::size_t s = 0; s < sampleCount; ++s) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const TargetTransition& t = targets[i];
      const TargetResult& row = tables[s][i];
      if (!isFound(row)) addFlag(flags[s][i], "not_found");
      if (t.role == TargetRole::Qualifier) {
        const int q = quantifierOf(targets, t.compound);
        if (isFound(row) && q >= 0 && isFound(tables[s][static_cast<std::size_t>(q)]))
          response[s][i] = row.area / tables[s][static_cast<std::size_t>(q)].area;
        continue;
      }
      if (!isFound(row)) continue;
      if (t.internalStandard.empty() || t.role == TargetRole::InternalStandard) {
        response[s][i] = row.area;
        continue;
      }
      const std::size_t is = static_cast<std::size_t>(quantifierOf(targets, t.internalStandard));
      if (isFound(tables[s][is]))
        response[s][i] = row.area / tables[s][is].area;
      else
        addFlag(flags[s][i], "internal_standard_not_found");
    }
  }

  // Qualifiers: each one's mean ion ratio over the standards, and the samples off it.
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].role != TargetRole::Qualifier) continue;
    double sum = 0;
    long count = 0;
    for (std::size_t s = 0; s < sampleCount; ++s) {
      if (samples[s].type == "standard" && std::isfinite(response[s][i])) {
        sum += response[s][i];
        ++count;
      }
    }
    if (count == 0) continue;
    const double mean = sum / static_cast<double>(count);
    const std::size_t q = static_cast<std::size_t>(quantifierOf(targets, targets[i].compound));
    for (std::size_t s = 0; s < sampleCount; ++s) {
      if (std::isfinite(response[s][i]) && std::fabs(response[s][i] / mean - 1.0) > settings.ratioTolerance) {
        addFlag(flags[s][i], "ion_ratio_out");
        addFlag(flags[s][q], "ion_ratio_out");
      }
    }
  }

  // A curve per compound, and every sample's concentration.
  std::vector<std::vector<double>> concentration(sampleCount,
                                                 std::vector<double>(targets.size(), std::nan("")));
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const TargetTransition& t = targets[i];
    if (t.role != TargetRole::Quantifier) continue;
    result.compounds.push_back(t.compound);
    std::vector<CalibrationPoint> points;
    for (std::size_t s = 0; s < sampleCount; ++s) {
      if (samples[s].type != "standard") continue;
      const double known = knownConcentration(samples[s], t.compound);
      if (!std::isfinite(known)) continue;
      points.push_back({samples[s].name, known, response[s][i], true, 0});
    }
    const Calibration curve = calibrate(points, settings.model, settings.weighting, settings.limits);
    CalibrationRow row;
    row.compound = t.compound;
    row.internalStandard = t.internalStandard;
    row.model = modelName(settings.model);
    row.weighting = weightingName(settings.weighting);
    row.status = curve.fitted ? "ok" : curve.failure;
    row.r2 = curve.fitted ? curve.r2 : std::nan("");
    row.intercept = curve.fitted ? curve.intercept : std::nan("");
    row.slope = curve.fitted ? curve.slope : std::nan("");
    row.quadratic = curve.fitted ? curve.quadratic : std::nan("");
    row.equation = curve.equation();
    row.lowest = curve.fitted ? curve.lowest : std::nan("");
    row.highest = curve.fitted ? curve.highest : std::nan("");
    for (const CalibrationPoint& p : curve.points) {
      std::string& list = p.used ? row.used : row.dropped;
      list += (list.empty() ? "" : ",") + p.sample + "=" + numberText(p.concentration);
    }
    double accuracySum = 0;
    for (std::size_t s = 0; s < sampleCount; ++s) {
      if (!curve.fitted) {
        addFlag(flags[s][i], "no_curve");
        continue;
      }
      if (!std::isfinite(response[s][i])) continue;
      const double x = curve.concentrationOf(response[s][i]);
      concentration[s][i] = x;
      // The standards make the range; a standard back-calculated just outside it is no finding.
      if (samples[s].type != "standard" && x < curve.lowest) addFlag(flags[s][i], "below_range");
      if (samples[s].type != "standard" && x > curve.highest) addFlag(flags[s][i], "above_range");
      for (const CalibrationPoint& p : curve.points)
        if (!p.used && p.sample == samples[s].name) addFlag(flags[s][i], "standard_dropped");
      const double known = knownConcentration(samples[s], t.compound);
      if (samples[s].type == "qc" && known > 0 && std::isfinite(x)) {
        ++row.qcCount;
        const double accuracy = 100.0 * x / known;
        accuracySum += accuracy;
        if (std::fabs(accuracy / 100.0 - 1.0) <= settings.qcLimit)
          ++row.qcWithin;
        else
          addFlag(flags[s][i], "qc_out");
      }
    }
    row.qcMeanAccuracy = row.qcCount > 0 ? accuracySum / static_cast<double>(row.qcCount) : std::nan("");
    result.calibration.push_back(row);
  }

  // The tables.
  result.concentrations.assign(sampleCount, std::vector<double>());
  for (std::size_t s = 0; s < sampleCount; ++s) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const TargetTransition& t = targets[i];
      const TargetResult& run = tables[s][i];
      QuantLongRow row;
      row.sample = samples[s].name;
      row.type = samples[s].type;
      row.compound = t.compound;
      row.transition = t.label();
      row.role = roleName(t.role);
      row.status = statusName(run.status);
      row.rt = run.rt;
      row.rtStart = run.rtStart;
      row.rtEnd = run.rtEnd;
      row.area = run.area;
      row.ratio = t.role == TargetRole::InternalStandard || t.internalStandard.empty() ? std::nan("")
                                                                                       : response[s][i];
      if (t.role == TargetRole::Qualifier) row.ratio = response[s][i];
      row.concentration = concentration[s][i];
      row.expected =
          t.role == TargetRole::Quantifier ? knownConcentration(samples[s], t.compound) : std::nan("");
      row.accuracy = row.expected > 0 && std::isfinite(row.concentration)
                         ? 100.0 * row.concentration / row.expected
                         : std::nan("");
      row.flags = flags[s][i];
      result.longRows.push_back(row);
      if (t.role == TargetRole::Quantifier) result.concentrations[s].push_back(concentration[s][i]);
    }
  }
  return result;
}
