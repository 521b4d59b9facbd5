#include "report/quant_targets.h"

#include <cmath>

#include "report/quant_text.h"

std::string TargetTransition::label() const {
  return hasProduct ? precursorText + ">" + productText : precursorText;
}

const char* roleName(TargetRole role) {
  switch (role) {
    case TargetRole::Quantifier:
      return "quantifier";
    case TargetRole::Qualifier:
      return "qualifier";
    case TargetRole::InternalStandard:
      return "internal_standard";
  }
  return "quantifier";
}

int quantifierOf(const std::vector<TargetTransition>& list, const std::string& compound) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].compound == compound && list[i].role != TargetRole::Qualifier) return static_cast<int>(i);
  }
  return -1;
}

namespace {

double positiveMz(const std::string& path, long line, const std::string& column, const std::string& text) {
  const double value = readNumber(path, line, column, text);
  if (!(value > 0)) throw tableError(path, line, column + " must be above 0, not '" + text + "'");
  return value;
}

TargetRole readRole(const std::string& path, long line, const std::string& text) {
  if (text.empty() || text == "quantifier") return TargetRole::Quantifier;
  if (text == "qualifier") return TargetRole::Qualifier;
  if (text == "internal_standard") return TargetRole::InternalStandard;
  throw tableError(path, line, "role '" + text + "' is not quantifier, qualifier or internal_standard");
}

char readPolarity(const std::string& path, long line, const std::string& text) {
  if (text.empty()) return 0;
  if (text == "+" || text == "positive" || text == "pos") return '+';
  if (text == "-" || text == "negative" || text == "neg") return '-';
  throw tableError(path, line, "polarity '" + text + "' is not +, -, positive or negative");
}

// The cross-row rules: one quantifier per compound, qualifiers and internal
// standards referring to compounds that are there.
void checkCompounds(const std::string& path, const std::vector<TargetTransition>& list,
                    const std::vector<long>& lines) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const TargetTransition& t = list[i];
    const int quantifier = quantifierOf(list, t.compound);
    if (t.role != TargetRole::Qualifier && quantifier != static_cast<int>(i)) {
      throw tableError(path, lines[i],
                       "compound '" + t.compound + "' has a second quantifier; the first is on line " +
                           std::to_string(lines[static_cast<std::size_t>(quantifier)]));
    }
    if (t.role == TargetRole::Qualifier && quantifier < 0) {
      throw tableError(path, lines[i], "qualifier of '" + t.compound + "', which has no quantifier");
    }
    if (t.internalStandard.empty()) continue;
    const int standard = quantifierOf(list, t.internalStandard);
    if (standard < 0 || list[static_cast<std::size_t>(standard)].role != TargetRole::InternalStandard) {
      throw tableError(path, lines[i],
                       "internal standard '" + t.internalStandard +
                           "' is not a compound of the list with role internal_standard");
    }
    if (t.internalStandard == t.compound) {
      throw tableError(path, lines[i], "compound '" + t.compound + "' names itself as internal standard");
    }
  }
}

}  // namespace

std::vector<TargetTransition> readTargetList(const std::string& path) {
  const std::vector<TableLine> lines = readTableLines(path);
  if (lines.empty()) throw TableError(path + ": no header line; see the README's target list");
  const TableHead head(path, lines[0]);
  const int compound = head.required("compound");
  const int precursor = head.required("precursor_mz");
  const int product = head.column("product_mz");
  const int rt = head.column("rt");
  const int rtWindow = head.column("rt_window");
  const int role = head.column("role");
  const int standard = head.column("internal_standard");
  const int polarity = head.column("polarity");

  std::vector<TargetTransition> list;
  std::vector<long> numbers;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const TableLine& line = lines[i];
    const long n = line.number;
    if (line.fields.size() > head.names().size()) {
      throw tableError(path, n, "more fields than the header's " + std::to_string(head.names().size()));
    }
    TargetTransition t;
    t.compound = TableHead::field(line, compound);
    if (t.compound.empty()) throw tableError(path, n, "no compound name");
    t.precursorText = TableHead::field(line, precursor);
    t.precursorMz = positiveMz(path, n, "precursor_mz", t.precursorText);
    t.productText = TableHead::field(line, product);
    if (!t.productText.empty()) {
      t.productMz = positiveMz(path, n, "product_mz", t.productText);
      t.hasProduct = true;
    }
    const std::string rtText = TableHead::field(line, rt);
    if (!rtText.empty()) {
      t.rt = readNumber(path, n, "rt", rtText);
      t.hasRt = true;
      if (t.rt < 0) throw tableError(path, n, "rt must not be negative, not '" + rtText + "'");
    }
    const std::string windowText = TableHead::field(line, rtWindow);
    if (!windowText.empty()) {
      t.rtWindow = readNumber(path, n, "rt_window", windowText);
      if (!(t.rtWindow > 0)) throw tableError(path, n, "rt_window must be above 0, not '" + windowText + "'");
      if (!t.hasRt) throw tableError(path, n, "rt_window without rt");
    }
    t.role = readRole(path, n, TableHead::field(line, role));
    t.internalStandard = TableHead::field(line, standard);
    t.polarity = readPolarity(path, n, TableHead::field(line, polarity));
    list.push_back(t);
    numbers.push_back(n);
  }
  if (list.empty()) throw TableError(path + ": no transition after the header");
  checkCompounds(path, list, numbers);
  return list;
}
