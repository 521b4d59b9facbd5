#ifndef TORVA_REPORT_QUANT_TARGETS_H
#define TORVA_REPORT_QUANT_TARGETS_H

#include <string>
#include <vector>

// What a transition of a target list is for.
enum class TargetRole {
  Quantifier,        // the transition a compound is quantified by
  Qualifier,         // a further transition, checked by its ion ratio to the quantifier
  InternalStandard,  // the transition of an internal standard (its quantifier)
};

// One transition of the target list: a precursor m/z (full scan) or a
// precursor/product pair (SRM), a compound and what the transition is for.
struct TargetTransition {
  std::string compound;
  double precursorMz = 0;  // m/z
  double productMz = 0;    // m/z; 0 when none (full scan)
  bool hasProduct = false;
  std::string precursorText;  // the values as the list writes them, for the transition's label
  std::string productText;
  bool hasRt = false;
  double rt = 0;        // expected apex, minutes
  double rtWindow = 0;  // full width of the window around rt, minutes; 0: the whole run
  TargetRole role = TargetRole::Quantifier;
  std::string internalStandard;  // compound that normalises this one; empty for none
  char polarity = 0;             // '+', '-' or 0 for either

  // "precursor" or "precursor>product", as the list writes them.
  std::string label() const;
  bool windowed() const { return hasRt && rtWindow > 0; }
};

const char* roleName(TargetRole role);

// The target list, in file order. Columns (tab-separated, a header line, any
// order; other columns are ignored): compound, precursor_mz, and optionally
// product_mz, rt, rt_window, role (quantifier, qualifier, internal_standard;
// default quantifier), internal_standard, polarity (+, -, positive, negative,
// or empty for either). Every compound has exactly one quantifier or
// internal_standard transition; qualifiers belong to a compound that has one;
// an internal_standard column names a compound whose transition has the role
// internal_standard. Anything else is refused with a TableError naming the
// file and line.
std::vector<TargetTransition> readTargetList(const std::string& path);

// The position in `list` of the quantifier (or internal standard) transition of
// `compound`, or -1.
int quantifierOf(const std::vector<TargetTransition>& list, const std::string& compound);

#endif
