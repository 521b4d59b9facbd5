#ifndef TORVA_PROCESSING_SPECTRUM_INDEX_H
#define TORVA_PROCESSING_SPECTRUM_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "records/chrom.h"
#include "records/records.h"

class fileHandle;
struct channel;

// The spectra of one channel, prepared for m/z window queries. A spectrum whose
// peaks are stored in non-decreasing m/z order (all m/z finite) has each
// window's peaks in one contiguous index range, found by binary search with the
// very comparisons of the plain scan; any other spectrum is scanned peak by
// peak. Either way the same peaks are summed in the same stored order, so the
// results are identical bit for bit. The store must outlive the index and keep
// its spectra unchanged meanwhile.
class ChannelSpectra {
 public:
  ChannelSpectra(const fileHandle& run, const channel& ch);

  std::size_t size() const { return spectra_.size(); }

  // Sum, from 0.0 in stored order, of the intensities of the peaks p of
  // spectrum k with target > p.mz - tolerance and target < p.mz + tolerance.
  double windowSum(std::size_t k, double target, double tolerance) const;

  // For every peak p of spectrum k, in stored order, with p.mz > low and
  // p.mz < high: adds p.mz to `sum` and 1 to `count`. A spectrum missing from
  // the store adds nothing.
  void addMassesInWindow(std::size_t k, double low, double high, double& sum, long long& count) const;

 private:
  friend class WindowSweep;
  struct Spectrum {
    const StoredPeak* peaks = nullptr;
    std::size_t count = 0;
    bool sorted = false;
  };
  std::vector<Spectrum> spectra_;
};

// Traces of one channel for targets taken in non-decreasing m/z order. In a
// sorted spectrum both ends of a target's window range only move up as the
// target grows, so each trace moves the ends on from where the previous target
// left them; unsorted spectra are scanned in full.
class WindowSweep {
 public:
  // Each target's window is massWindow(target, tolerance, ppm) wide either side.
  WindowSweep(const ChannelSpectra& spectra, double tolerance, double ppm = 0);

  // Targets traced together, and the interleaving of their values.
  static constexpr std::size_t kBlock = 256;
  static constexpr std::size_t kLanes = 8;

  // For each of `count` (at most kBlock) targets in non-decreasing order,
  // the window sum of every spectrum k for targets[t], stored at
  // block[((t / kLanes) * size + k) * kLanes + t % kLanes] (size = number of
  // spectra; the block holds kBlock * size values). The targets are taken
  // together spectrum by spectrum, so each spectrum's peaks are fetched once
  // for the lot, and the values of eight targets for one spectrum fill one
  // cache line. Targets that are out of order (or NaN) are answered by plain
  // lookups. changed[t] tells whether the trace of targets[t] differs in any
  // bit from the trace of the target traced just before it (true for the
  // first target traced).
  void trace(const double* targets, std::size_t count, double* block, bool* changed);

  // Copies the trace of target t out of a block filled by trace().
  void column(const double* block, std::size_t t, std::vector<double>& out) const;

 private:
  // The ordered sweep over spectra from .. to-1; sets changed[t] where a
  // spectrum's value for targets[t] differs from its value for the target before.
  void sweepSpectra(std::size_t from, std::size_t to, const double* targets, std::size_t count, double* block,
                    bool* changed);

  const ChannelSpectra& spectra_;
  double tolerance_;
  double ppm_;
  double previous_;
  bool started_ = false;
  std::vector<std::size_t> low_;         // first peak with target < mz + tolerance
  std::vector<std::size_t> high_;        // first peak with !(target > mz - tolerance)
  std::vector<double> last_;             // each spectrum's value for the last target traced
  bool lastFromPositions_ = false;       // last_ holds the sums of the ranges low_ .. high_
  bool traced_ = false;                  // some target was traced
  std::unique_ptr<bool[]> partChanged_;  // changes noted by each range of spectra
  std::size_t partChangedSize_ = 0;
};

// Positions first .. chroms.size()-1 of `chroms`, ordered by m/z (NaN last,
// ties in list order). Chromatograms with nearby m/z often have identical
// traces, which the cache of processed traces then finds one after another.
std::vector<std::size_t> orderByMz(const std::vector<chrom>& chroms, std::size_t first);

#endif
