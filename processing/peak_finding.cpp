// Peak finding in one processed trace: the apex nearest the seed spectrum,
// both flanks walked down from it, and the trapezoid area of the raw trace
// between the edges.
#include "processing/peak_finding.h"

#include <cstddef>
#include <cstdint>

#include "processing/smoothing.h"

namespace {

const int kDropsEndingWalk = 2;
const double kWidestFlank = 30;  // per side, in the unit of rt (seconds for mzXML)

// The highest point one apex walk has met, and how often it went downhill.
struct ApexWalk {
  double highest = 0.0;
  std::size_t index = 0;
  double time = 0;
  std::int32_t scanNumber = 0;
  int drops = 0;

  // Takes the point at k; returns false once the walk is over.
  bool visit(const std::vector<double>& y, const std::vector<double>& times,
             const std::vector<std::int32_t>& scanNumbers, std::size_t k, double cutoff) {
    const double value = y.at(k);
    if (value > highest) {
      highest = value;
      index = k;
      time = times.at(k);
      scanNumber = scanNumbers.at(k);
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
std::ptrdiff_t seedIndex(const std::vector<double>& times, double seedTime, std::size_t points) {
  for (std::size_t k = 0; k < times.size() && k < points; ++k) {
    if (times[k] == seedTime) return static_cast<std::ptrdiff_t>(k);
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
    const bool descends =
        y.at(left) > y.at(left - 1) && raw.at(left) > floor && t.at(apex) - t.at(left) <= kWidestFlank;
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
    const bool descends =
        y.at(right) > y.at(right + 1) && raw.at(right) > floor && t.at(right) - t.at(apex) <= kWidestFlank;
    if (!descends) return right + 1;
    ++right;
  }
}

void markNoPeak(chrom& X) {
  X.apexIntensity = 0;
  X.apexTime = 0;
  X.apexScan = 0;
  X.peakMz = X.mz;
}

}  // namespace

bool findPeak(chrom& X, const std::vector<double>& raw, const std::vector<double>& y,
              const std::vector<double>& times, const std::vector<std::int32_t>& scanNumbers,
              double cutoffLevel, double edgeFloor, PeakSpan& span) {
  const std::size_t n = y.size();
  const std::ptrdiff_t seed = seedIndex(times, X.seedTime, n);
  if (seed < 0) {
    markNoPeak(X);
    return false;
  }
  const std::size_t e = static_cast<std::size_t>(seed);

  ApexWalk left;
  left.index = e;
  for (std::size_t k = e + 1; k-- > 0;) {
    if (!left.visit(y, times, scanNumbers, k, cutoffLevel)) break;
  }
  ApexWalk right;
  right.index = e;
  for (std::size_t k = e; k < n; ++k) {
    if (!right.visit(y, times, scanNumbers, k, cutoffLevel)) break;
  }

  // The walk that climbed; when both did, the apex nearer the seed (left on a tie).
  const ApexWalk* chosen = &right;
  if (left.index != e) {
    if (right.index == e || e - left.index <= right.index - e) chosen = &left;
  }
  if (chosen->highest == 0 || X.mz == 0) {
    markNoPeak(X);
    return false;
  }

  // A windowed target's peak must have its apex inside the window.
  if (X.windowed && !(chosen->time >= X.windowLow && chosen->time <= X.windowHigh)) {
    markNoPeak(X);
    return false;
  }

  const std::size_t apex = chosen->index;
  const std::ptrdiff_t start = peakStart(y, raw, times, apex, edgeFloor);
  const std::size_t S = start < 0 ? 0 : static_cast<std::size_t>(start);
  const std::size_t E = peakEnd(y, raw, times, apex, edgeFloor);
  X.area = trapezoidArea(times, raw, static_cast<int>(S), static_cast<int>(E));
  X.apexIntensity = chosen->highest;
  X.apexTime = chosen->time;
  X.peakMz = X.mz;
  X.startScan = scanNumbers.at(S);
  X.endScan = scanNumbers.at(E - 1);
  X.apexScan = scanNumbers.at(apex);
  span = PeakSpan{apex, S, E};
  return true;
}
