#include "report/feature_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

FeatureRow sampleRow() {
  FeatureRow row;
  row.featureId = "F1";
  row.mz = 298.216712;
  row.mzMin = 298.2161;
  row.mzMax = 298.2173;
  row.rt = 4.1234;
  row.rtStart = 4.05;
  row.rtEnd = 4.2;
  row.height = 123456.5;
  row.area = 9876543.2;
  row.areaCorrected = 9000000;
  row.fwhm = 0.0512;
  row.sn = 42.125;
  row.points = 17;
  row.polarity = '-';
  row.msLevel = 1;
  row.shape = 0.875;
  return row;
}

std::string headLine() { return formatFeatureTable({}); }

// Replaces field `column` (by name) of the sample row's line.
std::string lineWith(const std::string& column, const std::string& value) {
  std::string line = formatFeatureRow(sampleRow());
  line.pop_back();
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  for (std::size_t c = 0; c < kFeatureColumns.size(); ++c) {
    if (kFeatureColumns[c] == column) fields[c] = value;
  }
  std::string out;
  for (std::size_t c = 0; c < fields.size(); ++c) out += (c ? "\t" : "") + fields[c];
  return out + "\n";
}

}  // namespace

TEST(FeatureTable, RowsReadBackAsWritten) {
  FeatureRow target = sampleRow();
  target.featureId = "T2";
  target.target = "caffeine";
  target.targetMz = 195.0877;
  target.status = "not_found";
  target.compoundId = 7;
  target.ion = "[M+H]+";
  target.charge = 1;
  target.neutralMass = 194.080376;
  target.representative = false;
  target.ms2Scans = "12,40";
  const std::string text = formatFeatureTable({sampleRow(), target});
  const std::vector<FeatureRow> rows = parseFeatureTable(text, "t.tsv");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(formatFeatureTable(rows), text);
  EXPECT_EQ(rows[0].polarity, '-');
  EXPECT_TRUE(rows[0].representative);
  EXPECT_EQ(rows[1].target, "caffeine");
  EXPECT_EQ(rows[1].ms2Scans, "12,40");
  EXPECT_EQ(rows[1].compoundId, 7);
}

TEST(FeatureTable, HeadAndFixedDecimals) {
  EXPECT_EQ(
      headLine(),
      "feature_id\tmz\tmz_min\tmz_max\trt\trt_start\trt_end\theight\tarea\tarea_corrected\tfwhm\tsn\tpoints\t"
      "polarity\tms_level\tshape\ttarget\ttarget_mz\tstatus\tcompound_id\tion\tcharge\tneutral_mass\t"
      "representative\tms2_scans\n");
  EXPECT_EQ(formatFeatureRow(sampleRow()),
            "F1\t298.216712\t298.216100\t298.217300\t4.1234\t4.0500\t4.2000\t123456.5\t9876543.2\t9000000.0\t"
            "0.0512\t42.125\t17\t-\t1\t0.875\t\t0.000000\t\t0\t\t0\t0.000000\t1\t\n");
}

TEST(FeatureTable, RejectsWithTheLineNumber) {
  const struct {
    std::string line;
    std::string message;
  } cases[] = {
      {lineWith("mz", "298.2x"), "t.tsv:3: mz is not a finite number"},
      {lineWith("mz", ""), "t.tsv:3: mz is not a finite number"},
      {lineWith("height", "inf"), "t.tsv:3: height is not a finite number"},
      {lineWith("area", "nan"), "t.tsv:3: area is not a finite number"},
      {lineWith("rt", " 4.1"), "t.tsv:3: rt is not a finite number"},
      {lineWith("points", "3.5"), "t.tsv:3: points is not a whole number"},
      {lineWith("points", "-1"), "t.tsv:3: points is negative"},
      {lineWith("polarity", "pos"), "t.tsv:3: polarity is not"},
      {lineWith("shape", "1.5"), "t.tsv:3: shape is not within 0..1"},
      {lineWith("status", "maybe"), "t.tsv:3: status is not"},
      {lineWith("representative", "yes"), "t.tsv:3: representative is not 0 or 1"},
      {lineWith("feature_id", ""), "t.tsv:3: feature_id is empty"},
      {lineWith("feature_id", "F9"), "t.tsv:3: feature_id 'F9' repeats"},
      {"F2\t1.0\n", "t.tsv:3: has 2 fields"},
      {lineWith("height", "+5"), "t.tsv:3: height is not a finite number"},
      {lineWith("points", " 3"), "t.tsv:3: points is not a whole number"},
  };
  for (const auto& c : cases) {
    FeatureRow first = sampleRow();
    first.featureId = "F9";
    const std::string text = headLine() + formatFeatureRow(first) + c.line;
    try {
      parseFeatureTable(text, "t.tsv");
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (const FeatureTableError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
    }
  }
}

TEST(FeatureTable, RejectsAForeignHeadOrEmptyFile) {
  EXPECT_THROW(parseFeatureTable("mass\trt\tarea\n", "s.tsv"), FeatureTableError);
  EXPECT_THROW(parseFeatureTable("", "s.tsv"), FeatureTableError);
  // A head with a column missing at the end is not the same table.
  std::string head = headLine();
  head = head.substr(0, head.rfind('\t')) + "\n";
  EXPECT_THROW(parseFeatureTable(head, "s.tsv"), FeatureTableError);
  EXPECT_TRUE(parseFeatureTable(headLine(), "s.tsv").empty());
}

TEST(FeatureTable, WritesWholeFileByRename) {
  const std::string folder = ::testing::TempDir();
  const std::string path = folder + "/feature_table_test_" + std::to_string(getpid()) + ".tsv";
  std::string error;
  ASSERT_TRUE(writeFeatureTable(path, {sampleRow()}, error)) << error;
  EXPECT_EQ(readFeatureTable(path).size(), 1u);
  // A table written in several pieces, and an empty one: the text formatFeatureTable gives.
  std::vector<FeatureRow> rows;
  for (int r = 0; r < 4000; ++r) {
    rows.push_back(sampleRow());
    rows.back().featureId = "F" + std::to_string(r + 1);
    rows.back().mz += r;
  }
  for (const std::size_t count : {rows.size(), std::size_t{0}}) {
    const std::vector<FeatureRow> some(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(count));
    ASSERT_TRUE(writeFeatureTable(path, some, error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, formatFeatureTable(some));
    EXPECT_EQ(readFeatureTable(path).size(), count);
  }
  std::remove(path.c_str());
  EXPECT_FALSE(writeFeatureTable(folder + "/no/such/folder/f.tsv", {}, error));
  EXPECT_NE(error.find("no/such/folder/f.tsv"), std::string::npos) << error;
  EXPECT_THROW(readFeatureTable(folder + "/no/such/file.tsv"), FeatureTableError);
}
