// Centroid mass traces: peaks of nearly the same m/z followed across the
// spectra of a channel, as seeds of chromatograms for untargeted runs.
#include "processing/mass_traces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

bool usable(const StoredPeak& peak) {
  return std::isfinite(peak.mz) && std::isfinite(peak.intensity) && peak.intensity > 0;
}

// A trace while it is being followed.
struct OpenTrace {
  std::uint64_t id = 0;   // order of creation; breaks ties between equal means
  double mean = 0;        // intensity-weighted mean m/z so far
  double weightedMz = 0;  // sum of m/z times intensity, in spectrum order
  double weight = 0;      // sum of intensities
  MassTrace trace;
};

class TraceFollower {
 public:
  TraceFollower(const MassTraceSettings& settings, double noiseLevel)
      : settings_(settings), noiseLevel_(noiseLevel) {}

  void add(std::size_t position, const scan& spectrum) {
    closeStale(position);
    orderByMz(spectrum);
    // Each peak's candidates, the open traces whose mean lies within the
    // tolerance, form one run of the ordered open list; both lists ascend, so
    // the runs are found in one pass. Joins are decided against the means as
    // they stood before this spectrum, so the open list stays ordered meanwhile.
    const std::size_t count = byMz_.size();
    low_.resize(count);
    high_.resize(count);
    started_.assign(count, 0);
    contested_.clear();
    std::size_t low = 0, high = 0;
    for (std::size_t p = 0; p < count; ++p) {
      const double mz = byMz_[p]->mz;
      while (low < order_.size() && meanAt(low) < mz && !within(meanAt(low), mz)) ++low;
      if (high < low) high = low;
      while (high < order_.size() && (meanAt(high) <= mz || within(meanAt(high), mz))) ++high;
      low_[p] = low;
      high_[p] = high;
      if (low < high) {
        contested_.push_back(p);
      } else {
        started_[p] = 1;
      }
    }
    // Peaks with candidates take them from the most intense down.
    std::sort(contested_.begin(), contested_.end(), [this](std::size_t a, std::size_t b) {
      const StoredPeak& x = *byMz_[a];
      const StoredPeak& y = *byMz_[b];
      if (x.intensity != y.intensity) return x.intensity > y.intensity;
      return x.mz != y.mz ? x.mz < y.mz : a < b;
    });
    taken_.assign(order_.size(), false);
    joins_.clear();
    for (std::size_t p : contested_) {
      const std::size_t match = nearestFree(byMz_[p]->mz, low_[p], high_[p]);
      if (match < high_[p]) {
        taken_[match] = true;
        joins_.push_back({match, byMz_[p]});
      } else {
        started_[p] = 1;
      }
    }
    for (const Join& join : joins_) {
      Entry& entry = order_[join.position];
      materialise(entry);
      extend(pool_[entry.slot], position, *join.peak);
      entry.mean = pool_[entry.slot].mean;
      entry.last = position;
      if (entry.points < settings_.minPoints) ++entry.points;
    }
    // Means moved only a little: an insertion sort restores the order in
    // about one pass. New traces, made in m/z order (equal m/z in stored
    // order), are merged in.
    insertionSort(order_);
    fresh_.clear();
    for (std::size_t p = 0; p < count; ++p) {
      if (!started_[p]) continue;
      // Most new traces are noise that never grows: they stay in the list
      // alone, without a place in the pool, until a second peak joins.
      const StoredPeak& peak = *byMz_[p];
      fresh_.push_back({(peak.mz * peak.intensity) / peak.intensity, nextId_++, kNoSlot, 1, position, &peak});
    }
    insertionSort(fresh_);  // a mean can differ from its m/z in the last bit
    merged_.resize(order_.size() + fresh_.size());
    std::merge(order_.begin(), order_.end(), fresh_.begin(), fresh_.end(), merged_.begin(), before);
    order_.swap(merged_);
  }

  std::vector<MassTrace> finish() {
    for (Entry& entry : order_) {
      if (entry.points < settings_.minPoints) continue;
      materialise(entry);
      keepIfWorthy(pool_[entry.slot]);
    }
    order_.clear();
    std::sort(kept_.begin(), kept_.end(), [](const MassTrace& a, const MassTrace& b) {
      if (a.apex != b.apex) return a.apex < b.apex;
      if (a.mz != b.mz) return a.mz < b.mz;
      return a.first < b.first;
    });
    return std::move(kept_);
  }

 private:
  // An open trace in the ordered list: what ordering and closing need, beside
  // its slot in the pool.
  struct Entry {
    double mean;
    std::uint64_t id;
    std::uint32_t slot;
    std::uint32_t points;    // peaks so far, up to minPoints (closing reads the pool only for longer traces)
    std::size_t last;        // position of its last spectrum
    const StoredPeak* only;  // its one peak, while it has no slot
  };
  static constexpr std::uint32_t kNoSlot = 0xffffffffu;

  // Gives a trace of one peak its place in the pool.
  void materialise(Entry& entry) {
    if (entry.slot != kNoSlot) return;
    entry.slot = allocate();
    OpenTrace& trace = pool_[entry.slot];
    trace = OpenTrace();
    trace.id = entry.id;
    trace.trace.first = entry.last;
    extend(trace, entry.last, *entry.only);
  }

  struct Join {
    std::size_t position;  // in order_
    const StoredPeak* peak;
  };

  static bool before(const Entry& x, const Entry& y) {
    return x.mean != y.mean ? x.mean < y.mean : x.id < y.id;
  }

  static void insertionSort(std::vector<Entry>& slots) {
    for (std::size_t k = 1; k < slots.size(); ++k) {
      const Entry moving = slots[k];
      std::size_t at = k;
      for (; at > 0 && before(moving, slots[at - 1]); --at) slots[at] = slots[at - 1];
      slots[at] = moving;
    }
  }

  double meanAt(std::size_t k) const { return order_[k].mean; }

  bool within(double mean, double mz) const { return std::fabs(mz - mean) <= settings_.ppm * 1e-6 * mean; }

  // Position in order_ of the free trace nearest to mz among the candidates
  // low .. high-1 (the lower one on a tie), or high when all are taken.
  std::size_t nearestFree(double mz, std::size_t low, std::size_t high) const {
    std::size_t start = low;
    while (start < high && meanAt(start) < mz) ++start;
    std::size_t best = high;
    double bestDistance = 0;
    for (std::size_t k = start; k < high; ++k) {
      if (taken_[k] || !within(meanAt(k), mz)) continue;
      best = k;
      bestDistance = meanAt(k) - mz;
      break;
    }
    for (std::size_t k = start; k-- > low;) {
      if (taken_[k] || !within(meanAt(k), mz)) continue;
      if (best == high || mz - meanAt(k) <= bestDistance) best = k;
      break;
    }
    return best;
  }

  // The spectrum's usable peaks in ascending m/z, equal m/z in stored order.
  void orderByMz(const scan& spectrum) {
    byMz_.clear();
    bool sorted = true;
    for (const StoredPeak& peak : spectrum.peaks) {
      if (!usable(peak)) continue;
      if (!byMz_.empty() && peak.mz < byMz_.back()->mz) sorted = false;
      byMz_.push_back(&peak);
    }
    if (!sorted) {
      std::stable_sort(byMz_.begin(), byMz_.end(),
                       [](const StoredPeak* a, const StoredPeak* b) { return a->mz < b->mz; });
    }
  }

  std::uint32_t allocate() {
    if (!free_.empty()) {
      const std::uint32_t slot = free_.back();
      free_.pop_back();
      return slot;
    }
    pool_.emplace_back();
    return static_cast<std::uint32_t>(pool_.size() - 1);
  }

  void extend(OpenTrace& open, std::size_t position, const StoredPeak& peak) {
    open.weightedMz += peak.mz * peak.intensity;
    open.weight += peak.intensity;
    open.mean = open.weightedMz / open.weight;
    MassTrace& trace = open.trace;
    trace.last = position;
    ++trace.points;
    if (peak.intensity > trace.apexIntensity) {
      trace.apexIntensity = peak.intensity;
      trace.apex = position;
    }
  }

  void keepIfWorthy(const OpenTrace& open) {
    if (open.trace.points < settings_.minPoints || !(open.trace.apexIntensity > noiseLevel_)) return;
    kept_.push_back(open.trace);
    kept_.back().mz = open.mean;
  }

  // Closes the traces that have missed more than maxGap spectra before `position`.
  void closeStale(std::size_t position) {
    std::size_t stay = 0;
    for (std::size_t k = 0; k < order_.size(); ++k) {
      Entry& entry = order_[k];
      if (position - entry.last - 1 > settings_.maxGap) {
        if (entry.points >= settings_.minPoints) {
          materialise(entry);
          keepIfWorthy(pool_[entry.slot]);
        }
        if (entry.slot != kNoSlot) free_.push_back(entry.slot);
      } else {
        order_[stay++] = entry;
      }
    }
    order_.resize(stay);
  }

  const MassTraceSettings& settings_;
  double noiseLevel_;
  std::uint64_t nextId_ = 0;
  std::vector<OpenTrace> pool_;      // open traces and free slots
  std::vector<std::uint32_t> free_;  // free slots of pool_
  std::vector<Entry> order_;         // open traces by mean, then id
  std::vector<MassTrace> kept_;
  std::vector<const StoredPeak*> byMz_;  // this spectrum's usable peaks by m/z
  std::vector<std::size_t> low_;         // each peak's candidate traces: positions low_ .. high_-1 of order_
  std::vector<std::size_t> high_;
  std::vector<std::size_t> contested_;  // peaks with candidates, most intense first
  std::vector<char> started_;           // peaks that start a trace
  std::vector<bool> taken_;
  std::vector<Join> joins_;
  std::vector<Entry> fresh_;
  std::vector<Entry> merged_;
};

}  // namespace

double estimateNoiseLevel(const std::vector<const scan*>& spectra, double noiseFactor) {
  std::vector<double> intensities;
  for (const scan* spectrum : spectra) {
    for (const StoredPeak& peak : spectrum->peaks) {
      if (usable(peak)) intensities.push_back(peak.intensity);
    }
  }
  if (intensities.empty()) return 0;
  const auto middle = intensities.begin() + static_cast<std::ptrdiff_t>(intensities.size() / 2);
  std::nth_element(intensities.begin(), middle, intensities.end());
  return noiseFactor * *middle;
}

std::vector<MassTrace> buildMassTraces(const std::vector<const scan*>& spectra,
                                       const MassTraceSettings& settings) {
  const double noiseLevel =
      settings.noiseLevel >= 0 ? settings.noiseLevel : estimateNoiseLevel(spectra, settings.noiseFactor);
  TraceFollower follower(settings, noiseLevel);
  for (std::size_t position = 0; position < spectra.size(); ++position)
    follower.add(position, *spectra[position]);
  return follower.finish();
}
