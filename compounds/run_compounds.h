#ifndef TORVA_COMPOUNDS_RUN_COMPOUNDS_H
#define TORVA_COMPOUNDS_RUN_COMPOUNDS_H

#include <string>
#include <vector>

#include "compounds/adduct_table.h"
#include "compounds/correlation.h"
#include "compounds/grouping_input.h"
#include "compounds/ms1_index.h"
#include "compounds/ms2_linkage.h"
#include "export/export_model.h"
#include "records/records.h"
#include "report/feature_table.h"

struct RunCompoundOptions {
  std::vector<Adduct> adducts = defaultAdducts();
  GroupingOptions grouping;
  Ms2LinkOptions linkage;
  double tracePpm = 10;  // half-window of a feature's trace in the MS1 spectra, ppm of its m/z
  // A feature's trace is read this many peak widths beyond either edge, so that two ions' shapes are
  // compared over both peaks together.
  double traceMargin = 0.5;
};

// Groups a run's features into compounds and links its MS2 scans to them: fills the rows' compound_id, ion,
// charge (signed), neutral_mass, representative and ms2_scans (the number of linked MS2 spectra), and
// returns what the exports need (one sample: `sampleName`, `runFile`). Peak shapes come from the MS1
// spectra of `scans` (each feature's summed intensity within `tracePpm` over its edges); the MS2 spectra are
// the scans of MS level 2 with a precursor. Rows of targets not found take no part. When `linkedScans` is
// given it receives, per row, the indices into `scans` of the row's linked MS2 spectra in time order.
ExportSet groupRunCompounds(const std::vector<scan>& scans, std::vector<FeatureRow>& rows,
                            const RunCompoundOptions& options, const std::string& sampleName,
                            const std::string& runFile,
                            std::vector<std::vector<std::size_t>>* linkedScans = nullptr);

// A feature's trace to read: its m/z and the time range [start, end], seconds.
struct TraceRequest {
  double mz, start, end;
};

// Each request's trace: from the first spectrum of `ms1` at or after `start` to the last at or before `end`,
// the summed intensity of each within `ppm` of the m/z (the peaks from the lowest m/z in the window up,
// as Ms1Index::sumIn adds them). The features are taken in m/z order, and the first peak of a spectrum in
// a window is found by moving that spectrum's cursor from where the previous feature left it instead of by
// a binary search (a third of a million of them on a crowded run); features whose m/z is not a finite
// number, and spectra with such a peak, by the binary search.
std::vector<FeatureTrace> readTraces(const Ms1Index& ms1, const std::vector<TraceRequest>& requests,
                                     double ppm);

// The number a feature id carries ("F12" -> 12, "0042" -> 42), for formats whose ids are numbers;
// `fallback` when it carries none.
long numericFeatureId(const std::string& featureId, long fallback);

// Where isotopePatternIn's last search in a spectrum began, for the next one in the same spectrum.
struct PatternCursor {
  std::size_t first = 0;  // the first peak of the last search's first window
  double low = 0;         // that window's lower end, m/z
  bool set = false;
};

// The isotope pattern of an ion in one spectrum whose peaks are sorted by m/z: the peaks nearest
// m/z + k * 1.0033548 / charge within `ppm`, k = 0, 1, ..., up to the first missing one. With a cursor of
// the same spectrum, a search of an ion above the last one begins where the last one did.
std::vector<ExportPeak> isotopePatternIn(const std::vector<StoredPeak>& peaks, double mz, int charge,
                                         double ppm, PatternCursor* cursor = nullptr);

#endif
