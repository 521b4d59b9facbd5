#ifndef TORVA_VIEW_PAGE_WRITER_H
#define TORVA_VIEW_PAGE_WRITER_H

#include <ostream>
#include <string>

#include "view/binned_map_grid.h"
#include "view/cohort_tables.h"
#include "view/feature_tables.h"
#include "view/quant_tables.h"
#include "view/run_tables.h"
#include "view/view_options.h"

// What the run page shows about where its numbers came from.
struct RunPageInputs {
  const ViewOptions* options = nullptr;
  const RunTables* tables = nullptr;
  const BinnedMapGrid* map = nullptr;  // null when no map was given
};

// Writes the whole page: styles, the data as JSON, the charting library with its
// licence and the page's script, all inline.
void writeRunPage(const RunPageInputs& inputs, std::ostream& out);
// With `traces` present (torva-compounds --traces), the selected feature's traces across the samples too.
void writeCohortPage(const ViewOptions& options, const CohortTables& cohort, std::ostream& out,
                     const CohortTraces* traces = nullptr);
// A resolver run's page: the feature table; for the selected feature its chromatogram with its compound's
// other ions, its MS1 spectrum at the apex with the isotope pattern marked, its linked MS2 spectra.
void writeFeaturePage(const ViewOptions& options, const FeaturePageTables& tables, std::ostream& out);
// The feature page's data as the page reads it (exposed for tests).
void writeFeatureJson(const ViewOptions& options, const FeaturePageTables& tables, std::ostream& out);
// The targeted cohort's page: each compound's curve with its standards, each
// sample's chromatograms with the integrated range.
void writeQuantPage(const ViewOptions& options, const QuantTables& tables, std::ostream& out);

// The run's data as the page reads it (exposed for tests).
void writeRunJson(const RunPageInputs& inputs, std::ostream& out);

#endif
