#ifndef TORVA_COMPOUNDS_MS1_INDEX_H
#define TORVA_COMPOUNDS_MS1_INDEX_H

#include <algorithm>
#include <cstddef>
#include <vector>

#include "records/records.h"

// The MS1 spectra of one polarity that the run's features are read from (fullScanGroups: those of the
// most accurate mass analyzer), in time order, each with its peaks in m/z order.
class Ms1Index {
 public:
  Ms1Index(const std::vector<scan>& scans, char polarity);
  std::size_t size() const { return spectra_.size(); }
  // The spectrum nearest `seconds`; size() when there is none.
  std::size_t nearest(double seconds) const;
  const scan& spectrum(std::size_t k) const { return *spectra_[k]; }
  const std::vector<StoredPeak>& peaks(std::size_t k) const { return *peaks_[k]; }
  double seconds(std::size_t k) const { return times_[k]; }
  std::size_t firstAtOrAfter(double seconds) const;
  std::size_t firstAfter(double seconds) const;
  // Summed intensity of spectrum k within [low, high] m/z.
  double sumIn(std::size_t k, double low, double high) const;
  // Whether spectrum k's peaks all have an m/z of a number, finite (sorted they are in any case).
  bool ordered(std::size_t k) const { return ordered_[k] != 0; }

 private:
  std::vector<const scan*> spectra_;
  std::vector<double> times_;
  std::vector<std::vector<StoredPeak>> sortedCopies_;
  std::vector<const std::vector<StoredPeak>*> peaks_;
  std::vector<char> ordered_;
};

// Here, where the reading of the traces (a third of a million sums on a crowded run) can inline it.
inline double Ms1Index::sumIn(std::size_t k, double low, double high) const {
  const std::vector<StoredPeak>& list = *peaks_[k];
  auto it = std::lower_bound(list.begin(), list.end(), low,
                             [](const StoredPeak& peak, double mz) { return peak.mz < mz; });
  double sum = 0;
  for (; it != list.end() && it->mz <= high; ++it) sum += it->intensity;
  return sum;
}

#endif
