#ifndef TORVA_IMPORT_SRM_SPECTRA_H
#define TORVA_IMPORT_SRM_SPECTRA_H

#include <cstdint>
#include <string>
#include <vector>

#include "input/id_claims.h"
#include "records/records.h"
#include "records/srm_chromatogram.h"

// Turns SRM chromatograms into the spectra an instrument that stores SRM
// spectra would have written: one MS2 spectrum per point, with one peak at the
// product m/z, in order of time (chromatogram order among equal times), numbered
// from 1 in that order. Each carries a filter line that names its transition
// ('+ c chromatogram SRM ms2 300@cid20 [150-151]'), so that the SRM grouping
// gives every transition its channel. Appends them to `spectra`, with the
// readers' progress dot for every 2000 spectra (`pushCount` counts on from the
// reader's).
void appendSrmSpectra(const std::vector<SrmChromatogram>& chromatograms, const std::string& path,
                      IdClaims& ids, std::int64_t& pushCount, std::vector<scan>& spectra);

#endif
