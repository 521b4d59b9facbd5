#ifndef TORVA_REPORT_FEATURE_TABLE_H
#define TORVA_REPORT_FEATURE_TABLE_H

// The feature table (`torva --detect resolver --features FILE`): one row per
// chromatographic peak found by the resolver, or one row per target in target
// order when targets were given. This file is the only place that knows its
// columns: torva writes it, torva-align, the tools and the tests read it back.
//
// Layout: a tab-separated text file, lines ended by a line feed. The first line
// is the head, exactly the names of kFeatureColumns joined by tabs, in that
// order; every later line is one row with exactly that many fields. Every
// column is always written, whether or not targets or compound grouping were
// used, so there is one layout to read. Fields:
//
//   feature_id      text, unique within the file, no tab or line feed ("F1", "F2", ...)
//   mz              m/z, intensity-weighted mean of the feature's centroids
//   mz_min, mz_max  m/z, the lowest and highest centroid of the feature
//   rt              minutes, apex time
//   rt_start        minutes, first scan of the peak (left edge)
//   rt_end          minutes, last scan of the peak (right edge)
//   height          counts, raw intensity at the apex
//   area            counts x seconds, trapezoid over the raw trace between the edges
//   area_corrected  counts x seconds, `area` less the baseline under the peak (never below 0)
//   fwhm            minutes, full width at half height of the smoothed peak
//   sn              signal-to-noise: (smoothed apex - baseline) / noise
//   points          scans with a centroid between the edges (whole number >= 0)
//   polarity        "+", "-" or "?" (not stated by the file)
//   ms_level        MS level of the spectra (whole number >= 0)
//   shape           0..1, peak-shape quality (see features/peak_resolver.h)
//   target          text: the target's name, or its m/z as given; empty without targets
//   target_mz       m/z of the target; 0 without targets
//   status          "found", "filled" (torva --fill-gaps: measured in the target's window
//                   below the feature minimums), "not_found" (a target row with nothing found:
//                   every measured number is 0, mz is the target's m/z) or empty without targets
//   compound_id     whole number, the compound the feature was grouped into; 0: not grouped
//   ion             text, the ion form within the compound ("[M+H]+", "[M+H]+ 13C1"; "13C1" for an
//                   isotope of an unexplained ion); empty: unexplained (an in-source fragment, a lone
//                   ion) or not grouped
//   charge          whole number, signed charge of the ion; 0: not known
//   neutral_mass    daltons, the compound's neutral mass; 0: not known
//   representative  0 or 1: the row that stands for its compound (1 when not grouped)
//   ms2_scans       text: with --compounds the number of MS2 spectra linked to the feature (a whole number);
//                   empty without
//
// Numbers are written in fixed notation (m/z with 6 decimals, minutes with 4,
// counts and areas with 1, sn and shape with 3) and read whole: a field
// that is not entirely one finite number rejects the file.
//
// Reading: one acceptance rule. The head must match exactly; a row must have
// the head's field count, every number must read whole and be finite, whole
// numbers must be whole, polarity/status/representative must take one of their
// values, feature_id must be non-empty and unique. Anything else throws
// FeatureTableError naming the file and the line number. Numbers are read by
// the rules of every TORVA table (report/table_text.h: readDecimal,
// readInteger); empty lines are skipped, as there.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

struct FeatureRow {
  std::string featureId;
  double mz = 0;             // m/z
  double mzMin = 0;          // m/z
  double mzMax = 0;          // m/z
  double rt = 0;             // minutes
  double rtStart = 0;        // minutes
  double rtEnd = 0;          // minutes
  double height = 0;         // counts
  double area = 0;           // counts x seconds
  double areaCorrected = 0;  // counts x seconds
  double fwhm = 0;           // minutes
  double sn = 0;
  long long points = 0;
  char polarity = '?';  // '+', '-' or '?'
  long long msLevel = 0;
  double shape = 0;  // 0..1
  // Targets.
  std::string target;  // name or m/z text; empty without targets
  double targetMz = 0;
  std::string status;  // "found", "filled", "not_found" or empty
  // Compound grouping; the defaults mean "not grouped".
  long long compoundId = 0;
  std::string ion;
  long long charge = 0;
  double neutralMass = 0;
  bool representative = true;
  std::string ms2Scans;
};

extern const std::vector<std::string> kFeatureColumns;

class FeatureTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The head line and the rows, each line ended by '\n'.
std::string formatFeatureTable(const std::vector<FeatureRow>& rows);
// One row's line, ended by '\n'.
std::string formatFeatureRow(const FeatureRow& row);

// Parses a whole table; `name` names the source in error messages ("name:line: ...").
std::vector<FeatureRow> parseFeatureTable(const std::string& text, const std::string& name);
// Reads a file; throws FeatureTableError when it cannot be read or is not a feature table.
std::vector<FeatureRow> readFeatureTable(const std::string& path);

// Writes the table to a temporary file in the same folder and renames it to
// `path` once every byte is written. False (with `error` set) when it fails;
// then `path` is left as it was.
bool writeFeatureTable(const std::string& path, const std::vector<FeatureRow>& rows, std::string& error);

#endif
