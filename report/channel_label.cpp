#include "report/channel_label.h"

#include <cmath>

#include "report/table_text.h"
#include "util/console.h"

namespace {

// The digits noted for an energy the label leaves out: exact.
constexpr int kNoEnergy = 17;

// Digits after the decimal point of a number written in the decimal grammar.
int fractionDigits(std::string_view text) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos) return 0;
  std::size_t end = point + 1;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return static_cast<int>(end - point - 1);
}

bool readLabelNumber(std::string_view text, double& value, int& digits) {
  if (!readDecimal(text, value)) return false;
  digits = fractionDigits(text);
  return true;
}

// Half a unit of the last of `digits` decimals.
double halfUnit(int digits) { return 0.5 * std::pow(10.0, -digits); }

bool agrees(double a, int digitsA, double b, int digitsB) {
  return printedValuesAgree(a, digitsA, b, digitsB);
}

}  // namespace

std::string summaryLabel(const TransitionKey& key) {
  std::string label = console::fixed(key.precursorMz, 1);
  if (key.collisionEnergy > 0) label += "@" + console::fixed(key.collisionEnergy, 1);
  label += "[" + console::fixed(key.productLow, 4) + "-" + console::fixed(key.productHigh, 4) + "]";
  return label;
}

std::string transitionLabel(const TransitionKey& key) {
  // The transition report's two decimals everywhere.
  const auto two = [](double value) { return console::fixed(value, 2); };
  return two(key.precursorMz) + "@" + two(key.collisionEnergy) + " [" + two(key.productLow) + "-" +
         two(key.productHigh) + "]";
}

bool parseChannelLabel(std::string_view text, ChannelLabel& label) {
  const std::size_t open = text.find('[');
  if (open == std::string_view::npos || text.empty() || text.back() != ']') return false;
  std::string_view head = text.substr(0, open);
  if (!head.empty() && head.back() == ' ') head.remove_suffix(1);
  const std::string_view range = text.substr(open + 1, text.size() - open - 2);
  // The range's own dash, not the sign of a negative low end.
  const std::size_t dash = range.find('-', 1);
  if (dash == std::string_view::npos) return false;
  label = ChannelLabel();
  const std::size_t at = head.find('@');
  if (!readLabelNumber(head.substr(0, at), label.precursorMz, label.precursorDigits)) return false;
  if (at != std::string_view::npos &&
      !readLabelNumber(head.substr(at + 1), label.collisionEnergy, label.energyDigits))
    return false;
  if (at == std::string_view::npos) label.energyDigits = kNoEnergy;
  return readLabelNumber(range.substr(0, dash), label.productLow, label.lowDigits) &&
         readLabelNumber(range.substr(dash + 1), label.productHigh, label.highDigits);
}

bool sameChannel(const ChannelLabel& a, const ChannelLabel& b) {
  // The summary leaves out an energy that is not positive: its absence agrees
  // with a printed energy that rounds to zero or below.
  const bool energy = agrees(a.collisionEnergy, a.energyDigits, b.collisionEnergy, b.energyDigits) ||
                      (a.energyDigits == kNoEnergy && b.collisionEnergy <= halfUnit(b.energyDigits)) ||
                      (b.energyDigits == kNoEnergy && a.collisionEnergy <= halfUnit(a.energyDigits));
  return energy && agrees(a.precursorMz, a.precursorDigits, b.precursorMz, b.precursorDigits) &&
         agrees(a.productLow, a.lowDigits, b.productLow, b.lowDigits) &&
         agrees(a.productHigh, a.highDigits, b.productHigh, b.highDigits);
}
