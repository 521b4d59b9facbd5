#ifndef TORVA_VIEW_QUANT_TABLES_H
#define TORVA_VIEW_QUANT_TABLES_H

#include <string>

#include "view/cohort_tables.h"

// The tables of a targeted cohort's folder (torva-quant --out): calibration.tsv
// and quant_long.tsv are required, traces.tsv is shown when present.
struct QuantTables {
  TextTable calibration, quantLong, traces;
};

// Reads the folder; each table is first checked by its own reader (columns,
// numbers), so a page is never made of a table torva-quant did not write.
// False with `error` naming the file and line of what is amiss.
bool readQuantFolder(const std::string& folder, QuantTables& tables, std::string& error);

#endif
