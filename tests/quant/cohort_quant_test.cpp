// A cohort's quantitation from its run tables: responses to internal
// standards, flags, QC accuracy and the tables' shape.
#include "quant/cohort_quant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quant/quant_options.h"

namespace {

TargetTransition target(const std::string& compound, const std::string& product, TargetRole role,
                        const std::string& standard) {
  TargetTransition t;
  t.compound = compound;
  t.precursorText = "200";
  t.precursorMz = 200;
  t.productText = product;
  t.productMz = std::stod(product);
  t.hasProduct = true;
  t.role = role;
  t.internalStandard = standard;
  return t;
}

TargetResult found(const TargetTransition& t, double area) {
  TargetResult r;
  r.compound = t.compound;
  r.transition = t.label();
  r.role = roleName(t.role);
  r.status = area > 0 ? TargetStatus::Found : TargetStatus::NotFound;
  r.area = area;
  r.ionRatio = std::nan("");
  return r;
}

}  // namespace

TEST(CohortQuant, CalibratesRatiosAndFlagsEverySample) {
  const std::vector<TargetTransition> targets = {target("a", "100", TargetRole::Quantifier, "is"),
                                                 target("a", "120", TargetRole::Qualifier, ""),
                                                 target("is", "130", TargetRole::InternalStandard, "")};
  std::vector<QuantSample> samples;
  std::vector<std::vector<TargetResult>> tables;
  // Responses: a's area is 1000 per unit over an internal standard of 5e4 times
  // a run factor; the qualifier at 0.5 of the quantifier.
  auto add = [&](const std::string& name, const std::string& type, double conc, double known, double factor,
                 double qualifierRatio, double isArea) {
    QuantSample s;
    s.name = name;
    s.type = type;
    if (known >= 0) s.concentrations["a"] = known;
    samples.push_back(s);
    const double area = 1000 * conc * factor;
    tables.push_back({found(targets[0], area), found(targets[1], area * qualifierRatio),
                      found(targets[2], isArea * factor)});
  };
  for (double level : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0})
    add("std_" + std::to_string(static_cast<int>(level)), "standard", level, level, 1.0 + level / 1000, 0.5,
        5e4);
  add("qc_low", "qc", 3, 3, 0.9, 0.5, 5e4);
  add("qc_off", "qc", 40, 30, 1.1, 0.5, 5e4);  // known as 30, measures 40: beyond 15 %
  add("in_range", "sample", 7, -1, 1.2, 0.5, 5e4);
  add("below", "sample", 0.5, -1, 1.0, 0.5, 5e4);
  add("above", "sample", 400, -1, 1.0, 0.5, 5e4);
  add("interfered", "sample", 30, -1, 1.0, 0.75, 5e4);
  add("no_is", "sample", 30, -1, 1.0, 0.5, 0);
  add("missing", "sample", 0, -1, 1.0, 0.5, 5e4);

  const CohortQuantResult result = quantifyCohort(targets, samples, tables, CohortQuantSettings());
  ASSERT_EQ(result.compounds, std::vector<std::string>{"a"});
  ASSERT_EQ(result.calibration.size(), 1u);
  EXPECT_EQ(result.calibration[0].status, "ok");
  EXPECT_GT(result.calibration[0].r2, 0.9999);
  EXPECT_EQ(result.calibration[0].qcCount, 2);
  EXPECT_EQ(result.calibration[0].qcWithin, 1);
  ASSERT_EQ(result.longRows.size(), samples.size() * 3);

  auto quantifier = [&](const std::string& sample) -> const QuantLongRow& {
    for (const QuantLongRow& row : result.longRows)
      if (row.sample == sample && row.role == "quantifier") return row;
    throw std::runtime_error("no row");
  };
  auto qualifier = [&](const std::string& sample) -> const QuantLongRow& {
    for (const QuantLongRow& row : result.longRows)
      if (row.sample == sample && row.role == "qualifier") return row;
    throw std::runtime_error("no row");
  };
  EXPECT_NEAR(quantifier("in_range").concentration, 7, 1e-9);
  EXPECT_EQ(quantifier("in_range").flags, "");
  EXPECT_NEAR(quantifier("qc_low").accuracy, 100, 1e-6);
  EXPECT_NE(quantifier("qc_off").flags.find("qc_out"), std::string::npos);
  EXPECT_NE(quantifier("below").flags.find("below_range"), std::string::npos);
  EXPECT_NE(quantifier("above").flags.find("above_range"), std::string::npos);
  EXPECT_NEAR(quantifier("above").concentration, 400, 1e-6);
  EXPECT_NE(qualifier("interfered").flags.find("ion_ratio_out"), std::string::npos);
  EXPECT_NE(quantifier("interfered").flags.find("ion_ratio_out"), std::string::npos);
  EXPECT_NEAR(qualifier("interfered").ratio, 0.75, 1e-12);
  EXPECT_EQ(qualifier("in_range").flags, "");
  EXPECT_NE(quantifier("no_is").flags.find("internal_standard_not_found"), std::string::npos);
  EXPECT_TRUE(std::isnan(quantifier("no_is").concentration));
  EXPECT_NE(quantifier("missing").flags.find("not_found"), std::string::npos);
  // The concentrations table: a row per sample, empty where nothing was quantified.
  ASSERT_EQ(result.concentrations.size(), samples.size());
  EXPECT_TRUE(std::isnan(result.concentrations.back()[0]));
}

TEST(CohortQuant, ATableOfAnotherListIsNamed) {
  const std::vector<TargetTransition> targets = {target("a", "100", TargetRole::Quantifier, "")};
  EXPECT_EQ(tableMismatch(targets, {found(targets[0], 1)}), "");
  EXPECT_NE(tableMismatch(targets, {}), "");
  TargetResult other = found(targets[0], 1);
  other.transition = "200>101";
  EXPECT_NE(tableMismatch(targets, {other}).find("200>101"), std::string::npos);
}

TEST(CohortQuant, OptionsTakeModelWeightingAndLimits) {
  struct Case {
    std::vector<std::string> args;
    int outcome;
  };
  const std::vector<std::string> required = {"--targets", "t", "--samples", "s", "--runs", "r", "--out", "o"};
  const Case cases[] = {
      {{}, 0},
      {{"--model", "quadratic", "--weighting", "1/x^2", "--accuracy", "10", "--lowest-accuracy", "25"}, 0},
      {{"--model", "cubic"}, 2},
      {{"--weighting", "x"}, 2},
      {{"--accuracy", "-1"}, 2},
      {{"--ratio-tolerance", "abc"}, 2},
      {{"extra"}, 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"torva-quant"};
    words.insert(words.end(), required.begin(), required.end());
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    QuantOptions options;
    std::string error;
    EXPECT_EQ(parseQuantOptions(static_cast<int>(argv.size()), argv.data(), options, error), c.outcome)
        << (c.args.empty() ? "" : c.args[0]);
    if (c.outcome == 0 && !c.args.empty()) {
      EXPECT_EQ(options.settings.model, CurveModel::Quadratic);
      EXPECT_DOUBLE_EQ(options.settings.limits.others, 0.10);
      EXPECT_DOUBLE_EQ(options.settings.limits.lowest, 0.25);
    }
  }
}
