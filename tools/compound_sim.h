#ifndef TORVA_TOOLS_COMPOUND_SIM_H
#define TORVA_TOOLS_COMPOUND_SIM_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim_model.h"
#include "tools/sim_random.h"

// What the compound simulator can be told.
struct CompoundSimConfig {
  std::string output;           // mzXML path; the truth goes to output + ".ions.tsv"
  long compounds = 100;         // compounds eluting during the run
  double runMinutes = 10;       // run length
  double cycleSeconds = 1.0;    // MS1 to MS1
  long topN = 3;                // data-dependent MS2 scans after each MS1 scan
  double exclusionSeconds = 8;  // a precursor is not picked again within this time
  double peakWidth = 3.0;       // sigma of the elution profiles, seconds
  double minIntensity = 1e5;    // apex intensity of each compound's main ion, log-uniform between these
  double maxIntensity = 1e7;
  long noisePeaks = 150;           // noise peaks per MS1 spectrum
  double noiseMax = 3000;          // their intensities, log-uniform from noiseMax / 100
  double massErrorPpm = 2;         // m/z scatter, uniform within this
  double intensityScatter = 0.03;  // relative intensity scatter of each peak
  double sampleScale = 1;          // every compound's intensity times this (cohorts)
  std::uint64_t seed = 1;
  std::uint64_t compoundSeed = 0;  // seed of the compound list; 0: the seed (cohorts share one)
};

// One ion species of a compound: an adduct of its formula with a ratio to the main ion.
struct SimIon {
  std::string name;  // "[M+H]+", "[M+Na]+", ...
  int molecules = 1;
  int charge = 1;
  double shift = 0;             // daltons added to molecules * M, electrons included
  double ratio = 1;             // apex intensity relative to the compound's main ion
  std::vector<double> pattern;  // isotope abundances relative to the monoisotopic peak: M, M+1, ...
  double mz = 0;                // monoisotopic m/z
};

struct SimMolecule {
  std::string formula;
  double mass = 0;  // monoisotopic neutral mass
  double apexTime = 0;
  double sigma = 0;
  double apexIntensity = 0;  // of the main ion
  std::vector<SimIon> ions;
  std::vector<SimFragment> fragments;  // MS2 fragments (m/z and ratio to the base fragment)
};

// Isotope pattern of a formula (C, H, N, O, S counts), by nominal mass shift, monoisotopic peak 1.
std::vector<double> isotopePattern(int c, int h, int n, int o, int s, std::size_t peaks);

class CompoundRunModel {
 public:
  explicit CompoundRunModel(const CompoundSimConfig& config);

  long cycles() const;
  SimSpectrum fullScan(long cycle);
  std::vector<SimSpectrum> tandemScans(const SimSpectrum& fullScan);
  // One line per isotope peak of every ion above 0.1 % of its monoisotopic peak: compound, formula, neutral
  // mass, ion, isotope, charge, m/z, apex time (s), apex intensity, MS2 scans taken on it.
  bool writeTruth(const std::string& path) const;
  const std::vector<SimMolecule>& molecules() const { return molecules_; }

 private:
  struct Precursor {
    std::size_t molecule = 0, ion = 0;
    int isotope = 0;
  };
  void placeMolecules();

  CompoundSimConfig config_;
  SimRandom random_;
  std::vector<SimMolecule> molecules_;
  std::vector<Precursor> lastPeakSources_;  // source of each peak of the last full scan (molecule -1: noise)
  std::vector<long> peakSourceMolecule_;
  std::vector<std::vector<std::vector<long>>> ms2Count_;  // [molecule][ion][isotope]
  std::vector<std::pair<double, double>> excluded_;       // (m/z, until time)
};

#endif
