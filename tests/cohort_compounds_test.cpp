#include "compound_tool/cohort_compounds.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/test_support.h"

namespace {

using namespace testsupport;

// Four samples. F0001 [M+H]+ and F0002 [M+Na]+ of M = 250 rise and fall together across the samples;
// F0003 would be [M+K]+ by mass but its areas run against theirs; F0004 is the 13C1 of F0001.
CohortFeatureTable cohortTable() {
  const std::vector<Adduct> ions = defaultAdducts();
  CohortFeatureTable table;
  table.samples = {"a", "b", "c", "d"};
  table.extraColumns = {"median_fwhm"};
  auto row = [](const char* id, double mz, std::vector<std::string> areas) {
    CohortFeature feature;
    feature.featureId = id;
    feature.mz = mz;
    feature.rt = 3.0;
    feature.samplesDetected = 4;
    feature.extra = {"0.1000"};
    feature.areas = std::move(areas);
    return feature;
  };
  table.rows = {row("F0001", ions[0].mzOf(250), {"1000", "2000", "4000", "8000"}),
                row("F0002", ions[1].mzOf(250), {"300", "610", "1190", "2420"}),
                row("F0003", ions[2].mzOf(250), {"8000", "4000", "2000", "1000"}),
                row("F0004", ions[0].mzOf(250) + kCarbon13Step, {"140", "290", "570", "1150"})};
  return table;
}

std::vector<CohortSample> cohortSamples() {
  std::vector<CohortSample> samples;
  for (const char* name : {"a", "b", "c", "d"})
    samples.push_back(CohortSample{name, std::string(name) + ".mzML", {3.0, 3.0, 3.0, 3.0}});
  samples[2].measuredRt = {3.1, 3.1, 3.1, 3.1};  // sample c elutes 6 s late
  return samples;
}

TEST(CohortCompounds, GroupsByMassTimeAndAreasAcrossSamples) {
  CohortFeatureTable table = cohortTable();
  const double precursor = table.rows[0].mz;
  const auto scansOf = [precursor](std::size_t sample, std::vector<scan>& scans) {
    if (sample != 2) return false;  // only sample c's run can be read
    scan ms2 = spectrum(77, 186.0, 0, {{90.0, 10.0}});
    ms2.msLevel = 2;
    ms2.precursorMz = precursor;
    scan early = ms2;  // at the time of the table, but 6 s before the row's apex in sample c
    early.num = 70;
    early.rt = 176.0;
    scans = {early, ms2};
    return true;
  };
  const ExportSet set = groupCohortCompounds(table, cohortSamples(), CohortCompoundOptions(), scansOf);
  ASSERT_EQ(table.extraColumns, (std::vector<std::string>{"median_fwhm", "compound_id", "ion", "charge",
                                                          "neutral_mass", "representative", "ms2_scans"}));
  auto cell = [&](std::size_t row, const char* column) {
    for (std::size_t c = 0; c < table.extraColumns.size(); ++c) {
      if (table.extraColumns[c] == column) return table.rows[row].extra[c];
    }
    return std::string("?");
  };
  EXPECT_EQ(cell(0, "ion"), "[M+H]+");
  EXPECT_EQ(cell(1, "ion"), "[M+Na]+");
  EXPECT_EQ(cell(2, "ion"), "");
  EXPECT_EQ(cell(3, "ion"), "[M+H]+ 13C1");
  EXPECT_EQ(cell(0, "compound_id"), cell(1, "compound_id"));
  EXPECT_NE(cell(2, "compound_id"), cell(0, "compound_id"));
  EXPECT_EQ(cell(0, "neutral_mass").substr(0, 7), "250.000");
  EXPECT_EQ(cell(0, "representative"), "1");
  EXPECT_EQ(cell(1, "representative"), "0");
  EXPECT_EQ(cell(0, "ms2_scans"), "1");  // the scan at 176 s lies before the row's edges in sample c
  EXPECT_EQ(cell(1, "ms2_scans"), "0");
  ASSERT_EQ(set.features.size(), 4u);
  EXPECT_EQ(set.features[0].featureId, 1);
  ASSERT_EQ(set.features[0].ms2.size(), 1u);
  EXPECT_EQ(set.features[0].ms2[0].sample, 2);
  EXPECT_EQ(set.features[0].areas, (std::vector<double>{1000, 2000, 4000, 8000}));
  // Grouping again replaces the compound columns rather than adding more.
  groupCohortCompounds(table, cohortSamples(), CohortCompoundOptions(), nullptr);
  EXPECT_EQ(table.extraColumns.size(), 7u);
  EXPECT_EQ(table.rows[0].extra.size(), 7u);
  EXPECT_EQ(cell(0, "ms2_scans"), "0");
}

// The traces for the cohort page: every row in every sample whose run was read, around the row's measured
// time there, within the bound of points.
TEST(CohortCompounds, TracesFollowEachSamplesMeasuredTime) {
  CohortFeatureTable table = cohortTable();
  const double mz = table.rows[0].mz;
  const auto scansOf = [mz](std::size_t sample, std::vector<scan>& scans) {
    if (sample == 3) return false;  // sample d's run cannot be read
    scans.clear();
    for (int k = 0; k < 120; ++k) {  // 150..269 s, a peak at the row's time in the sample
      const double t = 150 + k;
      const double apex = sample == 2 ? 186 : 180;
      scan ms1 = spectrum(k + 1, t, 0, {{mz, 1000 * std::exp(-0.5 * (t - apex) * (t - apex) / 16) + 1}});
      ms1.msLevel = 1;
      scans.push_back(ms1);
    }
    return true;
  };
  std::vector<FeatureSpectrum> traces;
  EvidenceLeftOut leftOut;
  groupCohortCompounds(table, cohortSamples(), CohortCompoundOptions(), scansOf, &traces, EvidenceLimits(),
                       &leftOut);
  ASSERT_EQ(traces.size(), 12u);  // four rows in three samples
  EXPECT_EQ(leftOut.records, 0);
  for (const FeatureSpectrum& trace : traces) {
    EXPECT_EQ(trace.kind, SpectrumKind::Trace);
    // median_fwhm 0.1 min: a width of 12 s, 15 s (the least) either side of the measured time.
    EXPECT_EQ(trace.points.size(), 31u) << trace.featureId << " " << trace.sample;
    const double centre = trace.sample == "c" ? 3.1 : 3.0;
    EXPECT_DOUBLE_EQ(trace.rt, centre);
    EXPECT_NEAR(trace.points[15].first, centre, 1e-9);
  }
  EXPECT_EQ(traces[0].featureId, "F0001");
  EXPECT_EQ(traces[0].sample, "a");
  EXPECT_DOUBLE_EQ(traces[0].points[15].second, 1001);  // the apex of [M+H]+ in sample a
  EXPECT_EQ(traces[8].sample, "c");
  EXPECT_DOUBLE_EQ(traces[8].points[15].second, 1001);  // and in sample c, 6 s later

  EvidenceLimits bounded;
  bounded.maxPoints = 100;  // three traces of 31 points
  traces.clear();
  groupCohortCompounds(table, cohortSamples(), CohortCompoundOptions(), scansOf, &traces, bounded, &leftOut);
  EXPECT_EQ(traces.size(), 3u);
  EXPECT_EQ(leftOut.records, 9);
}

}  // namespace
