#ifndef TORVA_REPORT_CHANNEL_LABEL_H
#define TORVA_REPORT_CHANNEL_LABEL_H

#include <string>
#include <string_view>

#include "records/run_data.h"

// A channel as the reports name it: precursor m/z, collision energy (0 when
// absent) and product m/z range. The summary writes "301.1@35.0[100.0000-400.0000]"
// (the "@" part only for a positive energy), the transition report
// "301.10@35.00 [100.00-400.00]" (always with it). A full-scan MS1 channel has
// precursor 0.
struct ChannelLabel : TransitionKey {
  // Digits after the decimal point of each number as it was read (parseChannelLabel),
  // so that labels printed with different digits can be compared. An absent
  // energy counts as exact.
  int precursorDigits = 0;
  int energyDigits = 0;
  int lowDigits = 0;
  int highDigits = 0;

  bool isFullScan() const { return precursorMz == 0; }
};

// The label as the summary report writes it.
std::string summaryLabel(const TransitionKey& key);
// The label as the transition report writes it after "Channel:".
std::string transitionLabel(const TransitionKey& key);

// Reads either form: "<precursor>[@<energy>][ ][<low>-<high>]". False when the
// text is not such a label (each number read whole, see readDecimal).
bool parseChannelLabel(std::string_view text, ChannelLabel& label);

// True when two labels can name the same channel: each number agrees within
// half a unit of the last digit each side printed. A label without energy and
// one with energy 0 agree.
bool sameChannel(const ChannelLabel& a, const ChannelLabel& b);

#endif
