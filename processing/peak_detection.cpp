// Peak detection and quantitation of every chromatogram: denoise and smooth the
// trace, find the apex nearest the seed spectrum, walk down both flanks, integrate
// the raw trace between the edges and average the m/z of the feature's peaks.
#include <cstddef>
#include <cstdint>

#include "processing/filterer.h"
#include "run/file_handle.h"

namespace {

const int kDenoisePasses = 10;
const double kDenoiseFraction = 0.15;
const int kSevenPointWindow = 5;       // smoothing selectors up to 5 choose the 7-point window
const std::size_t kShortestSmoothedTrace = 12;
const int kDropsEndingWalk = 2;
const double kWidestFlank = 30;        // per side, in the unit of rt (seconds for mzXML)

// The highest point one apex walk has met, and how often it went downhill.
struct ApexWalk {
  double highest = 0.0;
  std::size_t index = 0;
  double time = 0;
  std::int32_t scanNumber = 0;
  int drops = 0;

  // Takes the point at k; returns false once the walk is over.
  bool visit(const chrom& X, const std::vector<double>& y, std::size_t k, double cutoff) {
    const double value = y.at(k);
    if (value > highest) {
      highest = value;
      index = k;
      time = X.times.at(k);
      scanNumber = X.scanNumbers.at(k);
    } else if (value < highest) {
      ++drops;
    } else if (highest < cutoff) {
      // A flat stretch at a level below the cutoff (typically zeros) ends the walk.
      return false;
    }
    return drops < kDropsEndingWalk;
  }
};

// Index of the first point whose time equals the seed time exactly, or -1.
std::ptrdiff_t seedIndex(const chrom& X, std::size_t points) {
  for (std::size_t k = 0; k < X.times.size() && k < points; ++k) {
    if (X.times[k] == X.seedTime) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

// One below the first point at which the left flank stops descending, runs
// below the floor or lies too far from the apex; -1 for an apex at index 0.
std::ptrdiff_t peakStart(const std::vector<double>& y, const std::vector<double>& raw,
                         const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return -1;
  if (apex == 1) return 0;
  const std::size_t n = y.size();
  std::size_t left = apex;
  for (;;) {
    // An apex at the last point has no flank walk at all.
    if (left + 1 >= n) return static_cast<std::ptrdiff_t>(left) - 1;
    const bool descends = y.at(left) > y.at(left - 1) && raw.at(left) > floor &&
                          t.at(apex) - t.at(left) <= kWidestFlank;
    if (!descends) return static_cast<std::ptrdiff_t>(left) - 1;
    --left;
    if (left <= 1) return static_cast<std::ptrdiff_t>(left) - 1;
  }
}

// One past the first point at which the right flank stops descending, runs
// below the floor or lies too far from the apex.
std::size_t peakEnd(const std::vector<double>& y, const std::vector<double>& raw,
                    const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return 1;
  const std::size_t n = y.size();
  std::size_t right = apex;
  for (;;) {
    if (right + 1 >= n) return right + 1;
    const bool descends = y.at(right) > y.at(right + 1) && raw.at(right) > floor &&
                          t.at(right) - t.at(apex) <= kWidestFlank;
    if (!descends) return right + 1;
    ++right;
  }
}

// Mean m/z of the in-window peaks of the spectra behind points start .. end-1.
// Point k of a chromatogram is built from the channel's own k-th spectrum.
void featureMass(const fileHandle& run, const channel& ch, chrom& X, std::size_t start,
                 std::size_t end, double tolerance) {
  double sum = 0.0;
  long long count = 0;
  for (std::size_t k = start; k < end; ++k) {
    if (k >= ch.scans.size() || ch.scans[k] >= run.scans.size()) continue;
    for (const datapeak& peak : run.scans[ch.scans[k]].peaks) {
      if (peak.mz > X.mz - tolerance && peak.mz < X.mz + tolerance) {
        sum += peak.mz;
        ++count;
      }
    }
  }
  if (count > 0) X.peakMz = sum / count;
}

void markNoPeak(chrom& X) {
  X.apexIntensity = 0;
  X.apexTime = 0;
  X.apexScan = 0;
  X.peakMz = X.mz;
}

}  // namespace

void filterer::processXIC(fileHandle& run) {
  const double cutoffLevel = static_cast<double>(cutoff);
  const double edgeFloor = static_cast<double>(cutoff / 500);
  for (channel& ch : run.channels) {
    for (chrom& X : ch.chroms) {
      X.apexTime = 0;
      X.apexIntensity = 0;
      chrom W = X;  // keeps the raw trace

      if (skipDenoise == 0) {
        double fraction = kDenoiseFraction;
        waveletDenoise(fraction, kDenoisePasses, X);
      }
      if (X.intensities.size() >= kShortestSmoothedTrace) SGsmooth(kSevenPointWindow, X);

      const std::vector<double>& y = X.intensities;
      const std::size_t n = y.size();
      const std::ptrdiff_t seed = seedIndex(X, n);
      if (seed < 0) {
        markNoPeak(X);
        continue;
      }
      const std::size_t e = static_cast<std::size_t>(seed);

      ApexWalk left;
      left.index = e;
      for (std::size_t k = e + 1; k-- > 0;) {
        if (!left.visit(X, y, k, cutoffLevel)) break;
      }
      ApexWalk right;
      right.index = e;
      for (std::size_t k = e; k < n; ++k) {
        if (!right.visit(X, y, k, cutoffLevel)) break;
      }

      // The walk that climbed; when both did, the apex nearer the seed (left on a tie).
      const ApexWalk* chosen = &right;
      if (left.index != e) {
        if (right.index == e || e - left.index <= right.index - e) chosen = &left;
      }
      W.apexIntensity = chosen->highest;
      W.apexTime = chosen->time;
      W.apexScan = chosen->scanNumber;
      W.peakMz = X.mz;

      if (W.apexIntensity == 0 || X.mz == 0) {
        markNoPeak(X);
        continue;
      }

      const std::size_t apex = chosen->index;
      const std::ptrdiff_t start = peakStart(y, W.intensities, X.times, apex, edgeFloor);
      const std::size_t S = start < 0 ? 0 : static_cast<std::size_t>(start);
      const std::size_t E = peakEnd(y, W.intensities, X.times, apex, edgeFloor);
      trapizoid(W, static_cast<int>(S), static_cast<int>(E));

      X = W;
      X.startScan = X.scanNumbers.at(S);
      X.endScan = X.scanNumbers.at(E - 1);
      X.apexScan = X.scanNumbers.at(apex);
      featureMass(run, ch, X, S, E, massTolerance);
    }
  }
}
