#include "compounds/adduct_table.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "compounds/default_adducts.h"

namespace {

struct Element {
  const char* symbol;
  double mass;  // monoisotopic, daltons
};

const Element kElements[] = {
    {"H", 1.00782503207}, {"C", 12.0},        {"N", 14.0030740048},  {"O", 15.99491461956},
    {"P", 30.97376163},   {"S", 31.97207100}, {"F", 18.99840322},    {"Cl", 34.96885268},
    {"Br", 78.9183371},   {"I", 126.904473},  {"Na", 22.9897692809}, {"K", 38.96370668},
    {"Li", 7.01600455},
};

bool elementMass(const std::string& symbol, double& mass) {
  for (const Element& element : kElements) {
    if (symbol == element.symbol) {
      mass = element.mass;
      return true;
    }
  }
  return false;
}

// Reads a run of digits at `pos` (none: `absent`).
long readCount(const std::string& text, std::size_t& pos, long absent) {
  if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) return absent;
  long value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && value < 1000) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return value;
}

std::string trimmed(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

}  // namespace

bool formulaMass(const std::string& formula, double& mass) {
  double sum = 0;
  std::size_t pos = 0;
  if (formula.empty()) return false;
  while (pos < formula.size()) {
    if (!std::isupper(static_cast<unsigned char>(formula[pos]))) return false;
    std::string symbol(1, formula[pos++]);
    if (pos < formula.size() && std::islower(static_cast<unsigned char>(formula[pos])))
      symbol += formula[pos++];
    double atom = 0;
    if (!elementMass(symbol, atom)) return false;
    sum += atom * static_cast<double>(readCount(formula, pos, 1));
  }
  mass = sum;
  return true;
}

bool parseAdductName(const std::string& name, Adduct& adduct, std::string& error) {
  const std::size_t close = name.rfind(']');
  if (name.size() < 4 || name[0] != '[' || close == std::string::npos) {
    error = "an ion is written [nM+X]z+ or [nM-X]z-, not \"" + name + "\"";
    return false;
  }
  std::size_t pos = 1;
  const long molecules = readCount(name, pos, 1);
  if (molecules < 1 || pos >= close || name[pos] != 'M') {
    error = "\"" + name + "\" does not start with [M or [nM";
    return false;
  }
  ++pos;
  double shift = 0;
  while (pos < close) {
    const char sign = name[pos++];
    if (sign != '+' && sign != '-') {
      error = "\"" + name + "\": expected + or - before each added or lost group";
      return false;
    }
    const long count = readCount(name, pos, 1);
    const std::size_t end = name.find_first_of("+-]", pos);
    double mass = 0;
    if (count < 1 || !formulaMass(name.substr(pos, end - pos), mass)) {
      error = "\"" + name + "\": \"" + name.substr(pos, end - pos) + "\" is not a formula of known elements";
      return false;
    }
    shift += (sign == '+' ? 1.0 : -1.0) * static_cast<double>(count) * mass;
    pos = end;
  }
  pos = close + 1;
  const long charges = readCount(name, pos, 1);
  if (charges < 1 || charges > 9 || pos + 1 != name.size() || (name[pos] != '+' && name[pos] != '-')) {
    error = "\"" + name + "\" must end in ]+, ]-, ]2+, ...";
    return false;
  }
  const int charge = name[pos] == '+' ? static_cast<int>(charges) : -static_cast<int>(charges);
  adduct.name = name;
  adduct.molecules = static_cast<int>(molecules);
  adduct.charge = charge;
  adduct.shift = shift - charge * kElectronMass;
  return true;
}

std::vector<Adduct> parseAdductList(const std::string& text) {
  std::vector<Adduct> list;
  std::istringstream lines(text);
  std::string line;
  long number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string content = trimmed(line);
    if (content.empty() || content[0] == '#') continue;
    const std::size_t tab = content.find('\t');
    const std::string name = trimmed(content.substr(0, tab));
    Adduct adduct;
    std::string error;
    if (!parseAdductName(name, adduct, error)) {
      throw std::runtime_error("line " + std::to_string(number) + ": " + error);
    }
    if (tab != std::string::npos) {
      const std::string weightText = trimmed(content.substr(tab + 1));
      char* end = nullptr;
      const double weight = std::strtod(weightText.c_str(), &end);
      if (weightText.empty() || *end != '\0' || !(weight >= 0 && weight <= 1)) {
        throw std::runtime_error("line " + std::to_string(number) + ": the weight of " + name +
                                 " must be a number from 0 to 1, not \"" + weightText + "\"");
      }
      adduct.weight = weight;
    }
    for (const Adduct& earlier : list) {
      if (earlier.name == adduct.name) {
        throw std::runtime_error("line " + std::to_string(number) + ": " + name + " is listed twice");
      }
    }
    list.push_back(adduct);
  }
  if (list.empty()) throw std::runtime_error("no ion listed");
  return list;
}

std::vector<Adduct> defaultAdducts() { return parseAdductList(kDefaultAdductText); }

std::vector<Adduct> readAdductFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw std::runtime_error(path +
                             ": cannot be opened; give a readable ion list (see compounds/adducts.tsv)");
  std::ostringstream text;
  text << file.rdbuf();
  try {
    return parseAdductList(text.str());
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(path + ": " + error.what());
  }
}

std::vector<Adduct> adductsOfPolarity(const std::vector<Adduct>& all, int polarity) {
  std::vector<Adduct> kept;
  for (const Adduct& adduct : all) {
    if ((adduct.charge > 0) == (polarity > 0)) kept.push_back(adduct);
  }
  return kept;
}
