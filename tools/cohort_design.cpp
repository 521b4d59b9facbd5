#include "tools/cohort_design.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string numbered(const char* stem, long number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s_%02ld", stem, number);
  return name;
}

}  // namespace

std::vector<Injection> planInjections(const DesignConfig& design, long samples,
                                      const std::vector<std::string>& sampleNames) {
  std::vector<Injection> sequence;
  long qcs = 0, blanks = 0;
  const auto add = [&](InjectionKind kind, long sample, long batch) {
    Injection injection;
    injection.kind = kind;
    injection.sample = sample;
    injection.batch = batch;
    injection.name = kind == InjectionKind::Sample ? sampleNames[sample]
                     : kind == InjectionKind::Qc   ? numbered("qc", ++qcs)
                                                   : numbered("blank", ++blanks);
    sequence.push_back(injection);
  };
  const long batches = std::max(1L, design.batches);
  for (long b = 0; b < batches; ++b) {
    const std::size_t first = sequence.size();
    const long from = samples * b / batches;
    const long to = samples * (b + 1) / batches;
    if (design.blanks > 0) add(InjectionKind::Blank, 0, b);
    if (design.qcEvery > 0) add(InjectionKind::Qc, 0, b);
    for (long s = from; s < to; ++s) {
      add(InjectionKind::Sample, s, b);
      if (design.qcEvery > 0 && ((s - from + 1) % design.qcEvery == 0 || s + 1 == to))
        add(InjectionKind::Qc, 0, b);
    }
    for (long k = 1; k < design.blanks; ++k) add(InjectionKind::Blank, 0, b);
    const std::size_t count = sequence.size() - first;
    for (std::size_t k = first; k < sequence.size(); ++k)
      sequence[k].position =
          count > 1 ? static_cast<double>(k - first) / static_cast<double>(count - 1) : 0.0;
  }
  for (std::size_t k = 0; k < sequence.size(); ++k) sequence[k].order = static_cast<long>(k) + 1;
  return sequence;
}

std::vector<CompoundDesign> drawCompoundDesign(const DesignConfig& design, std::size_t compounds,
                                               SimRandom& random) {
  std::vector<CompoundDesign> out(compounds);
  for (CompoundDesign& compound : out) {
    compound.driftAmount =
        (random.chance(0.5) ? 1.0 : -1.0) * design.intensityDrift * random.uniform(0.25, 1.0);
    compound.driftShape = random.uniform();
    compound.batchFactor.push_back(1.0);
    const double offset = 1.0 + design.batchOffset * random.uniform(0.5, 1.5);
    for (long b = 1; b < design.batches; ++b)
      compound.batchFactor.push_back(std::pow(offset, static_cast<double>(b)));
  }
  // The carry-over compounds, spread over the list.
  for (long k = 0; k < design.carryOver && compounds > 0; ++k) {
    CompoundDesign& compound = out[(static_cast<std::size_t>(k) * 7919) % compounds];
    compound.carryOver = true;
    compound.carryOverLevel = random.uniform(0.01, 0.03);
  }
  return out;
}

double designFactor(const CompoundDesign& compound, const Injection& injection) {
  const double pi = 3.14159265358979323846;
  const double x = injection.position;
  const double shape = (1 - compound.driftShape) * x + compound.driftShape * std::sin(pi * x);  // 0 to 1
  return (1 + compound.driftAmount * shape) * compound.batchFactor[static_cast<std::size_t>(injection.batch)];
}
