#ifndef TORVA_EXPORT_MZTAB_EXPORT_H
#define TORVA_EXPORT_MZTAB_EXPORT_H

#include <string>

#include "export/export_model.h"

// An mzTab-M 2.0.0 file of the run or cohort: the metadata (MTD: one ms_run and one assay per sample, one
// study variable of them all, the controlled vocabularies, "no database", the units), one SML row per
// compound (its features, neutral mass, ions and the representative's areas), one SMF row per feature
// (ion, 13C isotopomer, m/z, charge, times, areas) and one SME row per feature with an MS2 spectrum (the
// spectrum as evidence, no identification). Empty values read "null".
std::string mztabM(const ExportSet& set);

// An ion as mzTab-M writes it: "[M+H]+" becomes "[M+H]1+", "[M+2H]2+" stays; "" for none.
std::string mztabAdduct(const std::string& ion);

#endif
