// Centroid mass traces: peaks of nearly the same m/z followed across the
// spectra of a channel, as seeds of chromatograms for untargeted runs.
#include "processing/mass_traces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

bool usable(const datapeak& peak) {
  return std::isfinite(peak.mz) && std::isfinite(peak.intensity) && peak.intensity > 0;
}

// A trace while it is being followed.
struct OpenTrace {
  std::uint64_t id = 0;  // order of creation; breaks ties between equal means
  double mean = 0;       // intensity-weighted mean m/z so far
  double weightedMz = 0; // sum of m/z times intensity, in spectrum order
  double weight = 0;     // sum of intensities
  MassTrace trace;
};

bool byMean(const OpenTrace& a, const OpenTrace& b) { return a.mean != b.mean ? a.mean < b.mean : a.id < b.id; }

class TraceFollower {
 public:
  TraceFollower(const MassTraceSettings& settings, double noiseLevel)
      : settings_(settings), noiseLevel_(noiseLevel) {}

  void add(std::size_t position, const scan& spectrum) {
    closeStale(position);
    peaks_.clear();
    for (std::size_t k = 0; k < spectrum.peaks.size(); ++k) {
      if (usable(spectrum.peaks[k])) peaks_.push_back(&spectrum.peaks[k]);
    }
    std::sort(peaks_.begin(), peaks_.end(), [](const datapeak* a, const datapeak* b) {
      if (a->intensity != b->intensity) return a->intensity > b->intensity;
      return a->mz < b->mz;
    });
    // Joins are decided against the means as they stood before this spectrum,
    // so the open list stays ordered while the spectrum is matched.
    taken_.assign(open_.size(), false);
    joins_.clear();
    started_.clear();
    for (const datapeak* peak : peaks_) {
      const std::size_t match = nearestFree(peak->mz);
      if (match < open_.size()) {
        taken_[match] = true;
        joins_.push_back({match, peak});
      } else {
        started_.push_back(peak);
      }
    }
    for (const Join& join : joins_) extend(open_[join.trace], position, *join.peak);
    for (const datapeak* peak : started_) {
      OpenTrace fresh;
      fresh.id = nextId_++;
      fresh.trace.first = position;
      extend(fresh, position, *peak);
      open_.push_back(fresh);
    }
    // Means moved a little and new traces came at the end: nearly sorted.
    std::sort(open_.begin(), open_.end(), byMean);
  }

  std::vector<MassTrace> finish() {
    for (OpenTrace& trace : open_) keepIfWorthy(trace);
    open_.clear();
    std::sort(kept_.begin(), kept_.end(), [](const MassTrace& a, const MassTrace& b) {
      if (a.apex != b.apex) return a.apex < b.apex;
      if (a.mz != b.mz) return a.mz < b.mz;
      return a.first < b.first;
    });
    return std::move(kept_);
  }

 private:
  struct Join {
    std::size_t trace;
    const datapeak* peak;
  };

  bool within(double mean, double mz) const { return std::fabs(mz - mean) <= settings_.ppm * 1e-6 * mean; }

  // Position in open_ of the trace nearest to mz that may take it, or open_.size().
  std::size_t nearestFree(double mz) const {
    const auto above = std::lower_bound(open_.begin(), open_.end(), mz,
                                        [](const OpenTrace& trace, double value) { return trace.mean < value; });
    const std::size_t start = static_cast<std::size_t>(above - open_.begin());
    std::size_t best = open_.size();
    double bestDistance = 0;
    for (std::size_t k = start; k < open_.size() && within(open_[k].mean, mz) ; ++k) {
      if (taken_[k]) continue;
      best = k;
      bestDistance = open_[k].mean - mz;
      break;
    }
    for (std::size_t k = start; k-- > 0 && within(open_[k].mean, mz);) {
      if (taken_[k]) continue;
      // The lower trace wins a tie.
      if (best == open_.size() || mz - open_[k].mean <= bestDistance) best = k;
      break;
    }
    return best;
  }

  void extend(OpenTrace& open, std::size_t position, const datapeak& peak) {
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
    for (std::size_t k = 0; k < open_.size(); ++k) {
      if (position - open_[k].trace.last - 1 > settings_.maxGap) {
        keepIfWorthy(open_[k]);
      } else {
        if (stay != k) open_[stay] = open_[k];
        ++stay;
      }
    }
    open_.resize(stay);
  }

  const MassTraceSettings& settings_;
  double noiseLevel_;
  std::uint64_t nextId_ = 0;
  std::vector<OpenTrace> open_;  // ordered by mean, then id
  std::vector<MassTrace> kept_;
  std::vector<const datapeak*> peaks_;
  std::vector<bool> taken_;
  std::vector<Join> joins_;
  std::vector<const datapeak*> started_;
};

}  // namespace

double estimateNoiseLevel(const std::vector<const scan*>& spectra, double noiseFactor) {
  std::vector<double> intensities;
  for (const scan* spectrum : spectra) {
    for (const datapeak& peak : spectrum->peaks) {
      if (usable(peak)) intensities.push_back(peak.intensity);
    }
  }
  if (intensities.empty()) return 0;
  const auto middle = intensities.begin() + static_cast<std::ptrdiff_t>(intensities.size() / 2);
  std::nth_element(intensities.begin(), middle, intensities.end());
  return noiseFactor * *middle;
}

std::vector<MassTrace> buildMassTraces(const std::vector<const scan*>& spectra, const MassTraceSettings& settings) {
  const double noiseLevel =
      settings.noiseLevel >= 0 ? settings.noiseLevel : estimateNoiseLevel(spectra, settings.noiseFactor);
  TraceFollower follower(settings, noiseLevel);
  for (std::size_t position = 0; position < spectra.size(); ++position) follower.add(position, *spectra[position]);
  return follower.finish();
}
