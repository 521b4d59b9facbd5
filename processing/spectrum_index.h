#ifndef TORVA_PROCESSING_SPECTRUM_INDEX_H
#define TORVA_PROCESSING_SPECTRUM_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "records/chrom.h"
#include "records/records.h"
#include "util/same_bits.h"

struct RunData;
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
  ChannelSpectra(const RunData& run, const channel& ch);

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

// `given` when there is one, else the channel's spectra prepared into `own`.
inline const ChannelSpectra& preparedSpectra(const ChannelSpectra* given,
                                             std::unique_ptr<ChannelSpectra>& own, const RunData& run,
                                             const channel& ch) {
  if (given != nullptr) return *given;
  own = std::make_unique<ChannelSpectra>(run, ch);
  return *own;
}

// Traces of one channel for targets taken in non-decreasing m/z order. In a
// sorted spectrum both ends of a target's window range only move up as the
// target grows, so each trace moves the ends on from where the previous target
// left them; unsorted spectra are scanned in full. A spectrum's value changes
// only at the few targets where its range does, so the sweep notes just those
// changes, and a trace is put together from them when it is asked for.
class WindowSweep {
 public:
  // Each target's window is massWindow(target, tolerance, ppm) wide either side.
  WindowSweep(const ChannelSpectra& spectra, double tolerance, double ppm = 0);

  // Targets traced together.
  static constexpr std::size_t kBlock = 256;

  // Takes the next `count` (at most kBlock) targets, in non-decreasing order:
  // every spectrum's window sum for each of them, the sum of the intensities of
  // the peaks p with target > p.mz - tolerance and target < p.mz + tolerance,
  // added from 0.0 in stored order. The targets are taken together spectrum by
  // spectrum, so each spectrum's peaks are fetched once for the lot. Targets
  // that are out of order (or NaN) are answered by plain lookups. changed[t]
  // tells whether the trace of targets[t] differs in any bit from the trace of
  // the target traced just before it (true for the first target traced).
  // Large channels are swept on up to `workers` threads (the default: all).
  void trace(const double* targets, std::size_t count, bool* changed, std::size_t workers = 0);

  // Copies the trace of target t of the last trace() call into `out` and
  // returns its total, the values added from 0.0 in order. Within one call of
  // trace(), t must not decrease from one copy to the next.
  double column(std::size_t t, std::vector<double>& out);

 private:
  // A spectrum's value from target `t` of the block on (until its next change).
  struct Change {
    std::size_t t;
    double value;
  };
  // The sweep over spectra from .. to-1, noting their changes in `changes`;
  // sets changed[t] where a spectrum's value for targets[t] differs from its
  // value for the target before. With `fixedWindow` (a window of a fixed
  // number of daltons) a sorted spectrum is visited only at the targets where
  // its range moves.
  void sweepSpectra(std::size_t from, std::size_t to, const double* targets, std::size_t count,
                    bool fixedWindow, std::vector<Change>& changes, bool* changed);
  // One sorted spectrum's part of it, from and to the window ends low .. high
  // and the value `last` of the target before.
  void sweepRelativeWindow(const ChannelSpectra::Spectrum& s, const double* targets, std::size_t count,
                           std::size_t& low, std::size_t& high, double& last, std::vector<Change>& changes,
                           bool* changed) const;
  void sweepFixedWindow(const ChannelSpectra::Spectrum& s, const double* targets, std::size_t count,
                        std::size_t& low, std::size_t& high, double& last, std::vector<Change>& changes,
                        bool* changed) const;
  // Ends a spectrum's changes with an entry whose target no copy reaches.
  static void endList(std::vector<Change>& changes) {
    changes.push_back({static_cast<std::size_t>(-1), 0.0});
  }
  // Notes spectrum k's value `sum` for targets[t] when it differs from `last`.
  static void note(std::vector<Change>& changes, std::size_t t, double sum, double& last, bool* changed) {
    if (sameBits(sum, last)) return;
    // Filled in place: a whole Change built first and copied in would be
    // read back before its two halves are stored, which stalls.
    Change& change = changes.emplace_back();
    change.t = t;
    change.value = sum;
    changed[t] = true;
    last = sum;
  }

  const ChannelSpectra& spectra_;
  double tolerance_;
  double ppm_;
  double previous_;
  bool started_ = false;
  std::vector<std::size_t> low_;                  // first peak with target < mz + tolerance
  std::vector<std::size_t> high_;                 // first peak with !(target > mz - tolerance)
  std::vector<double> last_;                      // each spectrum's value for the last target swept
  bool lastFromPositions_ = false;                // last_ holds the sums of the ranges low_ .. high_
  bool traced_ = false;                           // some target was traced
  std::vector<std::vector<Change>> partChanges_;  // changes noted by each range of spectra
  std::vector<std::size_t> changesBegin_;         // each spectrum's first change, in its part's list
  std::vector<const Change*> cursor_;             // each spectrum's next change not yet copied
  std::vector<double> current_;                   // each spectrum's value as of the last copy
  std::unique_ptr<bool[]> partChanged_;           // changes noted by each range of spectra
  std::size_t partChangedSize_ = 0;
};

// Positions first .. chroms.size()-1 of `chroms`, ordered by m/z (NaN last,
// ties in list order). Chromatograms with nearby m/z often have identical
// traces, which the cache of processed traces then finds one after another.
std::vector<std::size_t> orderByMz(const std::vector<chrom>& chroms, std::size_t first);

#endif
