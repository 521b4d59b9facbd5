#ifndef TORVA_TOOLS_COHORT_DESIGN_H
#define TORVA_TOOLS_COHORT_DESIGN_H

#include <string>
#include <vector>

#include "tools/sim_random.h"

// The study design of a simulated cohort beyond its samples: pooled QCs, blanks, batches and the
// intensity drift along the injection order. All off by default.
struct DesignConfig {
  long qcEvery = 0;           // a pooled QC after every this many samples (and one before the first)
  long blanks = 0;            // blanks per batch: one before its first injection, the rest after its last
  long batches = 1;           // batches, the samples split between them in sheet order
  double batchOffset = 0.3;   // each later batch's intensities: times 1 + this x (0.5 to 1.5) per compound
  double intensityDrift = 0;  // largest intensity change of a compound along a batch, relative
  double injectionCv = 0;     // injection-to-injection spread of every area, relative (uniform)
  long contaminants = 0;      // compounds of the blanks only (every second one also in every injection)
  long carryOver = 0;         // compounds of the samples also seen in the blanks, at 1 to 3 % of their level

  bool active() const {
    return qcEvery > 0 || blanks > 0 || batches > 1 || intensityDrift > 0 || injectionCv > 0 ||
           contaminants > 0 || carryOver > 0;
  }
};

enum class InjectionKind { Sample, Qc, Blank };

// One injection of the sequence.
struct Injection {
  InjectionKind kind = InjectionKind::Sample;
  long sample = 0;      // study sample index (kind Sample)
  std::string name;     // sample_NN, qc_NN or blank_NN
  long batch = 0;       // from 0
  long order = 0;       // injection order, from 1
  double position = 0;  // place within its batch, 0 (first) to 1 (last)
};

// The injection sequence of `samples` study samples (named by `sampleName`): per batch a blank,
// a QC, the batch's samples with a QC after every `qcEvery` of them (and after the last), and the
// batch's other blanks.
std::vector<Injection> planInjections(const DesignConfig& design, long samples,
                                      const std::vector<std::string>& sampleNames);

// How one compound's intensity moves along the sequence.
struct CompoundDesign {
  double driftAmount = 0;  // signed, at most intensityDrift in size
  double driftShape = 0;   // 0: straight, 1: an arch
  std::vector<double> batchFactor;
  bool carryOver = false;     // also seen in the blanks
  double carryOverLevel = 0;  // its share there
};

std::vector<CompoundDesign> drawCompoundDesign(const DesignConfig& design, std::size_t compounds,
                                               SimRandom& random);

// The compound's drift and batch factor at an injection.
double designFactor(const CompoundDesign& compound, const Injection& injection);

#endif
