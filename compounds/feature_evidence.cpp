#include "compounds/feature_evidence.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "compounds/adduct_table.h"

namespace {

bool byMz(const StoredPeak& a, const StoredPeak& b) { return a.mz < b.mz; }

// The `keep` most intense of `peaks` (ties: the lower m/z), as (m/z, intensity) in m/z order.
std::vector<std::pair<double, double>> strongestPeaks(std::vector<StoredPeak> peaks, std::size_t keep,
                                                      long long& leftOut) {
  if (peaks.size() > keep) {
    leftOut += static_cast<long long>(peaks.size() - keep);
    std::stable_sort(peaks.begin(), peaks.end(), byMz);
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const StoredPeak& a, const StoredPeak& b) { return a.intensity > b.intensity; });
    peaks.resize(keep);
  }
  std::stable_sort(peaks.begin(), peaks.end(), byMz);
  std::vector<std::pair<double, double>> points;
  points.reserve(peaks.size());
  for (const StoredPeak& peak : peaks) points.emplace_back(peak.mz, peak.intensity);
  return points;
}

// The isotope step of an ion label ("[M+H]+ 13C2" -> 2, "13C1" -> 1), 0 for a monoisotopic ion.
int isotopeStep(const std::string& ion) {
  const std::size_t at = ion.rfind("13C");
  if (at == std::string::npos) return 0;
  const int step = std::atoi(ion.c_str() + at + 3);
  return step > 0 && step < 100 ? step : 0;
}

double totalIntensity(const scan& spectrum) {
  double sum = 0;
  for (const StoredPeak& peak : spectrum.peaks) sum += peak.intensity;
  return sum;
}

}  // namespace

FeatureSpectrum traceRecord(const Ms1Index& ms1, const std::string& featureId, const std::string& sample,
                            double mz, double ppm, double apexMinutes, double fromMinutes, double toMinutes,
                            std::size_t maxPoints) {
  FeatureSpectrum record;
  record.featureId = featureId;
  record.sample = sample;
  record.kind = SpectrumKind::Trace;
  record.rt = apexMinutes;
  if (ms1.size() == 0 || !(toMinutes >= fromMinutes) || maxPoints == 0) return record;
  std::size_t first = ms1.firstAtOrAfter(fromMinutes * 60);
  std::size_t end = ms1.firstAtOrAfter(toMinutes * 60);
  while (end < ms1.size() && ms1.seconds(end) <= toMinutes * 60) ++end;
  if (end > first && end - first > maxPoints) {
    // The window nearest the apex, shifted inside [first, end).
    const std::size_t apex = std::min(std::max(ms1.nearest(apexMinutes * 60), first), end - 1);
    std::size_t start = apex - std::min(apex - first, maxPoints / 2);
    start = std::min(start, end - maxPoints);
    first = start;
    end = start + maxPoints;
  }
  const double window = mz * ppm * 1e-6;
  for (std::size_t k = first; k < end; ++k) {
    record.points.emplace_back(ms1.seconds(k) / 60, ms1.sumIn(k, mz - window, mz + window));
  }
  return record;
}

std::vector<FeatureSpectrum> collectFeatureEvidence(const std::vector<scan>& scans,
                                                    const std::vector<FeatureRow>& rows,
                                                    const std::vector<std::vector<std::size_t>>& linkedScans,
                                                    const std::string& sample, double tracePpm,
                                                    const EvidenceLimits& limits, EvidenceLeftOut& leftOut) {
  std::map<char, Ms1Index> byPolarity;  // the full scans each row's polarity is read from
  std::vector<FeatureSpectrum> records;
  long long points = 0;
  const auto keep = [&](FeatureSpectrum&& record) {
    const auto size = static_cast<long long>(record.points.size());
    if (points + size > limits.maxPoints) {
      ++leftOut.records;
      return;
    }
    points += size;
    records.push_back(std::move(record));
  };
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const FeatureRow& row = rows[r];
    if (row.status == "not_found" || !(row.area > 0)) continue;
    const Ms1Index& ms1 = byPolarity.try_emplace(row.polarity, scans, row.polarity).first->second;
    // Chromatogram: the peak with a margin of its width each side.
    const double width = std::max(row.rtEnd - row.rtStart, 0.0);
    const double from = std::min(row.rtStart - limits.traceMargin * width, row.rt - limits.minTraceHalfWidth);
    const double to = std::max(row.rtEnd + limits.traceMargin * width, row.rt + limits.minTraceHalfWidth);
    keep(traceRecord(ms1, row.featureId, sample, row.mz, tracePpm, row.rt, from, to, limits.tracePoints));
    // The MS1 spectrum nearest the apex, a window of m/z around the feature; for a 13C isotope from below
    // its monoisotopic ion, so the whole pattern shows.
    if (ms1.size() > 0) {
      const std::size_t k = ms1.nearest(row.rt * 60);
      const std::vector<StoredPeak>& peaks = ms1.peaks(k);
      const double charge = row.charge != 0 ? static_cast<double>(std::llabs(row.charge)) : 1.0;
      const double below = limits.ms1Below + isotopeStep(row.ion) * kCarbon13Step / charge;
      const auto low = std::lower_bound(peaks.begin(), peaks.end(), row.mz - below,
                                        [](const StoredPeak& peak, double mz) { return peak.mz < mz; });
      const auto high = std::upper_bound(low, peaks.end(), row.mz + limits.ms1Above,
                                         [](double mz, const StoredPeak& peak) { return mz < peak.mz; });
      FeatureSpectrum record;
      record.featureId = row.featureId;
      record.sample = sample;
      record.kind = SpectrumKind::Ms1;
      record.scan = ms1.spectrum(k).num;
      record.rt = ms1.seconds(k) / 60;
      record.points = strongestPeaks(std::vector<StoredPeak>(low, high), limits.ms1Peaks, leftOut.peaks);
      keep(std::move(record));
    }
    // The linked MS2 spectra: the most intense ones, in time order.
    if (r >= linkedScans.size()) continue;
    std::vector<std::size_t> linked = linkedScans[r];
    if (linked.size() > limits.ms2PerFeature) {
      leftOut.ms2Spectra += static_cast<long long>(linked.size() - limits.ms2PerFeature);
      std::vector<std::pair<double, std::size_t>> byTotal;
      for (std::size_t s : linked) byTotal.emplace_back(totalIntensity(scans[s]), s);
      std::stable_sort(byTotal.begin(), byTotal.end(),
                       [](const auto& a, const auto& b) { return a.first > b.first; });
      linked.clear();
      for (std::size_t k = 0; k < limits.ms2PerFeature; ++k) linked.push_back(byTotal[k].second);
      std::stable_sort(linked.begin(), linked.end(),
                       [&](std::size_t a, std::size_t b) { return scans[a].rt < scans[b].rt; });
    }
    for (std::size_t s : linked) {
      FeatureSpectrum record;
      record.featureId = row.featureId;
      record.sample = sample;
      record.kind = SpectrumKind::Ms2;
      record.scan = scans[s].num;
      record.rt = scans[s].rt / 60;
      record.precursorMz = scans[s].precursorMz;
      record.points = strongestPeaks(scans[s].peaks, limits.ms2Peaks, leftOut.peaks);
      keep(std::move(record));
    }
  }
  return records;
}
