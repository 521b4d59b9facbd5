#ifndef TORVA_REPORT_COHORT_TABLES_H
#define TORVA_REPORT_COHORT_TABLES_H

#include <string>
#include <vector>

// The tables torva-align writes into a cohort folder:
//   samples.tsv        sample, file, group: the samples in table order
//   features.tsv       feature_id, mz, rt, n_samples, then each sample's area (empty when absent)
//   feature_rt.tsv     feature_id, then each sample's measured apex time (minutes)
//   gap_filled.tsv     feature_id, then 1 where the sample's area was gap-filled, else 0
//   rt_correction.tsv  sample, rt, rt_corrected: each sample's retention-time correction
// and the windowed target lists of the gap filling (targets/<sample>.tsv, see
// report/target_table.h).

const std::vector<std::string>& cohortSampleColumns();
const std::vector<std::string>& featureTableColumns();  // the leading ones; one per sample follows
const std::vector<std::string>& featureRtColumns();     // the leading one; one per sample follows
const std::vector<std::string>& gapFilledColumns();     // the leading one; one per sample follows
const std::vector<std::string>& rtCorrectionColumns();

// The head line of a table: `leading`, then one column per sample; with its line feed.
std::string cohortHead(const std::vector<std::string>& leading, const std::vector<std::string>& samples = {});

// A tab-separated table with a head line, its cells kept as written.
struct TextTable {
  bool present = false;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  int column(const std::string& name) const;  // -1 when absent
};

// Reads a table; a missing file leaves `present` false and is no error. The
// file must have a head line, and every line after it that is not empty as
// many fields as the head (an absent value is an empty field). False, with
// `error` naming the file and the line, otherwise.
bool readTextTable(const std::string& path, TextTable& table, std::string& error);

#endif
