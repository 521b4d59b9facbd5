#ifndef TORVA_COMPOUNDS_COMPOUND_GROUPING_H
#define TORVA_COMPOUNDS_COMPOUND_GROUPING_H

#include <string>
#include <vector>

#include "compounds/adduct_table.h"
#include "compounds/grouping_input.h"

// What the grouping says of one feature.
struct CompoundLabel {
  long compoundId = 0;  // 1, 2, ...: one per compound, also for a feature alone
  std::string ion;  // "[M+Na]+", "[M+H]+ 13C1"; "13C1" for an isotope of an unexplained ion; "" unexplained
  int charge = 0;   // number of charges (positive in either polarity); 0 when nothing tells it
  double neutralMass = 0;       // daltons; 0 when the compound's ions do not tell it
  bool representative = false;  // the compound's most intense explained (else monoisotopic) ion
  int isotope = 0;              // k of 13Ck, 0 for a monoisotopic ion
};

// Groups the features of one run or cohort into compounds: 13C patterns first, then ions whose m/z imply
// one neutral mass under two ions of the list (the explanation supported by the most features, then by the
// largest summed weight, is taken first), then unexplained ions that co-elute with a heavier compound and
// correlate with it above `fragmentCorrelation` as its in-source fragments. Deterministic: the result
// depends only on the features' values and order. `screen`, when given, must answer true only for pairs
// whose similarity lies below the threshold asked: it changes nothing but the time taken.
std::vector<CompoundLabel> groupCompounds(const std::vector<GroupingFeature>& features,
                                          const std::vector<Adduct>& adducts, const GroupingOptions& options,
                                          const FeatureSimilarity& similarity,
                                          const SimilarityScreen& screen = SimilarityScreen());

#endif
