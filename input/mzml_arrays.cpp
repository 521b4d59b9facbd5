// Decoding of mzML binary data arrays: base64, zlib, MS-Numpress and the four
// little-endian value types.
#include "input/mzml_arrays.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <libmsnumpress/MSNumpress.hpp>

#include "input/array_limits.h"
#include "input/base64.h"
#include "input/numpress_extent.h"
#include "input/xml_values.h"
#include "input/zlib_inflate.h"

namespace {

namespace numpress = ms::numpress::MSNumpress;

bool hostIsLittleEndian() {
  const std::uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

template <typename Word>
Word fromLittleEndian(Word word) {
  if (hostIsLittleEndian()) return word;
  Word swapped = 0;
  for (std::size_t b = 0; b < sizeof(Word); ++b) {
    swapped = static_cast<Word>((swapped << 8) | (word & 0xFF));
    word = static_cast<Word>(word >> 8);
  }
  return swapped;
}

// Appends `count` little-endian values of type `Value` (stored as `Word`).
template <typename Word, typename Value>
void appendValues(const std::vector<char>& bytes, std::size_t count, std::vector<double>& values) {
  values.resize(count);
  const char* cursor = bytes.data();
  for (std::size_t i = 0; i < count; ++i, cursor += sizeof(Word)) {
    Word word;
    std::memcpy(&word, cursor, sizeof word);
    word = fromLittleEndian(word);
    Value value;
    std::memcpy(&value, &word, sizeof value);
    values[i] = static_cast<double>(value);
  }
}

std::vector<char> decodeBase64(const std::string& text) {
  std::vector<char> bytes(text.size() / 4 * 3 + 1);
  const int written = b64_decode_mio(bytes.data(), text.c_str(), bytes.size() - 1);
  bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return bytes;
}

NumpressKind kindOf(BinaryArrayFormat::Numpress kind) {
  if (kind == BinaryArrayFormat::Numpress::Linear) return NumpressKind::Linear;
  if (kind == BinaryArrayFormat::Numpress::Pic) return NumpressKind::Pic;
  return NumpressKind::Slof;
}

// Numpress, at most `bound` values: the data is cut after that many, and the
// output sized by the values it holds. The decoders check their input for
// corruption (they throw a message).
bool decodeNumpress(BinaryArrayFormat::Numpress kind, std::vector<char>& bytes, std::size_t bound,
                    std::vector<double>& values, std::string& problem, bool& cut) {
  // Slof reads values in byte pairs; a lone last byte is no value.
  if (kind == BinaryArrayFormat::Numpress::Slof && bytes.size() > 8 && (bytes.size() - 8) % 2 != 0)
    bytes.pop_back();
  cut = cutNumpressToValues(kindOf(kind), bytes, bound);
  const std::size_t size = bytes.size();
  const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
  values.resize(numpressValueCount(kindOf(kind), data, size) + 2);
  try {
    std::size_t count = 0;
    if (size == 0) {
      count = 0;
    } else if (kind == BinaryArrayFormat::Numpress::Linear) {
      count = numpress::decodeLinear(data, size, values.data());
    } else if (kind == BinaryArrayFormat::Numpress::Pic) {
      count = numpress::decodePic(data, size, values.data());
    } else {
      count = numpress::decodeSlof(data, size, values.data());
    }
    values.resize(std::min(count, values.size()));
  } catch (const char* message) {
    problem = message;
    values.clear();
    return false;
  }
  return true;
}

}  // namespace

bool BinaryArrayFormat::apply(long term) {
  using N = Numpress;
  struct Entry {
    long term;  // of "MS:" and seven digits
    void (*set)(BinaryArrayFormat&);
  };
  static const Entry kEntries[] = {
      {1000521,
       [](BinaryArrayFormat& f) {
         f.valueBits = 32;
         f.integer = false;
       }},
      {1000523,
       [](BinaryArrayFormat& f) {
         f.valueBits = 64;
         f.integer = false;
       }},
      {1000519,
       [](BinaryArrayFormat& f) {
         f.valueBits = 32;
         f.integer = true;
       }},
      {1000522,
       [](BinaryArrayFormat& f) {
         f.valueBits = 64;
         f.integer = true;
       }},
      {1000574, [](BinaryArrayFormat& f) { f.zlib = true; }},
      {1000576, [](BinaryArrayFormat&) {}},  // no compression
      {1002312, [](BinaryArrayFormat& f) { f.numpress = N::Linear; }},
      {1002313, [](BinaryArrayFormat& f) { f.numpress = N::Pic; }},
      {1002314, [](BinaryArrayFormat& f) { f.numpress = N::Slof; }},
      {1002746,
       [](BinaryArrayFormat& f) {
         f.numpress = N::Linear;
         f.zlib = true;
       }},
      {1002747,
       [](BinaryArrayFormat& f) {
         f.numpress = N::Pic;
         f.zlib = true;
       }},
      {1002748,
       [](BinaryArrayFormat& f) {
         f.numpress = N::Slof;
         f.zlib = true;
       }},
  };
  for (const Entry& entry : kEntries) {
    if (term == entry.term) {
      entry.set(*this);
      return true;
    }
  }
  return false;
}

bool BinaryArrayFormat::apply(const char* accession) { return apply(msTerm(accession)); }

bool decodeBinaryArray(const std::string& text, const BinaryArrayFormat& format, std::size_t declaredCount,
                       std::vector<double>& values, std::string& problem, ArrayCut* cut) {
  values.clear();
  const bool numpressed = format.numpress != BinaryArrayFormat::Numpress::None;
  const std::size_t width = static_cast<std::size_t>(format.valueBits / 8);
  const std::size_t bound = arrayValueBound(declaredCount);
  bool passedBound = false;
  std::vector<char> bytes = decodeBase64(text);
  if (format.zlib) {
    // Inflate no further than `bound` values can fill (Numpress needs at most
    // 4.5 bytes a value plus its header).
    const std::size_t limit = numpressed ? bound * kNumpressBytesPerValue + 64 : bound * width;
    std::vector<char> inflated;
    if (!bytes.empty() && !inflateLimited(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                          limit, inflated)) {
      problem = "zlib data does not inflate";
      return false;
    }
    bytes.swap(inflated);
    if (bytes.size() > limit) {
      passedBound = true;
      bytes.resize(limit);
    }
  }

  if (numpressed) {
    bool numpressCut = false;
    if (!decodeNumpress(format.numpress, bytes, bound, values, problem, numpressCut)) return false;
    passedBound = passedBound || numpressCut;
  } else {
    std::size_t count = bytes.size() / width;
    if (count > bound) {
      count = bound;
      passedBound = true;
    }
    if (format.valueBits == 32 && format.integer) {
      appendValues<std::uint32_t, std::int32_t>(bytes, count, values);
    } else if (format.valueBits == 32) {
      appendValues<std::uint32_t, float>(bytes, count, values);
    } else if (format.integer) {
      appendValues<std::uint64_t, std::int64_t>(bytes, count, values);
    } else {
      appendValues<std::uint64_t, double>(bytes, count, values);
    }
  }
  if (values.size() > bound) {
    values.resize(bound);
    passedBound = true;
  }
  if (cut != nullptr) {
    *cut = ArrayCut();
    if (passedBound) {
      cut->cut = true;
      cut->toDeclared = declaredCount > 0 && declaredCount <= kMaxArrayValues;
      cut->keptValues = values.size();
    }
  }
  return true;
}
