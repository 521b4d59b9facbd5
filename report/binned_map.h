#ifndef TORVA_REPORT_BINNED_MAP_H
#define TORVA_REPORT_BINNED_MAP_H

#include <vector>

#include "records/records.h"
#include "records/run_data.h"

// Fills sums[b] and occupied[b], b = 1 ... edges.size() - 1 (both sized
// edges.size()), with the summed intensity of the spectrum's peaks that lie in
// bin b, that is edges[b - 1] < mz <= edges[b], added in list order, and
// whether any did.
using MapBinning = void (*)(const scan& spectrum, const std::vector<double>& edges, std::vector<double>& sums,
                            std::vector<char>& occupied);

// The binned map of `run` over `range`, with the bins filled by `binning`;
// writeMap is this with its own binning. False when the map could
// not be written completely.
bool writeBinnedMap(const RunData& run, const char* path, MapBinning binning,
                    const MapRange& range = MapRange());

// The binned map of `run` over `range`.
bool writeMap(const RunData& run, const char* path, const MapRange& range = MapRange());

#endif
