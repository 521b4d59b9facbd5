#ifndef TORVA_COMPOUNDS_ADDUCT_TABLE_H
#define TORVA_COMPOUNDS_ADDUCT_TABLE_H

#include <string>
#include <vector>

// Monoisotopic masses, daltons.
constexpr double kElectronMass = 0.000548579909;
constexpr double kCarbon13Step = 1.0033548378;  // 13C minus 12C

// One ion a compound of neutral mass M may be seen as: `molecules` * M plus `shift` daltons
// (the added and lost atoms, less the electrons), carrying `charge` (signed) charges.
struct Adduct {
  std::string name;   // as written in the list, e.g. "[M+Na]+", "[M+2H]2+"
  int molecules = 1;  // the n of [nM...]
  int charge = 1;     // signed: +2 for [M+2H]2+, -1 for [M-H]-
  double shift = 0;   // daltons added to n * M, electrons included
  double weight = 1;  // prior, for ties between explanations

  // The ion's m/z.
  double mzOf(double neutralMass) const { return (molecules * neutralMass + shift) / absCharge(); }
  // The neutral mass an ion of this m/z implies.
  double neutralOf(double mz) const { return (mz * absCharge() - shift) / molecules; }
  int absCharge() const { return charge < 0 ? -charge : charge; }
};

// Reads an ion name such as "[M+H-H2O]+" or "[2M+Na]+" into `adduct` (weight untouched).
// Returns false, with `error` set, when the name is not of that form or names an unknown element.
bool parseAdductName(const std::string& name, Adduct& adduct, std::string& error);

// Mass of a formula such as "CH3COO" or "H2O", daltons; false for an unknown element or bad text.
bool formulaMass(const std::string& formula, double& mass);

// The list of ions: read from the text of an adducts file (see compounds/adducts.tsv).
// Throws std::runtime_error naming the line of a malformed entry.
std::vector<Adduct> parseAdductList(const std::string& text);
// The bundled list (compounds/adducts.tsv as built in).
std::vector<Adduct> defaultAdducts();
// Reads a file; throws std::runtime_error naming the file (and line) when it cannot be read or is malformed.
std::vector<Adduct> readAdductFile(const std::string& path);
// The ions of one polarity (+1 or -1).
std::vector<Adduct> adductsOfPolarity(const std::vector<Adduct>& all, int polarity);

#endif
