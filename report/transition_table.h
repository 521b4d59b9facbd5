#ifndef TORVA_REPORT_TRANSITION_TABLE_H
#define TORVA_REPORT_TRANSITION_TABLE_H

#include <string>
#include <string_view>
#include <vector>

#include "report/channel_label.h"
#include "report/table_text.h"

// The transition report (-o), channel by channel:
//   Channel:<TAB><transition label><TAB>Scans:<TAB><spectra>
//   Mass  Intensity  RT(mins)  Scan  Area  TIC  <time of each spectrum, minutes> ...
//   <one row per chromatogram: the six figures, then the trace>
//   <empty line>
// A channel without chromatograms has only its label line and the empty line.
// Head and rows end with a tab; all decimals have two digits.

// Decimals of every decimal of the report.
constexpr int kTransitionDecimals = 2;

// The six leading column names, in order.
const std::vector<std::string>& transitionColumns();
// The channel's label line, with its line feed.
std::string transitionChannelLine(const std::string& label, std::size_t spectra);
// The head up to the time columns, with the tab after TIC.
std::string transitionHeadStart();

// One line of a transition report as read.
struct TransitionLine {
  enum class Kind { Channel, Head, Row };
  Kind kind = Kind::Row;
  long line = 0;
  // Channel: the label as printed, read, and the spectra count.
  std::string labelText;
  ChannelLabel label;
  long long spectra = 0;
  // Head and rows: every field, the tab that ends the line dropped. A head's
  // fields from 6 on are the times, a row's the trace values.
  std::vector<std::string_view> fields;
};

// Reads a transition report line by line. Every line must fit the layout
// above: a channel's label line (a transition label and an integer count), its
// head (the six names, then decimals), rows of exactly as many fields as the
// head with decimals (the scan an integer), and the empty line that ends the
// channel. Any other line ends the reading with an error naming file and line.
class TransitionTableReader {
 public:
  explicit TransitionTableReader(const std::string& path) : lines_(path) {}
  bool isOpen() const { return lines_.isOpen(); }
  // The next channel, head or row line; false at the end of the report or on a
  // malformed line (then `error` is set). The line's fields stay valid until the next call.
  bool next(TransitionLine& line, std::string& error);

 private:
  enum class State { BetweenChannels, AfterLabel, InTable };
  TableLines lines_;
  std::string text_;
  State state_ = State::BetweenChannels;
  std::size_t headFields_ = 0;
};

#endif
