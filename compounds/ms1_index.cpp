#include "compounds/ms1_index.h"

#include <algorithm>
#include <cmath>

#include "features/full_scan_groups.h"

namespace {

bool byMz(const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; }

// Whether peaks are in m/z order, and whether their m/z are all finite numbers (their sum is then finite
// too).
bool inOrder(const std::vector<StoredPeak>& peaks, bool& finite) {
  double sum = 0;
  bool sorted = true;
  for (std::size_t k = 0; k < peaks.size(); ++k) {
    sum += peaks[k].mz;
    if (k > 0 && peaks[k].mz < peaks[k - 1].mz) sorted = false;
  }
  finite = std::isfinite(sum);
  return sorted;
}

}  // namespace

Ms1Index::Ms1Index(const std::vector<scan>& scans, char polarity) {
  const std::vector<FullScanGroup> groups = fullScanGroups(scans, 1);
  if (const FullScanGroup* group = groupOfPolarity(groups, polarity)) spectra_ = group->spectra;
  sortedCopies_.reserve(spectra_.size());
  for (const scan* spectrum : spectra_) {
    times_.push_back(spectrum->rt);
    bool finite = false;
    const bool sorted = inOrder(spectrum->peaks, finite);
    ordered_.push_back(finite ? 1 : 0);
    if (sorted) {
      peaks_.push_back(&spectrum->peaks);
    } else {
      sortedCopies_.push_back(spectrum->peaks);
      std::stable_sort(sortedCopies_.back().begin(), sortedCopies_.back().end(), byMz);
      peaks_.push_back(&sortedCopies_.back());
    }
  }
}

std::size_t Ms1Index::firstAtOrAfter(double seconds) const {
  return static_cast<std::size_t>(std::lower_bound(times_.begin(), times_.end(), seconds) - times_.begin());
}

std::size_t Ms1Index::firstAfter(double seconds) const {
  return static_cast<std::size_t>(std::upper_bound(times_.begin(), times_.end(), seconds) - times_.begin());
}

std::size_t Ms1Index::nearest(double seconds) const {
  if (times_.empty()) return 0;
  const std::size_t after = firstAtOrAfter(seconds);
  if (after == 0) return 0;
  if (after == times_.size()) return times_.size() - 1;
  return seconds - times_[after - 1] <= times_[after] - seconds ? after - 1 : after;
}
