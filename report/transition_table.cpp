#include "report/transition_table.h"

namespace {

const char kWhat[] = "transition report";

// Every field from `first` on is a decimal number.
bool decimalsFrom(const std::vector<std::string_view>& fields, std::size_t first) {
  for (std::size_t i = first; i < fields.size(); ++i)
    if (!isDecimalText(fields[i])) return false;
  return true;
}

}  // namespace

const std::vector<std::string>& transitionColumns() {
  static const std::vector<std::string> columns = {"Mass", "Intensity", "RT(mins)", "Scan", "Area", "TIC"};
  return columns;
}

std::string transitionChannelLine(const std::string& label, std::size_t spectra) {
  return "Channel:\t" + label + "\tScans:\t" + std::to_string(spectra) + "\n";
}

std::string transitionHeadStart() { return joinColumns(transitionColumns()) + "\t"; }

bool TransitionTableReader::next(TransitionLine& out, std::string& error) {
  static const std::string headStart = transitionHeadStart();
  while (lines_.next(text_)) {
    if (text_.empty()) {
      state_ = State::BetweenChannels;
      continue;
    }
    out.line = lines_.number();
    if (state_ == State::BetweenChannels) {
      splitFields(text_, out.fields);
      out.kind = TransitionLine::Kind::Channel;
      if (out.fields.size() != 4 || out.fields[0] != "Channel:" || out.fields[2] != "Scans:" ||
          !parseChannelLabel(out.fields[1], out.label) || !readInteger(out.fields[3], out.spectra)) {
        error = lines_.lineError(kWhat, "not a channel's label line (Channel:, label, Scans:, count)");
        return false;
      }
      out.labelText = out.fields[1];
      state_ = State::AfterLabel;
      return true;
    }
    std::string_view body(text_);
    if (body.back() == '\t') body.remove_suffix(1);
    splitFields(body, out.fields);
    if (state_ == State::AfterLabel) {
      out.kind = TransitionLine::Kind::Head;
      if (text_.compare(0, headStart.size(), headStart) != 0 || !decimalsFrom(out.fields, 6)) {
        error = lines_.lineError(
            kWhat, "not a channel's head line (" + joinColumns(transitionColumns()) + ", then the times)");
        return false;
      }
      headFields_ = out.fields.size();
      state_ = State::InTable;
      return true;
    }
    out.kind = TransitionLine::Kind::Row;
    long long scan = 0;
    if (out.fields.size() != headFields_ || !decimalsFrom(out.fields, 0) ||
        !readInteger(out.fields[3], scan)) {
      error = lines_.lineError(
          kWhat, "a row must hold " + std::to_string(headFields_) + " decimal numbers (the scan an integer)");
      return false;
    }
    return true;
  }
  return false;
}
