#ifndef TORVA_INPUT_ID_CLAIMS_H
#define TORVA_INPUT_ID_CLAIMS_H

#include <cstdint>
#include <map>

// The spectrum ids used so far in one file. A spectrum takes its scan number
// as id unless an earlier spectrum has it; then the smallest free id above it.
class IdClaims {
 public:
  // The smallest id not yet used that is at least `wanted`; marks it used.
  std::int64_t claim(std::int64_t wanted);
  bool empty() const { return runs_.empty(); }

 private:
  // Used ids as maximal runs first -> last, so that claiming stays fast even
  // when thousands of spectra share one number.
  std::map<std::int64_t, std::int64_t> runs_;
};

#endif
