// The resolver pipeline: spectrum groups, mass traces, resolved peaks, feature rows.
#include "features/feature_finder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "util/parallel_for.h"

namespace {

// A spectrum's usable centroids in ascending m/z.
std::vector<StoredPeak> sortedPeaks(const scan& spectrum) {
  std::vector<StoredPeak> peaks;
  peaks.reserve(spectrum.peaks.size());
  for (const StoredPeak& peak : spectrum.peaks) {
    if (std::isfinite(peak.mz) && std::isfinite(peak.intensity) && peak.intensity > 0) peaks.push_back(peak);
  }
  if (!std::is_sorted(peaks.begin(), peaks.end(),
                      [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; })) {
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; });
  }
  return peaks;
}

// The most intense centroid within [low, high] (the lowest m/z among equals).
TracePoint pointIn(const std::vector<StoredPeak>& peaks, double low, double high, double time) {
  TracePoint point;
  point.time = time;
  auto it = std::lower_bound(peaks.begin(), peaks.end(), low,
                             [](const StoredPeak& peak, double mz) { return peak.mz < mz; });
  for (; it != peaks.end() && it->mz <= high; ++it) {
    if (it->intensity > point.intensity) {
      point.intensity = it->intensity;
      point.mz = it->mz;
    }
  }
  return point;
}

struct Candidate {
  ResolvedPeak peak;
  char polarity = '?';
};

bool keptAsFeature(const ResolvedPeak& peak, const FeatureSettings& settings) {
  return peak.sn >= settings.minSn && peak.points >= settings.minPoints &&
         peak.height >= settings.minHeight && peak.mz > 0;
}

// What filling a group's gaps reads: its noise floors and its spectra's sorted centroids.
struct GapFillData {
  NoiseFloors floors;
  std::vector<std::vector<StoredPeak>> sorted;
};

// Peaks of one group, duplicates of overlapping traces removed. With `keep`, the group's noise floors and
// sorted centroids are left there for the gap filling.
std::vector<Candidate> groupFeatures(const FullScanGroup& group, const std::vector<FeatureTarget>& targets,
                                     const FeatureSettings& settings, GapFillData* keep) {
  MassTraceSettings traceSettings;
  traceSettings.ppm = settings.ppm;
  traceSettings.maxGap = settings.maxGap;
  traceSettings.minPoints = settings.tracePoints;
  traceSettings.noiseLevel = settings.traceNoiseLevel;
  std::vector<MassTrace> traces = buildMassTraces(group.spectra, traceSettings);
  if (!targets.empty()) {
    // Only traces that some target could take.
    std::vector<double> masses;
    for (const FeatureTarget& target : targets) masses.push_back(target.mz);
    std::sort(masses.begin(), masses.end());
    const double reach = 2 * settings.ppm * 1e-6;
    traces.erase(std::remove_if(traces.begin(), traces.end(),
                                [&](const MassTrace& trace) {
                                  auto it =
                                      std::lower_bound(masses.begin(), masses.end(), trace.mz * (1 - reach));
                                  return it == masses.end() || *it > trace.mz * (1 + reach);
                                }),
                 traces.end());
  }
  GapFillData data;
  data.floors = estimateNoiseFloors(group.spectra, settings.regionWidth, settings.floorQuantile);
  const NoiseFloors& floors = data.floors;

  const std::size_t count = group.spectra.size();
  std::vector<std::vector<StoredPeak>>& sorted = data.sorted;
  sorted.resize(count);
  parallelFor(count, workerCount(),
              [&](std::size_t k, std::size_t) { sorted[k] = sortedPeaks(*group.spectra[k]); });

  std::vector<std::vector<ResolvedPeak>> resolved(traces.size());
  parallelFor(traces.size(), workerCount(), [&](std::size_t t, std::size_t) {
    const MassTrace& trace = traces[t];
    const double tolerance = settings.ppm * 1e-6 * trace.mz;
    const std::size_t first = trace.first > settings.margin ? trace.first - settings.margin : 0;
    const std::size_t last = std::min(count - 1, trace.last + settings.margin);
    std::vector<TracePoint> points;
    points.reserve(last - first + 1);
    for (std::size_t k = first; k <= last; ++k) {
      points.push_back(pointIn(sorted[k], trace.mz - tolerance, trace.mz + tolerance, group.spectra[k]->rt));
    }
    TraceEnds ends;
    ends.runStart = first == 0;
    ends.runEnd = last + 1 == count;
    for (const ResolvedPeak& peak : resolvePeaks(points, floors.at(trace.mz), settings.resolver, ends)) {
      if (keptAsFeature(peak, settings)) resolved[t].push_back(peak);
    }
  });

  // The same peak seen by two traces: the higher stays.
  std::vector<Candidate> all;
  for (const std::vector<ResolvedPeak>& peaks : resolved) {
    for (const ResolvedPeak& peak : peaks) all.push_back(Candidate{peak, group.polarity});
  }
  std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
    if (a.peak.height != b.peak.height) return a.peak.height > b.peak.height;
    if (a.peak.mz != b.peak.mz) return a.peak.mz < b.peak.mz;
    return a.peak.apexTime < b.peak.apexTime;
  });
  std::multimap<double, std::size_t> byMz;
  std::vector<Candidate> kept;
  for (const Candidate& candidate : all) {
    const ResolvedPeak& p = candidate.peak;
    const double tolerance = settings.ppm * 1e-6 * p.mz;
    bool duplicate = false;
    for (auto it = byMz.lower_bound(p.mz - tolerance); it != byMz.end() && it->first <= p.mz + tolerance;
         ++it) {
      const ResolvedPeak& q = kept[it->second].peak;
      if (p.apexTime >= q.startTime && p.apexTime <= q.endTime && q.apexTime >= p.startTime &&
          q.apexTime <= p.endTime) {
        duplicate = true;
        break;
      }
    }
    if (duplicate) continue;
    byMz.emplace(p.mz, kept.size());
    kept.push_back(candidate);
  }
  if (keep != nullptr) *keep = std::move(data);
  return kept;
}

FeatureRow rowOf(const Candidate& candidate, long long msLevel) {
  const ResolvedPeak& p = candidate.peak;
  FeatureRow row;
  row.mz = p.mz;
  row.mzMin = p.mzMin;
  row.mzMax = p.mzMax;
  row.rt = p.apexTime / 60.0;
  row.rtStart = p.startTime / 60.0;
  row.rtEnd = p.endTime / 60.0;
  row.height = p.height;
  row.area = p.area;
  row.areaCorrected = p.areaCorrected;
  row.fwhm = p.fwhm / 60.0;
  row.sn = p.sn;
  row.points = static_cast<long long>(p.points);
  row.polarity = candidate.polarity;
  row.msLevel = msLevel;
  row.shape = p.shape;
  return row;
}

// The trace's intensities smoothed over 5 points, as the filling reads its shape.
std::vector<double> smoothedIntensities(const std::vector<TracePoint>& points) {
  std::vector<double> values(points.size());
  for (std::size_t k = 0; k < points.size(); ++k) values[k] = points[k].intensity;
  return binomialSmooth(values, 5);
}

// Where a gap is integrated when no peak tops in its window: the span the target gives for it (a cohort's
// gap: the sample's time of the feature widened by its typical edges) when it holds signal, else around the
// window's highest point (smoothed) out to where the smoothed trace stops falling on either side (a valley,
// or no signal), at most the window's width beyond it (on an ion present all run long nothing stops the
// walk). `top` is the apex reported: the highest point inside the window, which a cohort matches the time to.
void spanToIntegrate(const std::vector<TracePoint>& points, const FeatureTarget& target, std::size_t& left,
                     std::size_t& right, std::size_t& top) {
  left = points.size();
  right = 0;
  top = points.size();
  if (target.hasFillSpan) {
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (points[k].time < target.fillLow || points[k].time > target.fillHigh) continue;
      left = std::min(left, k);
      right = k;
      if (points[k].time < target.low || points[k].time > target.high) continue;
      if (top == points.size() || points[k].intensity > points[top].intensity) top = k;
    }
    if (top < points.size() && !(points[top].intensity > 0)) top = points.size();  // no signal in the span
  }
  if (top < points.size()) return;
  const std::vector<double> smooth = smoothedIntensities(points);
  for (std::size_t k = 0; k < points.size(); ++k) {
    if (points[k].time < target.low || points[k].time > target.high) continue;
    if (top == points.size() || smooth[k] > smooth[top]) top = k;
  }
  const double width = target.high - target.low;
  left = right = top;
  while (left > 0 && smooth[left] > 0 && smooth[left - 1] <= smooth[left] &&
         points[left - 1].time >= target.low - width)
    --left;
  while (right + 1 < points.size() && smooth[right] > 0 && smooth[right + 1] <= smooth[right] &&
         points[right + 1].time <= target.high + width)
    ++right;
}

// A detected peak whose edges hold the centre of another target's window of the same m/z.
struct SharedPeak {
  double start = 0, end = 0;  // the peak's edges, seconds
  double other = 0;           // the other target's centre
};

// The part of a shared peak that belongs to `target`: from the peak's edge on the target's side to the lowest
// point of the smoothed trace between the target's highest point and the other target's centre, as the
// resolver would have split the two had their valley been deeper. False when the window holds no signal.
bool splitSpan(const std::vector<TracePoint>& points, const FeatureTarget& target, const SharedPeak& shared,
               std::size_t& left, std::size_t& right, std::size_t& top) {
  const std::vector<double> smooth = smoothedIntensities(points);
  top = points.size();
  std::size_t first = points.size(), last = 0, other = 0;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const double time = points[k].time;
    if (time >= shared.start && time <= shared.end) {
      first = std::min(first, k);
      last = k;
      if (time >= target.low && time <= target.high && (top == points.size() || smooth[k] > smooth[top]))
        top = k;
    }
    if (std::fabs(time - shared.other) < std::fabs(points[other].time - shared.other)) other = k;
  }
  if (top == points.size() || !(smooth[top] > 0)) return false;
  // The lowest point of the smoothed trace strictly between them; on a shoulder, where it falls all the way,
  // the point next to the other centre. (Walking the fall for its flattest step instead stops on the jitter
  // of TOF-like traces.)
  const std::size_t low = std::min(top, other), high = std::max(top, other);
  std::size_t valley = top;
  for (std::size_t k = low + 1; k < high; ++k) {
    if (valley == top || smooth[k] < smooth[valley]) valley = k;
  }
  left = other > top ? first : valley;
  right = other > top ? valley : last;
  // The apex reported: the highest raw point of the part inside the window.
  for (std::size_t k = left; k <= right; ++k) {
    if (points[k].time < target.low || points[k].time > target.high) continue;
    if (points[k].intensity > points[top].intensity) top = k;
  }
  return true;
}

// A windowed target measured in the group's raw data below the feature minimums (see fillGaps), or the
// target's part of a peak it shares with another target (`shared`).
bool filledCandidate(const FullScanGroup& group, const FeatureTarget& target, const FeatureSettings& settings,
                     const GapFillData& data, const SharedPeak* shared, Candidate& filled) {
  const std::vector<const scan*>& spectra = group.spectra;
  const auto before = [](const scan* spectrum, double time) { return spectrum->rt < time; };
  const std::size_t first = static_cast<std::size_t>(
      std::lower_bound(
          spectra.begin(), spectra.end(),
          std::min(target.low, target.hasFillSpan ? target.fillLow : target.low) - settings.fillReach,
          before) -
      spectra.begin());
  const std::size_t end = static_cast<std::size_t>(
      std::upper_bound(
          spectra.begin(), spectra.end(),
          std::max(target.high, target.hasFillSpan ? target.fillHigh : target.high) + settings.fillReach,
          [](double time, const scan* spectrum) { return time < spectrum->rt; }) -
      spectra.begin());
  if (first >= end) return false;
  const double tolerance = settings.ppm * 1e-6 * target.mz;
  std::vector<TracePoint> points;
  points.reserve(end - first);
  bool any = false;
  for (std::size_t k = first; k < end; ++k) {
    points.push_back(pointIn(data.sorted[k], target.mz - tolerance, target.mz + tolerance, spectra[k]->rt));
    const bool inWindow = points.back().time >= target.low && points.back().time <= target.high;
    any = any || (inWindow && points.back().intensity > 0);
  }
  if (!any) return false;

  filled.polarity = group.polarity;
  std::size_t left = 0, right = 0, top = 0;
  if (shared != nullptr) {
    if (!splitSpan(points, target, *shared, left, right, top)) return false;
  } else {
    TraceEnds ends;
    ends.runStart = first == 0;
    ends.runEnd = end == spectra.size();
    const ResolvedPeak* best = nullptr;
    const std::vector<ResolvedPeak> peaks =
        resolvePeaks(points, data.floors.at(target.mz), settings.resolver, ends);
    for (const ResolvedPeak& peak : peaks) {
      if (peak.apexTime < target.low || peak.apexTime > target.high || !(peak.mz > 0)) continue;
      if (best == nullptr || peak.area > best->area) best = &peak;
    }
    if (best != nullptr) {
      filled.peak = *best;
      return true;
    }
    // No peak tops in the window: its signal measured as it is.
    spanToIntegrate(points, target, left, right, top);
  }
  ResolvedPeak& peak = filled.peak;
  peak = ResolvedPeak();
  double weighted = 0;
  double weight = 0;
  for (std::size_t k = left; k <= right; ++k) {
    const TracePoint& point = points[k];
    if (k > left)
      peak.area += 0.5 * (point.intensity + points[k - 1].intensity) * (point.time - points[k - 1].time);
    if (point.intensity <= 0) continue;
    ++peak.points;
    weighted += point.mz * point.intensity;
    weight += point.intensity;
    if (peak.mzMin == 0 || point.mz < peak.mzMin) peak.mzMin = point.mz;
    if (point.mz > peak.mzMax) peak.mzMax = point.mz;
    if (point.intensity > peak.height) peak.height = point.intensity;
  }
  if (!(weight > 0)) return false;
  peak.mz = weighted / weight;
  peak.apexTime = points[top].time;
  peak.startTime = points[left].time;
  peak.endTime = points[right].time;
  const double under =
      0.5 * (points[left].intensity + points[right].intensity) * (peak.endTime - peak.startTime);
  peak.areaCorrected = std::max(0.0, peak.area - under);
  return true;
}

}  // namespace

long long featureLevel(const FeatureSettings& settings) {
  return settings.msLevel > 0 ? settings.msLevel : 1;
}

double NoiseFloors::at(double mz) const {
  if (!(width > 0) || !(mz >= 0)) return overall;
  const double k = std::floor(mz / width);
  if (k >= static_cast<double>(regions.size())) return overall;
  const double floor = regions[static_cast<std::size_t>(k)];
  return floor > 0 ? floor : overall;
}

NoiseFloors estimateNoiseFloors(const std::vector<const scan*>& spectra, double width, double quantile) {
  NoiseFloors floors;
  floors.width = width;
  std::vector<std::vector<double>> byRegion;
  std::vector<double> all;
  for (const scan* spectrum : spectra) {
    for (const StoredPeak& peak : spectrum->peaks) {
      if (!std::isfinite(peak.mz) || !std::isfinite(peak.intensity) || !(peak.intensity > 0) || peak.mz < 0)
        continue;
      all.push_back(peak.intensity);
      const double k = std::floor(peak.mz / width);
      if (!(k < 1e6)) continue;
      const std::size_t region = static_cast<std::size_t>(k);
      if (region >= byRegion.size()) byRegion.resize(region + 1);
      byRegion[region].push_back(peak.intensity);
    }
  }
  const auto quantileOf = [quantile](std::vector<double>& values) {
    const auto at =
        values.begin() + static_cast<std::ptrdiff_t>(quantile * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
  };
  if (all.empty()) return floors;
  floors.overall = quantileOf(all);
  // A region of few centroids says little of its own noise: it takes the overall floor.
  const std::size_t enough = 100;
  floors.regions.assign(byRegion.size(), 0.0);
  for (std::size_t k = 0; k < byRegion.size(); ++k) {
    if (byRegion[k].size() >= enough) floors.regions[k] = quantileOf(byRegion[k]);
  }
  return floors;
}

std::vector<FeatureRow> findFeatures(const std::vector<scan>& scans,
                                     const std::vector<FeatureTarget>& targets,
                                     const FeatureSettings& settings) {
  return findFeatures(fullScanGroups(scans, featureLevel(settings)), targets, settings);
}

std::vector<FeatureRow> findFeatures(const std::vector<FullScanGroup>& groups,
                                     const std::vector<FeatureTarget>& targets,
                                     const FeatureSettings& settings) {
  const long long level = featureLevel(settings);
  std::vector<FeatureRow> rows;
  std::vector<Candidate> features;
  const bool filling = settings.fillGaps && !targets.empty();
  std::vector<GapFillData> fillData(filling ? groups.size() : 0);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<Candidate> found =
        groupFeatures(groups[g], targets, settings, filling ? &fillData[g] : nullptr);
    features.insert(features.end(), found.begin(), found.end());
  }
  std::stable_sort(features.begin(), features.end(), [](const Candidate& a, const Candidate& b) {
    if (a.peak.apexTime != b.peak.apexTime) return a.peak.apexTime < b.peak.apexTime;
    if (a.peak.mz != b.peak.mz) return a.peak.mz < b.peak.mz;
    return a.polarity < b.polarity;
  });

  if (targets.empty()) {
    for (const Candidate& feature : features) {
      rows.push_back(rowOf(feature, level));
      rows.back().featureId = "F" + std::to_string(rows.size());
    }
    return rows;
  }
  // The windowed targets by m/z, for the test of a feature holding two of them.
  std::vector<std::size_t> byMz;
  if (filling) {
    for (std::size_t t = 0; t < targets.size(); ++t) {
      if (targets[t].windowed) byMz.push_back(t);
    }
    std::stable_sort(byMz.begin(), byMz.end(),
                     [&targets](std::size_t a, std::size_t b) { return targets[a].mz < targets[b].mz; });
  }
  // Whether a peak found for target t holds the centre of another target's window (outside t's own): the
  // centre nearest t's window then.
  const auto sharedWith = [&](std::size_t t, const ResolvedPeak& peak, double tolerance, SharedPeak& shared) {
    const FeatureTarget& target = targets[t];
    const double own = 0.5 * (target.low + target.high);
    bool any = false;
    const auto first = std::lower_bound(byMz.begin(), byMz.end(), target.mz - tolerance,
                                        [&targets](std::size_t u, double mz) { return targets[u].mz < mz; });
    for (auto u = first; u != byMz.end() && targets[*u].mz <= target.mz + tolerance; ++u) {
      const double centre = 0.5 * (targets[*u].low + targets[*u].high);
      if (*u == t || centre < peak.startTime || centre > peak.endTime ||
          (centre >= target.low && centre <= target.high))
        continue;
      if (!any || std::fabs(centre - own) < std::fabs(shared.other - own)) shared.other = centre;
      any = true;
    }
    shared.start = peak.startTime;
    shared.end = peak.endTime;
    return any;
  };
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const FeatureTarget& target = targets[t];
    const double tolerance = settings.ppm * 1e-6 * target.mz;
    const Candidate* best = nullptr;
    for (const Candidate& feature : features) {
      const ResolvedPeak& p = feature.peak;
      if (std::fabs(p.mz - target.mz) > tolerance) continue;
      if (target.windowed && (p.apexTime < target.low || p.apexTime > target.high)) continue;
      if (best == nullptr || p.area > best->peak.area) best = &feature;
    }
    FeatureRow row;
    Candidate filled;
    bool wasFilled = false;
    // One peak here, two compounds in the targets: each takes its part.
    SharedPeak shared;
    const bool split =
        best != nullptr && filling && target.windowed && sharedWith(t, best->peak, tolerance, shared);
    const Candidate* found = best;
    if (split) best = nullptr;
    if (best == nullptr && settings.fillGaps && target.windowed) {
      for (std::size_t g = 0; g < groups.size(); ++g) {
        Candidate measured;
        if (!filledCandidate(groups[g], target, settings, fillData[g], split ? &shared : nullptr, measured))
          continue;
        if (!wasFilled || measured.peak.area > filled.peak.area) filled = measured;
        wasFilled = true;
      }
      if (!wasFilled) best = found;  // a span without signal: the peak as found
    }
    if (best != nullptr) {
      row = rowOf(*best, level);
      row.status = "found";
    } else if (wasFilled) {
      row = rowOf(filled, level);
      row.status = "filled";
    } else {
      row.mz = target.mz;
      row.msLevel = level;
      row.status = "not_found";
    }
    row.featureId = "T" + std::to_string(t + 1);
    row.target = target.name;
    row.targetMz = target.mz;
    rows.push_back(row);
  }
  return rows;
}
