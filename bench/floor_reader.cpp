// floor_reader: the plainest reader that still reads a whole run, the floor the
// benchmark measures against. expat over 8 KiB chunks, a table base64 decoder,
// zlib for compressed arrays, and one {double m/z, double intensity} per peak,
// every spectrum kept until the end. mzXML (<peaks>) and mzML (<binaryDataArray>)
// alike; no checks beyond what it takes not to crash. Prints the spectra and
// peaks read to standard error.

#include <expat.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Peak {
  double mz;
  double intensity;
};

struct Reader {
  std::vector<std::vector<Peak>> spectra;
  std::string text;
  bool inText = false;
  // mzXML: the <peaks> element's attributes.
  bool bigEndian = true;
  // Both formats: the current array's encoding.
  int bits = 32;
  bool zlib = false;
  // mzML: which array is being read, and the spectrum's two arrays.
  enum { kOther, kMz, kIntensity } kind = kOther;
  std::vector<double> mz;
  std::vector<double> intensity;
  std::vector<unsigned char> bytes;
  std::vector<unsigned char> inflated;
};

unsigned char kValue[256];

void fillTable() {
  std::memset(kValue, 0xFF, sizeof kValue);
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i)
    kValue[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
}

// Standard base64; characters outside the alphabet (white space, padding) are skipped.
void decodeBase64(const std::string& text, std::vector<unsigned char>& out) {
  out.resize(text.size() / 4 * 3 + 3);
  std::size_t n = 0;
  std::uint32_t group = 0;
  int have = 0;
  for (unsigned char c : text) {
    const unsigned char v = kValue[c];
    if (v == 0xFF) continue;
    group = group << 6 | v;
    if (++have == 4) {
      out[n++] = static_cast<unsigned char>(group >> 16);
      out[n++] = static_cast<unsigned char>(group >> 8);
      out[n++] = static_cast<unsigned char>(group);
      group = 0;
      have = 0;
    }
  }
  if (have == 3) {
    out[n++] = static_cast<unsigned char>(group >> 10);
    out[n++] = static_cast<unsigned char>(group >> 2);
  } else if (have == 2) {
    out[n++] = static_cast<unsigned char>(group >> 4);
  }
  out.resize(n);
}

const std::vector<unsigned char>& arrayBytes(Reader& r) {
  decodeBase64(r.text, r.bytes);
  if (!r.zlib) return r.bytes;
  uLongf size = static_cast<uLongf>(r.bytes.size() * 4 + 1024);
  while (true) {
    r.inflated.resize(size);
    const int status =
        uncompress(r.inflated.data(), &size, r.bytes.data(), static_cast<uLong>(r.bytes.size()));
    if (status == Z_OK) break;
    if (status != Z_BUF_ERROR) {
      size = 0;
      break;
    }
    size *= 2;
  }
  r.inflated.resize(size);
  return r.inflated;
}

template <typename Word, typename Value>
double valueAt(const unsigned char* p, bool swap) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  if (swap) {
    Word reversed = 0;
    for (std::size_t b = 0; b < sizeof word; ++b)
      reversed = static_cast<Word>(reversed << 8 | (word >> (8 * b) & 0xFF));
    word = reversed;
  }
  Value value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

void decodeValues(const std::vector<unsigned char>& bytes, int bits, bool swap, std::vector<double>& out) {
  const std::size_t width = bits / 8;
  out.resize(bytes.size() / width);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = bits == 32 ? valueAt<std::uint32_t, float>(bytes.data() + 4 * i, swap)
                        : valueAt<std::uint64_t, double>(bytes.data() + 8 * i, swap);
  }
}

const char* attribute(const char** attributes, const char* name) {
  for (; *attributes != nullptr; attributes += 2) {
    if (std::strcmp(attributes[0], name) == 0) return attributes[1];
  }
  return "";
}

void onStart(void* data, const char* name, const char** attributes) {
  Reader& r = *static_cast<Reader*>(data);
  if (std::strcmp(name, "peaks") == 0) {  // mzXML
    r.bits = std::strcmp(attribute(attributes, "precision"), "64") == 0 ? 64 : 32;
    r.bigEndian = std::strcmp(attribute(attributes, "byteOrder"), "little") != 0;
    r.zlib = std::strcmp(attribute(attributes, "compressionType"), "zlib") == 0;
    r.text.clear();
    r.inText = true;
  } else if (std::strcmp(name, "binaryDataArray") == 0) {  // mzML
    r.kind = Reader::kOther;
    r.bits = 32;
    r.zlib = false;
  } else if (std::strcmp(name, "cvParam") == 0) {
    const char* accession = attribute(attributes, "accession");
    if (std::strcmp(accession, "MS:1000514") == 0) r.kind = Reader::kMz;
    if (std::strcmp(accession, "MS:1000515") == 0) r.kind = Reader::kIntensity;
    if (std::strcmp(accession, "MS:1000521") == 0) r.bits = 32;
    if (std::strcmp(accession, "MS:1000523") == 0) r.bits = 64;
    if (std::strcmp(accession, "MS:1000574") == 0) r.zlib = true;
  } else if (std::strcmp(name, "binary") == 0) {
    r.text.clear();
    r.inText = true;
  } else if (std::strcmp(name, "spectrum") == 0) {
    r.mz.clear();
    r.intensity.clear();
  }
}

void onEnd(void* data, const char* name) {
  Reader& r = *static_cast<Reader*>(data);
  if (std::strcmp(name, "peaks") == 0) {
    r.inText = false;
    decodeValues(arrayBytes(r), r.bits, r.bigEndian, r.mz);
    std::vector<Peak>& peaks = r.spectra.emplace_back(r.mz.size() / 2);
    for (std::size_t i = 0; i < peaks.size(); ++i) peaks[i] = {r.mz[2 * i], r.mz[2 * i + 1]};
  } else if (std::strcmp(name, "binary") == 0) {
    r.inText = false;
    if (r.kind == Reader::kMz) decodeValues(arrayBytes(r), r.bits, false, r.mz);
    if (r.kind == Reader::kIntensity) decodeValues(arrayBytes(r), r.bits, false, r.intensity);
  } else if (std::strcmp(name, "spectrum") == 0) {
    const std::size_t count = r.mz.size() < r.intensity.size() ? r.mz.size() : r.intensity.size();
    std::vector<Peak>& peaks = r.spectra.emplace_back(count);
    for (std::size_t i = 0; i < count; ++i) peaks[i] = {r.mz[i], r.intensity[i]};
  }
}

void onText(void* data, const char* text, int length) {
  Reader& r = *static_cast<Reader*>(data);
  if (r.inText) r.text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: floor_reader <run.mzXML|run.mzML> [more files]\n", stderr);
    return 1;
  }
  fillTable();
  Reader reader;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::FILE* file = std::fopen(argv[i], "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "floor_reader: cannot open %s\n", argv[i]);
      status = 2;
      continue;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &reader);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    char chunk[8192];
    bool done = false;
    while (!done) {
      const std::size_t count = std::fread(chunk, 1, sizeof chunk, file);
      done = count < sizeof chunk;
      if (XML_Parse(parser, chunk, static_cast<int>(count), done) == XML_STATUS_ERROR) {
        std::fprintf(stderr, "floor_reader: %s: %s\n", argv[i], XML_ErrorString(XML_GetErrorCode(parser)));
        status = 2;
        break;
      }
    }
    XML_ParserFree(parser);
    std::fclose(file);
  }
  std::size_t peaks = 0;
  for (const std::vector<Peak>& spectrum : reader.spectra) peaks += spectrum.size();
  std::fprintf(stderr, "floor_reader: %zu spectra, %zu peaks\n", reader.spectra.size(), peaks);
  return status;
}
