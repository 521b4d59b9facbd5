#ifndef TORVA_PROCESSING_XIC_SEEDING_H
#define TORVA_PROCESSING_XIC_SEEDING_H

#include <cstdint>
#include <vector>

#include "records/chrom.h"

class filterer;
struct RunData;
struct channel;

// Appends to the channel one chromatogram per seed, with its seed fields set and
// no trace yet. Without a target list every spectrum of the channel is picked
// in turn; with one, a single pass seeds one chromatogram per target at the
// channel's first spectrum, moved by seedAtTraceMaximum once the trace is known.
void appendSeededChroms(filterer& processor, RunData& run, channel& ch);

// A target mass is looked for where its trace is highest: the chromatogram is
// seeded at the first spectrum holding the trace's largest value (the channel's
// first spectrum when the trace is all zero).
void seedAtTraceMaximum(chrom& X, const std::vector<double>& trace, const std::vector<double>& times,
                        const std::vector<std::int32_t>& scanNumbers);

#endif
