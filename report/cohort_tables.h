#ifndef TORVA_REPORT_COHORT_TABLES_H
#define TORVA_REPORT_COHORT_TABLES_H

#include <stdexcept>
#include <string>
#include <vector>

// The tables torva-align writes into a cohort folder:
//   samples.tsv        sample, file, group: the samples in table order
//   features.tsv       feature_id, mz, rt, n_samples, any per-feature columns, then each
//                      sample's area (empty when absent); written and read below
//   feature_rt.tsv     feature_id, then each sample's measured apex time (minutes)
//   gap_filled.tsv     feature_id, then 1 where the sample's area was gap-filled, else 0
//   rt_correction.tsv  sample, rt, rt_corrected: each sample's retention-time correction
// and the windowed target lists of the gap filling (targets/<sample>.tsv, see
// report/target_table.h).

const std::vector<std::string>& cohortSampleColumns();
const std::vector<std::string>& featureTableColumns();  // the leading ones; one per sample follows
// Every per-feature column that may stand in features.tsv between n_samples and
// the samples: torva-align's (from feature tables) and the compound step's.
const std::vector<std::string>& cohortPerFeatureColumns();
const std::vector<std::string>& featureRtColumns();  // the leading one; one per sample follows
const std::vector<std::string>& gapFilledColumns();  // the leading one; one per sample follows
const std::vector<std::string>& rtCorrectionColumns();

// The head line of a table: `leading`, then one column per sample; with its line feed.
std::string cohortHead(const std::vector<std::string>& leading, const std::vector<std::string>& samples = {});

// A tab-separated table with a head line, its cells kept as written.
struct TextTable {
  bool present = false;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::size_t rowsLeftOut = 0;                // rows read past the reader's bound, checked but not kept
  int column(const std::string& name) const;  // -1 when absent
};

// Reads a table; a missing file leaves `present` false and is no error. The
// file must have a head line, and every line after it that is not empty as
// many fields as the head (an absent value is an empty field). False, with
// `error` naming the file and the line, otherwise. Only the first `maxRows`
// rows are kept; the rest are checked alike and counted in `rowsLeftOut`, so
// that memory follows the bound, not the file.
bool readTextTable(const std::string& path, TextTable& table, std::string& error,
                   std::size_t maxRows = static_cast<std::size_t>(-1));

// features.tsv in full: one row per compound of the cohort, one area column
// per sample, per-feature columns between them.
//
// Layout: a tab-separated text file with a head line, lines ended by a line
// feed. The head reads
//
//   feature_id  mz  rt  n_samples  [per-feature columns ...]  <sample 1> ... <sample N>
//
// feature_id   text, unique ("F0001", ...)
// mz           m/z, median of the samples' features, 5 decimals
// rt           minutes, median of the samples' corrected apex times, 4 decimals
// n_samples    samples the feature was detected in, before gap filling
// per-feature  columns torva-align adds when the samples' reports carry them
//              (from feature tables: mean_height, median_fwhm, median_sn), each
//              a number or empty when no sample gave one
// <sample>     one column per sample, named and ordered as in samples.tsv: the
//              sample's area as its report wrote it, empty when absent
//
// Reading takes the sample names from samples.tsv: they must be the head's last
// columns, in order; the columns between n_samples and them are the per-feature
// columns. Every row has the head's number of fields; mz, rt and n_samples read
// whole as numbers; areas are empty or read whole as finite numbers. Anything
// else throws CohortTableError naming the file and the line.

struct CohortFeature {
  std::string featureId;
  double mz = 0;  // m/z
  double rt = 0;  // minutes
  long long samplesDetected = 0;
  std::vector<std::string> extra;  // per-feature columns, as written
  std::vector<std::string> areas;  // per sample, as written; empty: absent
};

struct CohortFeatureTable {
  std::vector<std::string> extraColumns;  // names of the per-feature columns
  std::vector<std::string> samples;       // sample names, in sheet order
  std::vector<CohortFeature> rows;
};

class CohortTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The head line and the rows, each line ended by '\n'. A row's mz and rt are
// written with 5 and 4 decimals; its extra and area cells as given.
std::string formatCohortFeatures(const CohortFeatureTable& table);

// Parses a whole table whose last columns are `samples`; `name` names the
// source in error messages ("name:line: ...").
CohortFeatureTable parseCohortFeatures(const std::string& text, const std::vector<std::string>& samples,
                                       const std::string& name);

#endif
