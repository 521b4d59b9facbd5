#ifndef TORVA_INPUT_MZML_ARRAYS_H
#define TORVA_INPUT_MZML_ARRAYS_H

#include <cstddef>
#include <string>
#include <vector>

// How one mzML binary data array is stored, from its controlled-vocabulary
// parameters (matched by accession).
struct BinaryArrayFormat {
  enum class Numpress { None, Linear, Pic, Slof };
  int valueBits = 64;    // 32 or 64
  bool integer = false;  // 32/64-bit integers instead of IEEE floats
  bool zlib = false;     // zlib stream, inflated before anything else
  Numpress numpress = Numpress::None;

  // Applies one parameter; false when the accession says nothing about storage.
  bool apply(const char* accession);
  // The same for the accession "MS:" and the seven digits of `term` (-1: none).
  bool apply(long term);
};

// What decoding an array left out.
struct ArrayCut {
  bool cut = false;            // values beyond `keptValues` were left out
  bool toDeclared = false;     // ... because the declared count was smaller (else kMaxArrayValues)
  std::size_t keptValues = 0;  // the values kept when cut
};

// Decodes the base64 text of an array (XML white space skipped) into `values`.
// `declaredCount` (the array's stated length, 0 when unknown) bounds the values
// kept and the bytes inflated, and so does kMaxArrayValues (input/array_limits.h),
// never what is allocated up front: Numpress output is sized by the values its
// data holds. Returns false, with `values` empty, when the data cannot be
// decoded; `problem` then says why. `cut` (when given) tells what was left out.
bool decodeBinaryArray(const std::string& text, const BinaryArrayFormat& format, std::size_t declaredCount,
                       std::vector<double>& values, std::string& problem, ArrayCut* cut = nullptr);

#endif
