#include "processing/spectrum_index.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "records/run_data.h"
#include "util/mass_window.h"
#include "util/parallel_for.h"
#include "util/same_bits.h"

namespace {

bool sortedByMz(const std::vector<StoredPeak>& peaks) {
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    if (!std::isfinite(peaks[i].mz)) return false;
    if (i > 0 && peaks[i - 1].mz > peaks[i].mz) return false;
  }
  return true;
}

// Moves `position` up to the first peak for which `inPrefix` is false, where
// `inPrefix` holds for a prefix of the peaks: a few single steps, then a
// binary search over the rest.
template <typename Predicate>
std::size_t advance(const StoredPeak* peaks, std::size_t count, std::size_t position, Predicate inPrefix) {
  for (int step = 0; step < 8; ++step) {
    if (position >= count || !inPrefix(peaks[position])) return position;
    ++position;
  }
  return static_cast<std::size_t>(std::partition_point(peaks + position, peaks + count, inPrefix) - peaks);
}

// The first of the sorted values first .. last-1 for which `inPrefix` is
// false, where it holds for a prefix: found by doubling steps from the front,
// so that a next move that is near (often the very next target) is cheap.
template <typename Predicate>
const double* gallop(const double* first, const double* last, Predicate inPrefix) {
  std::size_t step = 1;
  const double* below = first;  // inPrefix holds before `below`
  while (below < last && inPrefix(*below)) {
    first = below + 1;
    below = static_cast<std::size_t>(last - below) > step ? below + step : last;
    step *= 2;
  }
  return std::partition_point(first, below, inPrefix);
}

}  // namespace

ChannelSpectra::ChannelSpectra(const RunData& run, const channel& ch) {
  const std::size_t n = ch.scans.size();
  spectra_.resize(n);
  std::size_t peakCount = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (ch.scans[k] >= run.scans.size()) continue;  // left empty
    const std::vector<StoredPeak>& peaks = run.scans[ch.scans[k]].peaks;
    spectra_[k].peaks = peaks.data();
    spectra_[k].count = peaks.size();
    peakCount += peaks.size();
  }
  // The order of every peak is checked; a large channel's ranges of spectra side by side.
  const std::size_t kMinPeaksPerWorker = std::size_t{1} << 18;
  const std::size_t parts = std::max<std::size_t>(1, std::min(workerCount(), peakCount / kMinPeaksPerWorker));
  parallelFor(parts, parts, [&](std::size_t part, std::size_t) {
    for (std::size_t k = n * part / parts; k < n * (part + 1) / parts; ++k) {
      if (ch.scans[k] < run.scans.size()) spectra_[k].sorted = sortedByMz(run.scans[ch.scans[k]].peaks);
    }
  });
}

double ChannelSpectra::windowSum(std::size_t k, double target, double tolerance) const {
  const Spectrum& s = spectra_[k];
  const StoredPeak* first = s.peaks;
  const StoredPeak* last = s.peaks + s.count;
  if (!s.sorted) {
    double sum = 0.0;
    for (const StoredPeak* p = first; p != last; ++p) {
      if (target > p->mz - tolerance && target < p->mz + tolerance) sum += p->intensity;
    }
    return sum;
  }
  // With m/z ascending, "target < mz + tolerance" is false on a prefix and
  // "target > mz - tolerance" true on a prefix; the window lies between the two ends.
  const StoredPeak* low =
      std::partition_point(first, last, [&](const StoredPeak& p) { return !(target < p.mz + tolerance); });
  const StoredPeak* high =
      std::partition_point(first, last, [&](const StoredPeak& p) { return target > p.mz - tolerance; });
  double sum = 0.0;
  for (const StoredPeak* p = low; p < high; ++p) sum += p->intensity;
  return sum;
}

void ChannelSpectra::addMassesInWindow(std::size_t k, double low, double high, double& sum,
                                       long long& count) const {
  if (k >= spectra_.size()) return;
  const Spectrum& s = spectra_[k];
  const StoredPeak* first = s.peaks;
  const StoredPeak* last = s.peaks + s.count;
  if (!s.sorted) {
    for (const StoredPeak* p = first; p != last; ++p) {
      if (p->mz > low && p->mz < high) {
        sum += p->mz;
        ++count;
      }
    }
    return;
  }
  const StoredPeak* begin =
      std::partition_point(first, last, [&](const StoredPeak& p) { return !(p.mz > low); });
  const StoredPeak* end = std::partition_point(first, last, [&](const StoredPeak& p) { return p.mz < high; });
  for (const StoredPeak* p = begin; p < end; ++p) {
    sum += p->mz;
    ++count;
  }
}

WindowSweep::WindowSweep(const ChannelSpectra& spectra, double tolerance, double ppm)
    : spectra_(spectra),
      tolerance_(tolerance),
      ppm_(ppm),
      previous_(0),
      low_(spectra.size(), 0),
      high_(spectra.size(), 0),
      last_(spectra.size(), 0.0),
      changesBegin_(spectra.size(), 0),
      cursor_(spectra.size(), nullptr),
      current_(spectra.size(), 0.0) {}

void WindowSweep::trace(const double* targets, std::size_t count, bool* changed, std::size_t workers) {
  const std::size_t n = spectra_.size();
  if (count == 0) return;
  // Each spectrum's value as the previous block left it, whatever was copied.
  current_ = last_;
  for (std::size_t t = 0; t < count; ++t) changed[t] = t == 0 && !traced_;
  traced_ = true;
  bool ordered = true;
  double previous = previous_;
  bool started = started_;
  for (std::size_t t = 0; t < count; ++t) {
    if (std::isnan(targets[t]) || (started && targets[t] < previous)) ordered = false;
    previous = targets[t];
    started = true;
  }
  if (!ordered) {
    if (partChanges_.empty()) partChanges_.resize(1);
    std::vector<Change>& changes = partChanges_[0];
    changes.clear();
    for (std::size_t k = 0; k < n; ++k) {
      changesBegin_[k] = changes.size();
      double last = last_[k];
      for (std::size_t t = 0; t < count; ++t) {
        changed[t] = true;
        note(changes, t, spectra_.windowSum(k, targets[t], massWindow(targets[t], tolerance_, ppm_)), last,
             changed);
      }
      last_[k] = last;
      endList(changes);
    }
    for (std::size_t k = 0; k < n; ++k) {
      cursor_[k] = changes.data() + changesBegin_[k];
    }
    lastFromPositions_ = false;
    return;
  }
  started_ = true;
  previous_ = targets[count - 1];
  // Spectra are independent of each other: large channels are split into
  // ranges of spectra swept side by side, each noting its own changes.
  const std::size_t kMinSpectraPerWorker = 256;
  if (workers == 0) workers = workerCount();
  const std::size_t parts = std::max<std::size_t>(1, std::min(workers, n / kMinSpectraPerWorker));
  if (partChanges_.size() < parts) partChanges_.resize(parts);
  if (partChangedSize_ < parts * count) {
    partChangedSize_ = parts * count;
    partChanged_.reset(new bool[partChangedSize_]);
  }
  std::fill(partChanged_.get(), partChanged_.get() + parts * count, false);
  const bool fixedWindow = !(ppm_ > 0) && std::isfinite(tolerance_);
  parallelFor(parts, parts, [&](std::size_t part, std::size_t) {
    std::vector<Change>& changes = partChanges_[part];
    changes.clear();
    bool* partChanged = partChanged_.get() + part * count;
    const std::size_t from = n * part / parts;
    const std::size_t to = n * (part + 1) / parts;
    sweepSpectra(from, to, targets, count, fixedWindow, changes, partChanged);
  });
  for (std::size_t part = 0; part < parts; ++part) {
    for (std::size_t t = 0; t < count; ++t) changed[t] |= partChanged_[part * count + t];
    const Change* first = partChanges_[part].data();
    for (std::size_t k = n * part / parts; k < n * (part + 1) / parts; ++k) {
      cursor_[k] = first + changesBegin_[k];
    }
  }
  lastFromPositions_ = true;
}

void WindowSweep::sweepSpectra(std::size_t from, std::size_t to, const double* targets, std::size_t count,
                               bool fixedWindow, std::vector<Change>& changes, bool* changed) {
  const std::size_t lookahead = 4;
  for (std::size_t k = from; k < to; ++k) {
    changesBegin_[k] = changes.size();
    // The window of a spectrum a few steps ahead is fetched while this one is summed.
    if (k + lookahead < to) {
      const ChannelSpectra::Spectrum& ahead = spectra_.spectra_[k + lookahead];
      if (low_[k + lookahead] < ahead.count) __builtin_prefetch(ahead.peaks + low_[k + lookahead]);
      if (high_[k + lookahead] < ahead.count) __builtin_prefetch(ahead.peaks + high_[k + lookahead]);
    }
    const ChannelSpectra::Spectrum& s = spectra_.spectra_[k];
    double last = last_[k];
    std::size_t low = low_[k];
    std::size_t high = high_[k];
    if (!s.sorted) {
      for (std::size_t t = 0; t < count; ++t) {
        note(changes, t, spectra_.windowSum(k, targets[t], massWindow(targets[t], tolerance_, ppm_)), last,
             changed);
      }
    } else if (fixedWindow) {
      sweepFixedWindow(s, targets, count, low, high, last, changes, changed);
    } else {
      sweepRelativeWindow(s, targets, count, low, high, last, changes, changed);
    }
    low_[k] = low;
    high_[k] = high;
    last_[k] = last;
    endList(changes);
  }
}

void WindowSweep::sweepRelativeWindow(const ChannelSpectra::Spectrum& s, const double* targets,
                                      std::size_t count, std::size_t& low, std::size_t& high, double& last,
                                      std::vector<Change>& changes, bool* changed) const {
  // A relative window grows with the target, so both of its ends still only
  // move up as the targets do. The same range of peaks gives the same sum, bit for bit.
  bool known = lastFromPositions_;
  for (std::size_t t = 0; t < count; ++t) {
    const double target = targets[t];
    const double tolerance = massWindow(target, tolerance_, ppm_);
    const std::size_t newLow = advance(s.peaks, s.count, low, [target, tolerance](const StoredPeak& p) {
      return !(target < p.mz + tolerance);
    });
    const std::size_t newHigh = advance(s.peaks, s.count, high, [target, tolerance](const StoredPeak& p) {
      return target > p.mz - tolerance;
    });
    if (!known || newLow != low || newHigh != high) {
      double sum = 0.0;
      for (std::size_t i = newLow; i < newHigh; ++i) sum += s.peaks[i].intensity;
      note(changes, t, sum, last, changed);
      low = newLow;
      high = newHigh;
      known = true;
    }
  }
}

void WindowSweep::sweepFixedWindow(const ChannelSpectra::Spectrum& s, const double* targets,
                                   std::size_t count, std::size_t& low, std::size_t& high, double& last,
                                   std::vector<Change>& changes, bool* changed) const {
  const double tolerance = tolerance_;
  const double* const end = targets + count;
  const auto moveTo = [&](std::size_t t) {
    const double target = targets[t];
    low = advance(s.peaks, s.count, low,
                  [target, tolerance](const StoredPeak& p) { return !(target < p.mz + tolerance); });
    high = advance(s.peaks, s.count, high,
                   [target, tolerance](const StoredPeak& p) { return target > p.mz - tolerance; });
    double sum = 0.0;
    for (std::size_t i = low; i < high; ++i) sum += s.peaks[i].intensity;
    note(changes, t, sum, last, changed);
  };
  std::size_t t = 0;
  if (!lastFromPositions_) moveTo(t++);  // the range's sum is not known yet
  // The low end moves at the first target with !(target < mz + tolerance) of
  // its peak, the high end at the first with target > mz - tolerance: the
  // very comparisons that move them, made once per move instead of per target.
  while (t < count) {
    const double* next = end;
    if (low < s.count) {
      const double bound = s.peaks[low].mz + tolerance;
      next = gallop(targets + t, end, [bound](double target) { return target < bound; });
    }
    if (high < s.count) {
      const double bound = s.peaks[high].mz - tolerance;
      next = gallop(targets + t, next, [bound](double target) { return !(target > bound); });
    }
    if (next == end) break;
    t = static_cast<std::size_t>(next - targets);
    moveTo(t++);
  }
}

namespace {

// `chosen` when `take`, else `other`, by masking bits rather than branching.
inline double choose(bool take, double chosen, double other) {
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  std::memcpy(&a, &chosen, sizeof a);
  std::memcpy(&b, &other, sizeof b);
  const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(take);
  const std::uint64_t bits = (a & mask) | (b & ~mask);
  double result = 0;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

}  // namespace

double WindowSweep::column(std::size_t t, std::vector<double>& out) {
  const std::size_t n = spectra_.size();
  out.resize(n);
  double total = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const Change* change = cursor_[k];
    double value = current_[k];
    // Between two copies a spectrum mostly has no change or one, and which of
    // the two is hard to foretell: that step is taken without a branch. Each
    // spectrum's changes end with an entry that is never taken (see endList).
    const bool step = change->t <= t;
    value = choose(step, change->value, value);
    change += step;
    while (change->t <= t) value = (change++)->value;
    cursor_[k] = change;
    current_[k] = value;
    out[k] = value;
    total += value;
  }
  return total;
}

std::vector<std::size_t> orderByMz(const std::vector<chrom>& chroms, std::size_t first) {
  std::vector<std::size_t> order;
  order.reserve(chroms.size() - std::min(first, chroms.size()));
  for (std::size_t i = first; i < chroms.size(); ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&chroms](std::size_t a, std::size_t b) {
    const double x = chroms[a].mz;
    const double y = chroms[b].mz;
    if (std::isnan(x)) return false;
    return std::isnan(y) || x < y;
  });
  return order;
}
