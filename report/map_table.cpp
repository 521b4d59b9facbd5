#include "report/map_table.h"

#include "util/console.h"

namespace {

const char kWhat[] = "binned map";

// The fields of a line that ends with a tab, that tab dropped.
void splitTabEnded(std::string_view line, std::vector<std::string_view>& fields) {
  if (!line.empty() && line.back() == '\t') line.remove_suffix(1);
  splitFields(line, fields);
}

}  // namespace

std::string binnedMapHead(const std::vector<double>& lowEdges) {
  std::string head = "\t";
  for (const double edge : lowEdges) head += console::general(edge) + "\t";
  return head + "\n";
}

bool BinnedMapReader::readHead(std::string& error) {
  if (!lines_.isOpen() || !lines_.next(text_)) {
    error = "cannot read the binned map '" + lines_.path() + "'";
    return false;
  }
  splitTabEnded(text_, fields_);
  binLows_.assign(fields_.size() - 1, 0.0);
  bool valid = fields_.size() >= 2 && fields_[0].empty();
  for (std::size_t b = 1; valid && b < fields_.size(); ++b) valid = readDecimal(fields_[b], binLows_[b - 1]);
  if (!valid) {
    error = lines_.lineError(kWhat, "not a binned map's head line (an empty field, then the bins' edges)");
    binLows_.clear();
    return false;
  }
  return true;
}

bool BinnedMapReader::nextRow(double& time, std::vector<std::string_view>& bins, std::string& error) {
  if (!lines_.nextNonEmpty(text_)) return false;
  splitTabEnded(text_, fields_);
  bool valid = fields_.size() == binLows_.size() + 1 && readDecimal(fields_[0], time);
  for (std::size_t b = 1; valid && b < fields_.size(); ++b) valid = isDecimalText(fields_[b]);
  if (!valid) {
    error = lines_.lineError(
        kWhat, "a row must hold a time and " + std::to_string(binLows_.size()) + " decimal numbers");
    return false;
  }
  bins.assign(fields_.begin() + 1, fields_.end());
  return true;
}
