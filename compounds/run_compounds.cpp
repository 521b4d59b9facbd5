#include "compounds/run_compounds.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <numeric>
#include <optional>

#include "compounds/compound_grouping.h"
#include "compounds/correlation.h"
#include "compounds/ms1_index.h"
#include "util/beside_task.h"
#include "util/parallel_for.h"

namespace {

FeatureTrace traceOf(const Ms1Index& ms1, double mz, double start, double end, double ppm) {
  FeatureTrace trace;
  const double window = mz * ppm * 1e-6;
  trace.first = ms1.firstAtOrAfter(start);
  trace.values.reserve(std::max(ms1.firstAfter(end), trace.first) - trace.first);
  for (std::size_t k = trace.first; k < ms1.size() && ms1.seconds(k) <= end; ++k) {
    trace.values.push_back(ms1.sumIn(k, mz - window, mz + window));
  }
  return trace;
}

double totalIntensity(const scan& spectrum) {
  double sum = 0;
  for (const StoredPeak& peak : spectrum.peaks) sum += peak.intensity;
  return sum;
}

}  // namespace

std::vector<FeatureTrace> readTraces(const Ms1Index& ms1, const std::vector<TraceRequest>& requests,
                                     double ppm) {
  std::vector<FeatureTrace> traces(requests.size());
  std::vector<std::size_t> order;
  for (std::size_t r = 0; r < requests.size(); ++r) {
    if (std::isfinite(requests[r].mz)) {
      order.push_back(r);
    } else {
      traces[r] = traceOf(ms1, requests[r].mz, requests[r].start, requests[r].end, ppm);
    }
  }
  std::sort(order.begin(), order.end(),
            [&requests](std::size_t a, std::size_t b) { return requests[a].mz < requests[b].mz; });
  // The requests in m/z order, in as many runs of consecutive ones as there are workers: each run walks
  // every spectrum's peaks upwards from where its previous request there landed.
  const std::size_t workers = std::max<std::size_t>(1, std::min(workerCount(), order.size() / 256));
  parallelFor(workers, workers, [&](std::size_t part, std::size_t) {
    const std::size_t none = static_cast<std::size_t>(-1);
    std::vector<std::size_t> cursor(ms1.size(), none);
    const std::size_t from = order.size() * part / workers, to = order.size() * (part + 1) / workers;
    for (std::size_t q = from; q < to; ++q) {
      const TraceRequest& request = requests[order[q]];
      FeatureTrace& trace = traces[order[q]];
      const double window = request.mz * ppm * 1e-6;
      const double low = request.mz - window, high = request.mz + window;
      trace.first = ms1.firstAtOrAfter(request.start);
      trace.values.reserve(std::max(ms1.firstAfter(request.end), trace.first) - trace.first);
      for (std::size_t k = trace.first; k < ms1.size() && ms1.seconds(k) <= request.end; ++k) {
        if (!ms1.ordered(k)) {
          trace.values.push_back(ms1.sumIn(k, low, high));
          continue;
        }
        const std::vector<StoredPeak>& peaks = ms1.peaks(k);
        // Where lower_bound would land: the first peak not below `low`.
        std::size_t at = cursor[k];
        if (at == none) {
          at = static_cast<std::size_t>(
              std::lower_bound(peaks.begin(), peaks.end(), low,
                               [](const StoredPeak& peak, double mz) { return peak.mz < mz; }) -
              peaks.begin());
        } else {
          while (at > 0 && !(peaks[at - 1].mz < low)) --at;
          while (at < peaks.size() && peaks[at].mz < low) ++at;
        }
        cursor[k] = at;
        double sum = 0;
        for (; at < peaks.size() && peaks[at].mz <= high; ++at) sum += peaks[at].intensity;
        trace.values.push_back(sum);
      }
    }
  });
  return traces;
}

long numericFeatureId(const std::string& featureId, long fallback) {
  std::size_t first = 0;
  while (first < featureId.size() && !std::isdigit(static_cast<unsigned char>(featureId[first]))) ++first;
  if (first == featureId.size() || featureId.size() - first > 15) return fallback;
  long number = 0;  // at most 15 digits: no overflow
  for (std::size_t k = first; k < featureId.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(featureId[k]))) return fallback;
    number = number * 10 + (featureId[k] - '0');
  }
  return number;
}

std::vector<ExportPeak> isotopePatternIn(const std::vector<StoredPeak>& peaks, double mz, int charge,
                                         double ppm, PatternCursor* cursor) {
  std::vector<ExportPeak> pattern;
  const int z = charge > 0 ? charge : 1;
  const auto below = [](const StoredPeak& peak, double value) { return peak.mz < value; };
  // Where the previous window began: a window that begins above it has its first peak found by walking on
  // from there (a few peaks; then a search of the rest) rather than by a search of the whole spectrum.
  auto from = peaks.begin();
  double previousLow = 0;
  bool previous = cursor != nullptr && cursor->set && cursor->first <= peaks.size();
  if (previous) {
    from = peaks.begin() + static_cast<std::ptrdiff_t>(cursor->first);
    previousLow = cursor->low;
  }
  for (int k = 0; k < 8; ++k) {
    const double target = mz + k * kCarbon13Step / z;
    const double window = target * ppm * 1e-6;
    const double low = target - window;
    if (previous && low >= previousLow) {
      for (int step = 0; step < 8 && from != peaks.end() && from->mz < low; ++step) ++from;
      if (from != peaks.end() && from->mz < low) from = std::lower_bound(from, peaks.end(), low, below);
    } else {
      from = std::lower_bound(peaks.begin(), peaks.end(), low, below);
    }
    if (k == 0 && cursor != nullptr)
      *cursor = PatternCursor{static_cast<std::size_t>(from - peaks.begin()), low, true};
    previous = true;
    previousLow = low;
    auto it = from;
    const StoredPeak* best = nullptr;
    for (; it != peaks.end() && it->mz <= target + window; ++it) {
      if (best == nullptr || std::fabs(it->mz - target) < std::fabs(best->mz - target)) best = &*it;
    }
    if (best == nullptr) break;
    pattern.push_back(ExportPeak{best->mz, best->intensity});
  }
  return pattern;
}

ExportSet groupRunCompounds(const std::vector<scan>& scans, std::vector<FeatureRow>& rows,
                            const RunCompoundOptions& options, const std::string& sampleName,
                            const std::string& runFile, std::vector<std::vector<std::size_t>>* linkedScans) {
  // The rows that take part, in table order.
  std::vector<std::size_t> taking;
  int positive = 0, negative = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].status == "not_found" || !(rows[r].area > 0)) continue;
    taking.push_back(r);
    positive += rows[r].polarity == '+' ? 1 : 0;
    negative += rows[r].polarity == '-' ? 1 : 0;
  }
  GroupingOptions grouping = options.grouping;
  if (positive + negative > 0) grouping.polarity = negative > positive ? -1 : 1;
  // Each polarity's features are grouped apart, with its own ions and traces from its own scans (a
  // polarity-switching run); rows that state none go with the run's main polarity, which is grouped first.
  const int mainPolarity = grouping.polarity < 0 ? -1 : 1;
  const auto signOf = [mainPolarity](char stated) {
    return stated == '-' ? -1 : stated == '+' ? 1 : mainPolarity;
  };
  std::vector<int> polarities(taking.size());
  for (std::size_t k = 0; k < taking.size(); ++k) polarities[k] = signOf(rows[taking[k]].polarity);
  // The MS2 linkage and each feature's exported spectrum do not depend on the grouping: worked out beside
  // it, from when its steps on one thread begin (the traces are read and smoothed on every worker).
  std::vector<const scan*> tandem;
  std::vector<std::vector<std::size_t>> links(taking.size());
  std::vector<std::vector<ExportSpectrum>> bestSpectra(taking.size());
  std::optional<BesideTask> linking;
  const auto linkTandem = [&] {
    // MS2 spectra of the run, linked to the features of their polarity (one that states none: the main one).
    std::vector<int> tandemPolarities;
    for (const scan& spectrum : scans) {
      if (spectrum.msLevel != 2 || !(spectrum.precursorMz > 0)) continue;
      tandem.push_back(&spectrum);
      tandemPolarities.push_back(signOf(spectrumPolarity(spectrum)));
    }
    for (const int polarity : {mainPolarity, -mainPolarity}) {
      std::vector<std::size_t> members, memberScans;
      std::vector<LinkedFeature> linked;
      std::vector<TandemScan> tandemScans;
      for (std::size_t k = 0; k < taking.size(); ++k) {
        if (polarities[k] != polarity) continue;
        members.push_back(k);
        const FeatureRow& row = rows[taking[k]];
        linked.push_back(LinkedFeature{row.mz, row.rtStart * 60, row.rtEnd * 60, row.area});
      }
      for (std::size_t s = 0; s < tandem.size(); ++s) {
        if (tandemPolarities[s] != polarity) continue;
        memberScans.push_back(s);
        tandemScans.push_back(TandemScan{tandem[s]->rt, tandem[s]->precursorMz, 0, 0});
      }
      if (members.empty() || tandemScans.empty()) continue;
      const std::vector<std::vector<std::size_t>> found =
          linkTandemScans(linked, tandemScans, options.linkage);
      for (std::size_t j = 0; j < members.size(); ++j) {
        for (std::size_t s : found[j]) links[members[j]].push_back(memberScans[s]);
      }
    }
    if (linkedScans != nullptr) {
      linkedScans->assign(rows.size(), {});
      for (std::size_t k = 0; k < taking.size(); ++k) {
        for (std::size_t s : links[k])
          (*linkedScans)[taking[k]].push_back(static_cast<std::size_t>(tandem[s] - scans.data()));
      }
    }
    // Each feature's exported MS2 spectrum: the most intense of those linked, its peaks in m/z order.
    for (std::size_t k = 0; k < taking.size(); ++k) {
      const scan* best = nullptr;
      double bestTotal = 0;
      for (std::size_t s : links[k]) {
        const double total = totalIntensity(*tandem[s]);
        if (best == nullptr || total > bestTotal) {
          best = tandem[s];
          bestTotal = total;
        }
      }
      if (best == nullptr) continue;
      ExportSpectrum spectrum{best->num, 0, best->rt, best->precursorMz, {}};
      spectrum.peaks.reserve(best->peaks.size());
      for (const StoredPeak& peak : best->peaks)
        spectrum.peaks.push_back(ExportPeak{peak.mz, peak.intensity});
      // Most come sorted, and a sort would leave them as they are; only where every m/z is a number.
      const auto descends = [](const ExportPeak& a, const ExportPeak& b) { return !(a.mz <= b.mz); };
      if (std::adjacent_find(spectrum.peaks.begin(), spectrum.peaks.end(), descends) != spectrum.peaks.end())
        std::stable_sort(spectrum.peaks.begin(), spectrum.peaks.end(),
                         [](const ExportPeak& a, const ExportPeak& b) { return a.mz < b.mz; });
      bestSpectra[k].push_back(std::move(spectrum));
    }
  };
  std::map<int, Ms1Index> indices;
  const auto ms1Of = [&](int polarity) -> const Ms1Index& {
    return indices.try_emplace(polarity, scans, polarity < 0 ? '-' : '+').first->second;
  };
  std::vector<GroupingFeature> features(taking.size());
  std::vector<CompoundLabel> labels(taking.size());
  long compoundsBefore = 0;
  for (const int polarity : {mainPolarity, -mainPolarity}) {
    std::vector<std::size_t> members;  // places in `taking`
    for (std::size_t k = 0; k < taking.size(); ++k) {
      if (polarities[k] == polarity) members.push_back(k);
    }
    if (members.empty()) continue;
    const Ms1Index& ms1 = ms1Of(polarity);
    std::vector<GroupingFeature> part;
    part.reserve(members.size());
    std::vector<SmoothedTrace> traces;
    // Each trace over the peak and the given number of its widths beyond either edge.
    std::vector<TraceRequest> requests;
    requests.reserve(members.size());
    for (std::size_t k : members) {
      const FeatureRow& row = rows[taking[k]];
      const double start = row.rtStart * 60, end = row.rtEnd * 60;
      const double width = end - start;
      const double margin = width > 0 && std::isfinite(width) ? options.traceMargin * width : 0.0;
      requests.push_back(TraceRequest{row.mz, start - margin, end + margin});
    }
    std::vector<FeatureTrace> read = readTraces(ms1, requests, options.tracePpm);
    for (std::size_t j = 0; j < members.size(); ++j) {
      const std::size_t k = members[j];
      const FeatureRow& row = rows[taking[k]];
      const double start = row.rtStart * 60, end = row.rtEnd * 60;
      FeatureTrace trace = std::move(read[j]);
      trace.peakFirst = std::max(ms1.firstAtOrAfter(start), trace.first);
      trace.peakEnd = std::max(trace.peakFirst, std::min(ms1.firstAfter(end), trace.end()));
      // Co-elution also by the raw trace's highest point within the peak: apexes of smoothed traces of weak
      // ions wander by several spectra.
      double apex = row.rt * 60;
      if (trace.peakEnd > trace.peakFirst) {
        const auto peakBegin =
            trace.values.begin() + static_cast<std::ptrdiff_t>(trace.peakFirst - trace.first);
        const auto peakEnd = trace.values.begin() + static_cast<std::ptrdiff_t>(trace.peakEnd - trace.first);
        const auto highest = std::max_element(peakBegin, peakEnd);
        if (*highest > 0)
          apex = ms1.seconds(trace.first + static_cast<std::size_t>(highest - trace.values.begin()));
      }
      features[k] = GroupingFeature{row.mz, row.rt * 60, row.rtStart * 60, row.rtEnd * 60, row.area, apex};
      part.push_back(features[k]);
      read[j] = std::move(trace);
    }
    traces = smoothedTraces(std::move(read), workerCount());
    const FeatureSimilarity similarity = [&traces](std::size_t a, std::size_t b) {
      return shapeCorrelation(traces[a], traces[b]);
    };
    const SimilarityScreen screen = [&traces](std::size_t a, const std::size_t* others, std::size_t count,
                                              double threshold, Screened* verdicts) {
      screenShapeCorrelations(traces, a, others, count, threshold, verdicts);
    };
    GroupingOptions partOptions = grouping;
    partOptions.polarity = polarity;
    if (!linking) linking.emplace(linkTandem);
    const std::vector<CompoundLabel> found =
        groupCompounds(part, options.adducts, partOptions, similarity, screen);
    long highest = compoundsBefore;
    for (std::size_t j = 0; j < members.size(); ++j) {
      labels[members[j]] = found[j];
      labels[members[j]].compoundId += compoundsBefore;
      highest = std::max(highest, labels[members[j]].compoundId);
    }
    compoundsBefore = highest;
  }

  if (!linking) linking.emplace(linkTandem);
  linking->finish();
  ExportSet set;
  set.samples = {sampleName};
  set.runFiles = {runFile};
  set.polarity = mainPolarity;
  set.title = sampleName;
  for (FeatureRow& row : rows) {  // rows not taking part stay ungrouped
    row.compoundId = 0;
    row.ion.clear();
    row.charge = 0;
    row.neutralMass = 0;
    row.representative = true;
    row.ms2Scans = "0";
  }
  // Each feature's row and export on its own, spread over the workers (the indices of both polarities made
  // first: they are only looked up meanwhile).
  for (const int polarity : polarities) ms1Of(polarity);
  set.features.resize(taking.size());
  parallelForRuns(taking.size(), workerCount(), 64, [&](std::size_t k, std::size_t) {
    FeatureRow& row = rows[taking[k]];
    const CompoundLabel& label = labels[k];
    row.compoundId = label.compoundId;
    row.ion = label.ion;
    row.charge = polarities[k] < 0 ? -label.charge : label.charge;
    row.neutralMass = label.neutralMass;
    row.representative = label.representative;
    row.ms2Scans = std::to_string(links[k].size());

    ExportFeature& feature = set.features[k];
    feature.featureId = numericFeatureId(row.featureId, static_cast<long>(taking[k]) + 1);
    feature.mz = row.mz;
    feature.rt = row.rt * 60;
    feature.rtStart = row.rtStart * 60;
    feature.rtEnd = row.rtEnd * 60;
    feature.areas = {row.area};
    feature.compoundId = label.compoundId;
    feature.ion = label.ion;
    feature.charge = label.charge;
    feature.neutralMass = label.neutralMass;
    feature.representative = label.representative;
    feature.isotope = label.isotope;
    feature.ms2Scans = static_cast<long>(links[k].size());
    feature.ms2 = std::move(bestSpectra[k]);
    feature.polarity = polarities[k];
  });
  // Each monoisotopic feature's pattern in the MS1 spectrum nearest its apex: the features of a spectrum
  // taken together in m/z order, each search beginning where the last one did (a crowded spectrum's peaks
  // lie far apart in memory from each other's).
  for (const auto& entry : indices) {
    const int polarity = entry.first;
    const Ms1Index& ms1 = entry.second;
    if (ms1.size() == 0) continue;
    std::vector<std::size_t> nearest(taking.size(), ms1.size()), start(ms1.size() + 1, 0);
    for (std::size_t k = 0; k < taking.size(); ++k) {
      if (polarities[k] != polarity || labels[k].isotope != 0) continue;
      nearest[k] = ms1.nearest(set.features[k].rt);
      ++start[nearest[k] + 1];
    }
    for (std::size_t s = 0; s < ms1.size(); ++s) start[s + 1] += start[s];
    std::vector<std::size_t> bySpectrum(start.back()), next(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < taking.size(); ++k) {
      if (nearest[k] < ms1.size()) bySpectrum[next[nearest[k]]++] = k;
    }
    parallelForRuns(ms1.size(), workerCount(), 8, [&](std::size_t s, std::size_t) {
      const auto first = bySpectrum.begin() + static_cast<std::ptrdiff_t>(start[s]);
      const auto last = bySpectrum.begin() + static_cast<std::ptrdiff_t>(start[s + 1]);
      std::stable_sort(first, last,
                       [&](std::size_t a, std::size_t b) { return rows[taking[a]].mz < rows[taking[b]].mz; });
      PatternCursor cursor;
      for (auto it = first; it != last; ++it) {
        set.features[*it].ms1Pattern = isotopePatternIn(ms1.peaks(s), rows[taking[*it]].mz,
                                                        labels[*it].charge, options.tracePpm, &cursor);
      }
    });
  }
  return set;
}
