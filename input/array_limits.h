#ifndef TORVA_INPUT_ARRAY_LIMITS_H
#define TORVA_INPUT_ARRAY_LIMITS_H

#include <cstddef>

// How much of a peak array's text and data the readers decode. A declared
// count (mzXML peaksCount, mzML arrayLength or defaultArrayLength) bounds the
// text kept and the bytes inflated; an array without one, and a declared count
// above it, is bounded by kMaxArrayValues. So memory follows what a spectrum
// can use, never what a file's text or compressed data would expand to.

// The most values decoded from one array of one spectrum or chromatogram
// (2,097,152: 16 MiB of 64-bit values; profile spectra of current instruments
// hold well under a million points). Values beyond it are left out, with a
// message naming the file and the spectrum. With it a spectrum's decoding
// stays within about 150 MB whatever its file holds.
constexpr std::size_t kMaxArrayValues = std::size_t{1} << 21;

// The values an array is decoded to: its declared count when there is one
// (0: none), never more than kMaxArrayValues.
inline std::size_t arrayValueBound(std::size_t declaredCount) {
  return declaredCount == 0 || declaredCount > kMaxArrayValues ? kMaxArrayValues : declaredCount;
}

// The most bytes of encoded (possibly zlib-compressed) data that `values`
// values of `bytesPerValue` bytes can take: zlib's own bound for incompressible
// data, with room for the stream's header and an encoding's header.
inline std::size_t encodedByteBound(std::size_t values, std::size_t bytesPerValue) {
  const std::size_t raw = values * bytesPerValue;
  return raw + raw / 1024 + 256;
}

// Base64 characters (white space not counted) that carry `bytes` bytes.
inline std::size_t base64CharBound(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

// Numpress: at most 4.5 bytes a value and a header of 16 (Linear), 8 (Slof).
constexpr std::size_t kNumpressBytesPerValue = 5;

#endif
