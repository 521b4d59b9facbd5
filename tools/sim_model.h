#ifndef TORVA_TOOLS_SIM_MODEL_H
#define TORVA_TOOLS_SIM_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim_random.h"

// Everything the simulator can be told on its command line, with defaults.
struct SimConfig {
  enum class Mode { FullScan, Srm };
  Mode mode = Mode::FullScan;
  std::string output;             // path of the mzXML file; the truth goes to output + ".truth.tsv"
  long spectra = 120;             // MS1 spectra (full scan) or SRM spectra
  long peaks = -1;                // peaks per MS1 / SRM spectrum; -1: 200 in full scan, 1 in SRM
  long compounds = 5;             // compounds eluting during the run
  long transitions = 100;         // SRM: distinct transitions, cycled through in order
  long ms2PerCycle = 1;           // full scan: MS2 scans nested in every MS1 scan
  int precision = 32;             // bits per stored value: 32 or 64
  bool zlib = false;              // compress every peak array with zlib
  bool unsorted = false;          // store each spectrum's peaks in random order, not by m/z
  bool mzml = false;              // write mzML instead of mzXML
  bool gzip = false;              // gzip-compress the written file
  bool numpress = false;          // values rounded as MS-Numpress stores them (and so stored in mzML)
  bool srmChromatograms = false;  // mzML: SRM runs as one chromatogram per transition
  std::uint64_t seed = 1;
  double runMinutes = 0;   // run length; 0: one second per MS1 / SRM cycle
  double peakWidth = 3.0;  // sigma of the Gaussian elution profile, seconds
  int maxCharge = 1;       // compounds get a charge from 1 to this
  double lowMz = 100;      // full-scan m/z range, daltons
  double highMz = 1000;
  double minIntensity = 1e5;  // apex intensity of the compounds, log-uniform between these
  double maxIntensity = 1e7;
  double noiseMax = 3000;  // MS1 noise peaks: log-uniform from noiseMax/100 to noiseMax
  // Effects of real runs, all off by default (a run without them is the same
  // bytes as before); drawn from a random stream of their own.
  long isomers = 0;                // compounds that get an isomer: same m/z, 1.5 fwhm to 0.3 min later
  long tailPeaks = 0;              // compounds that tail, with a weaker compound of their m/z on the tail
  long backgroundIons = 0;         // flat background ions present in every MS1 scan
  double backgroundBumps = 0;      // each background ion rises by up to this fraction of itself in slow bumps
  double drift = 0;                // background and noise grow by this fraction of themselves over the run
  double jagged = 0;               // each compound peak times 1 + jagged * U(-1, 1): TOF-like sampling
  bool polaritySwitching = false;  // every second MS1 scan negative; compounds of either polarity
  double profileResolution = 0;    // > 0: MS1 and MS2 spectra written as profile data of this resolving power
  long lockEvery = 0;              // every Nth MS1 scan has a "Full lock ms" filter line; 0: none

  long peaksPerSpectrum() const { return peaks >= 0 ? peaks : (mode == Mode::Srm ? 1 : 200); }
  double runSeconds() const;
};

struct SimPeak {
  double mz = 0;
  double intensity = 0;
};

// One spectrum as it goes into the file. `precursorMz` 0 means none.
struct SimSpectrum {
  int msLevel = 1;
  long num = 0;
  double rt = 0;  // seconds
  std::string scanType;
  std::string filterLine;
  double collisionEnergy = 0;
  double precursorMz = 0;
  double precursorIntensity = 0;
  int precursorCharge = 0;
  std::string precursorText;  // precursorMz as written, so filter line and element agree
  char polarity = '+';
  bool profile = false;  // the peaks are profile points (written as such), not centroids
  std::vector<SimPeak> peaks;
};

// The figures a file states for a spectrum: total ion current (peaks added in
// list order), base peak, lowest and highest m/z; all 0 for an empty spectrum.
struct SimSpectrumFigures {
  double tic = 0;
  double basePeakMz = 0;
  double basePeakIntensity = 0;
  double lowMz = 0;
  double highMz = 0;
};
SimSpectrumFigures spectrumFigures(const SimSpectrum& spectrum);

struct SimFragment {
  double mz = 0;
  double ratio = 0;  // of the precursor's intensity in the MS2 spectrum
};

struct SimCompound {
  double mz = 0;  // monoisotopic ion
  int charge = 1;
  double apexTime = 0;  // seconds
  double sigma = 0;     // seconds
  double apexIntensity = 0;
  double isotopeRatio[2] = {0, 0};  // M+1 and M+2 relative to the monoisotopic ion
  double waterLossRatio = 0;        // 0: this compound loses no water in the source
  double tailSigma = 0;             // seconds; above 0: the profile falls with this sigma after its apex
  char polarity = '+';              // the scans it shows in (negative ones only with polarity switching)
  std::vector<SimFragment> fragments;
  // Highest stored monoisotopic intensity seen, and its share of that spectrum's TIC.
  double seenIntensity = 0;
  double seenTicShare = 0;

  double profile(double t) const;  // noise-free monoisotopic intensity at time t
  double widest() const { return tailSigma > sigma ? tailSigma : sigma; }  // seconds
  std::vector<double> ions() const;  // monoisotopic, isotopes, water loss
};

// One SRM transition of a compound; the product window is [low, high].
struct SimTransition {
  int compound = 0;
  double precursorMz = 0;
  double productMz = 0;
  double collisionEnergy = 0;
  double low = 0;
  double high = 0;
  double ratio = 0;  // apex intensity relative to the compound's
  std::string filterLine;
  std::string precursorText;
};

// The simulated run: its compounds (and SRM transitions) and the spectra they
// give at each point in time. Spectra are produced one at a time, in file order.
class RunModel {
 public:
  explicit RunModel(const SimConfig& config);
  // A full-scan run of the given compounds (fragments included) instead of
  // compounds of its own; the seed drives only the noise and scatter.
  RunModel(const SimConfig& config, const std::vector<SimCompound>& compounds);

  long cycles() const;  // MS1 spectra, or SRM spectra
  long ms2PerCycle() const { return ms2PerCycle_; }
  double cycleTime() const;  // seconds between MS1 spectra / SRM spectra
  double timeOf(long cycle) const;

  SimSpectrum fullScan(long cycle);
  std::vector<SimSpectrum> tandemScans(const SimSpectrum& fullScan);
  SimSpectrum srmScan(long index);

  // Records the stored intensities of a finished MS1 spectrum for the truth file.
  void noteStoredSpectrum(const SimSpectrum& spectrum);
  bool writeTruth(const std::string& path) const;

  const std::vector<SimCompound>& compounds() const { return compounds_; }
  // SRM only: the transitions, cycled through in this order.
  const std::vector<SimTransition>& transitions() const { return transitions_; }

 private:
  void placeCompounds(long count);
  double pickCompoundMz(double apexTime, int charge);
  void addFragments();
  void buildTransitions();
  bool nearExcludedIon(double mz, const std::vector<double>& ions) const;
  void addNoise(std::vector<SimPeak>& peaks, long count, double low, double high, double minIntensity,
                double maxIntensity, const std::vector<double>& excluded);
  std::vector<double> ionsElutingAt(double t) const;
  void finishOrder(std::vector<SimPeak>& peaks);
  void addEffects();
  void mergeCoincidentPeaks(std::vector<SimPeak>& peaks);
  double effectFactor(double t) const;  // growth of background and noise by drift

  SimConfig config_;
  SimRandom random_;
  SimRandom shuffle_;  // own stream, so that --unsorted changes only the peak order
  long ms2PerCycle_ = 0;
  std::vector<SimCompound> compounds_;      // in order of apex time
  std::vector<SimTransition> transitions_;  // SRM only
  std::vector<double> allIons_;             // sorted ions of every compound
  struct Bump {
    double time = 0;  // seconds
    double sigma = 0;
    double height = 0;  // fraction of the ion's level
  };
  struct Background {
    double mz = 0;
    double level = 0;
    std::vector<Bump> bumps;
    double at(double t) const;  // the level at time t, bumps included
  };
  std::vector<Background> background_;  // flat background ions
  SimRandom effects_;                   // own stream, so that the effects leave every other value unchanged
};

#endif
