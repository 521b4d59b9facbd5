#include "compound_tool/cohort_compounds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "compounds/compound_grouping.h"
#include "compounds/correlation.h"
#include "compounds/ms2_linkage.h"

const std::vector<std::string> kCohortCompoundColumns = {
    "compound_id", "ion", "charge", "neutral_mass", "representative", "ms2_scans"};

namespace {

double cellNumber(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && std::isfinite(value) ? value : 0;
}

std::string massText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

double totalIntensity(const scan& spectrum) {
  double sum = 0;
  for (const StoredPeak& peak : spectrum.peaks) sum += peak.intensity;
  return sum;
}

// Drops earlier compound columns, so that grouping a table again replaces them.
void dropCompoundColumns(CohortFeatureTable& table) {
  std::vector<std::size_t> kept;
  for (std::size_t c = 0; c < table.extraColumns.size(); ++c) {
    if (std::find(kCohortCompoundColumns.begin(), kCohortCompoundColumns.end(), table.extraColumns[c]) ==
        kCohortCompoundColumns.end()) {
      kept.push_back(c);
    }
  }
  std::vector<std::string> columns;
  for (std::size_t c : kept) columns.push_back(table.extraColumns[c]);
  table.extraColumns = columns;
  for (CohortFeature& row : table.rows) {
    std::vector<std::string> cells;
    for (std::size_t c : kept) cells.push_back(c < row.extra.size() ? row.extra[c] : std::string());
    row.extra = cells;
  }
}

}  // namespace

ExportSet groupCohortCompounds(CohortFeatureTable& table, const std::vector<CohortSample>& samples,
                               const CohortCompoundOptions& options,
                               const std::function<bool(std::size_t, std::vector<scan>&)>& scansOf,
                               std::vector<FeatureSpectrum>* traces, const EvidenceLimits& limits,
                               EvidenceLeftOut* leftOut) {
  long long tracePoints = 0;
  dropCompoundColumns(table);
  const std::size_t rowCount = table.rows.size();
  const std::size_t sampleCount = table.samples.size();
  const auto fwhmColumn = std::find(table.extraColumns.begin(), table.extraColumns.end(), "median_fwhm");
  std::vector<std::vector<double>> areas(rowCount, std::vector<double>(sampleCount, 0));
  std::vector<GroupingFeature> features;
  for (std::size_t r = 0; r < rowCount; ++r) {
    const CohortFeature& row = table.rows[r];
    double width = options.defaultWidth, sum = 0;
    if (fwhmColumn != table.extraColumns.end()) {
      const auto column = static_cast<std::size_t>(fwhmColumn - table.extraColumns.begin());
      const double fwhm = column < row.extra.size() ? cellNumber(row.extra[column]) : 0;
      if (fwhm > 0) width = 2 * fwhm * 60;  // minutes to seconds; the base is about twice the half width
    }
    for (std::size_t s = 0; s < sampleCount && s < row.areas.size(); ++s) {
      areas[r][s] = cellNumber(row.areas[s]);
      sum += areas[r][s];
    }
    const double rt = row.rt * 60;
    features.push_back(
        GroupingFeature{row.mz, rt, rt - width / 2, rt + width / 2, sum / std::max<double>(1, sampleCount)});
  }
  const FeatureSimilarity similarity = [&areas](std::size_t a, std::size_t b) {
    return abundanceCorrelation(areas[a], areas[b]);
  };
  // Areas across samples keep an isotope's ratio whatever its weakness: no allowance for scattered shapes.
  GroupingOptions grouping = options.run.grouping;
  grouping.closeIsotopeFraction = 0;
  const std::vector<CompoundLabel> labels =
      groupCompounds(features, options.run.adducts, grouping, similarity);

  // MS2 spectra of every sample, linked by each row's time in that sample; the richest spectrum is exported.
  std::vector<long> ms2Counts(rowCount, 0);
  std::vector<double> bestTotal(rowCount, 0);
  std::vector<ExportSpectrum> best(rowCount);
  std::vector<std::vector<ExportPeak>> patterns(rowCount);
  std::vector<std::size_t> strongest(rowCount, 0);
  for (std::size_t r = 0; r < rowCount; ++r) {
    strongest[r] =
        static_cast<std::size_t>(std::max_element(areas[r].begin(), areas[r].end()) - areas[r].begin());
  }
  for (std::size_t s = 0; s < samples.size() && s < sampleCount; ++s) {
    std::vector<scan> scans;
    if (!scansOf || !scansOf(s, scans)) continue;
    std::vector<LinkedFeature> linked;
    for (std::size_t r = 0; r < rowCount; ++r) {
      const double rt = r < samples[s].measuredRt.size() ? samples[s].measuredRt[r] * 60 : NAN;
      const double half = (features[r].rtEnd - features[r].rtStart) / 2;
      linked.push_back(std::isnan(rt) ? LinkedFeature{features[r].mz, 1, 0, 0}
                                      : LinkedFeature{features[r].mz, rt - half, rt + half, areas[r][s]});
    }
    std::vector<const scan*> tandem;
    std::vector<TandemScan> tandemScans;
    const Ms1Index index(scans, options.run.grouping.polarity < 0 ? '-' : '+');
    for (const scan& spectrum : scans) {
      if (spectrum.msLevel != 2 || !(spectrum.precursorMz > 0)) continue;
      tandem.push_back(&spectrum);
      tandemScans.push_back(TandemScan{spectrum.rt, spectrum.precursorMz, 0, 0});
    }
    const std::vector<std::vector<std::size_t>> links =
        linkTandemScans(linked, tandemScans, options.run.linkage);
    if (traces != nullptr) {
      for (std::size_t r = 0; r < rowCount; ++r) {
        const double measured = r < samples[s].measuredRt.size() ? samples[s].measuredRt[r] : NAN;
        FeatureSpectrum trace = cohortTraceOf(
            index, table.rows[r], table.samples[s], std::isnan(measured) ? table.rows[r].rt : measured,
            features[r].rtEnd - features[r].rtStart, options.run.tracePpm, limits);
        const auto size = static_cast<long long>(trace.points.size());
        if (tracePoints + size > limits.maxPoints) {
          if (leftOut != nullptr) ++leftOut->records;
          continue;
        }
        tracePoints += size;
        traces->push_back(std::move(trace));
      }
    }
    for (std::size_t r = 0; r < rowCount; ++r) {
      ms2Counts[r] += static_cast<long>(links[r].size());
      for (std::size_t t : links[r]) {
        const double total = totalIntensity(*tandem[t]);
        if (best[r].peaks.empty() || total > bestTotal[r]) {
          bestTotal[r] = total;
          best[r] =
              ExportSpectrum{tandem[t]->num, static_cast<int>(s), tandem[t]->rt, tandem[t]->precursorMz, {}};
          for (const StoredPeak& peak : tandem[t]->peaks)
            best[r].peaks.push_back(ExportPeak{peak.mz, peak.intensity});
          std::stable_sort(best[r].peaks.begin(), best[r].peaks.end(),
                           [](const ExportPeak& a, const ExportPeak& b) { return a.mz < b.mz; });
        }
      }
      // The isotope pattern from the sample where the row is strongest, at its apex there.
      if (strongest[r] == s && index.size() > 0 && linked[r].rtEnd >= linked[r].rtStart &&
          labels[r].isotope == 0) {
        const double apex = (linked[r].rtStart + linked[r].rtEnd) / 2;
        patterns[r] = isotopePatternIn(index.peaks(index.nearest(apex)), features[r].mz, labels[r].charge,
                                       options.run.tracePpm);
      }
    }
  }

  table.extraColumns.insert(table.extraColumns.end(), kCohortCompoundColumns.begin(),
                            kCohortCompoundColumns.end());
  const int sign = options.run.grouping.polarity < 0 ? -1 : 1;
  ExportSet set;
  set.samples = table.samples;
  for (const CohortSample& sample : samples) set.runFiles.push_back(sample.runFile);
  set.polarity = options.run.grouping.polarity;
  for (std::size_t r = 0; r < rowCount; ++r) {
    CohortFeature& row = table.rows[r];
    const CompoundLabel& label = labels[r];
    row.extra.resize(table.extraColumns.size() - kCohortCompoundColumns.size());
    row.extra.push_back(std::to_string(label.compoundId));
    row.extra.push_back(label.ion);
    row.extra.push_back(std::to_string(sign * label.charge));
    row.extra.push_back(massText(label.neutralMass));
    row.extra.push_back(label.representative ? "1" : "0");
    row.extra.push_back(std::to_string(ms2Counts[r]));

    ExportFeature feature;
    feature.featureId = numericFeatureId(row.featureId, static_cast<long>(r) + 1);
    feature.mz = row.mz;
    feature.rt = features[r].rt;
    feature.rtStart = features[r].rtStart;
    feature.rtEnd = features[r].rtEnd;
    feature.areas = areas[r];
    feature.compoundId = label.compoundId;
    feature.ion = label.ion;
    feature.charge = label.charge;
    feature.neutralMass = label.neutralMass;
    feature.representative = label.representative;
    feature.isotope = label.isotope;
    feature.ms2Scans = ms2Counts[r];
    if (!best[r].peaks.empty()) feature.ms2.push_back(best[r]);
    feature.ms1Pattern = patterns[r];
    set.features.push_back(std::move(feature));
  }
  return set;
}

FeatureSpectrum cohortTraceOf(const Ms1Index& ms1, const CohortFeature& row, const std::string& sample,
                              double rtMinutes, double widthSeconds, double ppm,
                              const EvidenceLimits& limits) {
  const double half = std::max(limits.minTraceHalfWidth, (0.5 + limits.traceMargin) * widthSeconds / 60);
  return traceRecord(ms1, row.featureId, sample, row.mz, ppm, rtMinutes, rtMinutes - half, rtMinutes + half,
                     limits.tracePoints);
}
