#ifndef TORVA_EXPORT_SIRIUS_EXPORT_H
#define TORVA_EXPORT_SIRIUS_EXPORT_H

#include <string>

#include "export/export_model.h"

// The SIRIUS .ms file: one block per compound that has an MS2 spectrum on one of its monoisotopic ions,
// for the most intense such ion (explained ions first):
//   >compound <compound_id>_<feature_id> / >parentmass <ion m/z> / >ionization <ion, or [M+?]+> /
//   >charge <signed z> / >rt <apex>s / #feature_id, #neutral_mass comments /
//   >ms1 with the ion's isotope pattern at its apex / >ms2 with the spectrum; blocks end with an empty line.
// `ms2Lines`: ms2PeakLines(set) when the caller has them, else null.
std::string siriusMs(const ExportSet& set, const std::vector<std::string>* ms2Lines = nullptr);

#endif
