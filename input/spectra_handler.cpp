// Shared spectrum state of the readers: peak-array decoding and record assembly.
#include "input/spectra_handler.h"

#include <algorithm>
#include <cstring>

#include "input/array_limits.h"
#include "input/base64.h"
#include "input/input_error.h"
#include "input/zlib_inflate.h"
#include "util/console.h"

namespace {

bool hostIsLittleEndian() {
  const std::uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// Bytes that `b64_decode_mio` can write at most for this text: three per
// complete group of four characters.
std::size_t base64Yield(const std::string& text) { return text.size() / 4 * 3; }

// Decodes the base64 text into at most `limit` bytes. The buffer is bounded by
// what the text can yield, never by a declared count, and the result is the
// same as decoding into a buffer of `limit` bytes.
std::vector<char> decodeBase64(const std::string& text, std::size_t limit) {
  std::vector<char> bytes(std::min(limit, base64Yield(text)) + 1);
  const int written = b64_decode_mio(bytes.data(), text.c_str(), bytes.size() - 1);
  bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return bytes;
}

// The bytes of one peak array with `required` bytes wanted. Plain arrays give
// at most `required` bytes; zlib arrays are inflated to at most required + 1
// bytes (one more tells a stream longer than declared), and a stream that does
// not inflate gives no bytes.
std::vector<char> arrayBytes(const std::string& text, bool zlibCompressed, std::size_t required) {
  if (!zlibCompressed) return decodeBase64(text, required);
  const std::vector<char> compressed = decodeBase64(text, base64Yield(text));
  std::vector<char> inflated;
  inflateLimited(reinterpret_cast<const unsigned char*>(compressed.data()), compressed.size(), required,
                 inflated);
  return inflated;
}

// Appends `count` values of `Word`-sized IEEE numbers from `bytes`: m/z and
// intensity alternating when both are wanted, else every value to one array.
template <typename Word, typename Value>
void appendValues(const std::vector<char>& bytes, std::size_t count, bool hostOrder, bool wantMz,
                  bool wantIntensity, std::vector<float>& mzValues, std::vector<float>& intensityValues) {
  std::size_t offset = 0;
  auto next = [&]() {
    Word word;
    std::memcpy(&word, bytes.data() + offset, sizeof word);
    offset += sizeof word;
    word = SAXSpectraHandler::dtohl(word, hostOrder);
    Value value;
    std::memcpy(&value, &word, sizeof value);
    return static_cast<float>(value);
  };
  if (wantMz) mzValues.reserve(count);
  if (wantIntensity) intensityValues.reserve(count);
  for (std::size_t j = 0; j < count; ++j) {
    if (wantMz) mzValues.push_back(next());
    if (wantIntensity) intensityValues.push_back(next());
  }
}

}  // namespace

SAXSpectraHandler::SAXSpectraHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : spectra(spectraOut), header(headerOut) {}

void SAXSpectraHandler::limitText(std::size_t limit) {
  textLimit_ = limit;
  compacted_ = 0;
  textCut = false;
}

void SAXSpectraHandler::appendText(const char* chars, int len) {
  if (textCut) return;
  text.append(chars, static_cast<std::size_t>(len));
  if (text.size() <= textLimit_) return;
  // Past the limit: white space does not count; what remains past it is dropped.
  const auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
  text.erase(std::remove_if(text.begin() + static_cast<std::ptrdiff_t>(compacted_), text.end(), isSpace),
             text.end());
  compacted_ = text.size();
  if (text.size() > textLimit_) {
    text.resize(textLimit_);
    textCut = true;
  }
}

std::string SAXSpectraHandler::takeText() {
  // The next array is likely as long: room for as much text, up to a large
  // array's. (Sized by the text, not the capacity, so that one long array
  // does not give every later one, waiting in the job queue, its room.)
  const std::size_t kKeptRoom = std::size_t{16} << 20;
  std::string taken;
  taken.swap(text);
  text.reserve(std::min(taken.size(), kKeptRoom));
  compacted_ = 0;
  return taken;
}

std::size_t SAXSpectraHandler::plainArrayBound(std::size_t count, std::size_t bytesPerValue,
                                               std::size_t textBytes) {
  return std::min(count, textBytes / 4 * 3 / bytesPerValue);
}

void SAXSpectraHandler::presizePeaks(scan& record) const {
  if (expectedPeaks > 0 && jobsBehind()) record.peaks.resize(expectedPeaks);
}

void SAXSpectraHandler::pushPeaks(bool wantMz, bool wantIntensity) {
  ArrayText array;
  array.text = takeText();
  // m/z and intensity side by side in one array.
  expectedPeaks =
      array.zlibCompressed || peaksCount <= 0 || !(wantMz && wantIntensity)
          ? 0
          : plainArrayBound(static_cast<std::size_t>(peaksCount), lowPrecision ? 8 : 16, array.text.size());
  array.peaksCount = peaksCount;
  array.lowPrecision = lowPrecision;
  array.littleEndian = littleEndian;
  array.zlibCompressed = zlibCompressed;
  array.textCut = textCut;
  array.scanNumber = num;
  const std::size_t bytes = array.text.size();
  defer(
      [this, wantMz, wantIntensity, array = std::move(array)]() {
        if (wantMz) jobSide.mzValues.clear();
        if (wantIntensity) jobSide.intensityValues.clear();
        if (array.lowPrecision) {
          decode32(array, wantMz, wantIntensity);
        } else {
          decode64(array, wantMz, wantIntensity);
        }
      },
      bytes);
}

void SAXSpectraHandler::decode32(const ArrayText& array, bool wantMz, bool wantIntensity) {
  const std::size_t arrays = (wantMz ? 1 : 0) + (wantIntensity ? 1 : 0);
  if (array.peaksCount <= 0 || arrays == 0) return;
  const std::size_t count = arrayValueBound(static_cast<std::size_t>(array.peaksCount));
  const std::size_t required = arrays * count * 4;
  std::vector<char> bytes = arrayBytes(array.text, array.zlibCompressed, required);
  noteLeftOut(array, required, bytes.size());

  // A short array is zero-filled to the declared count, as long as the
  // declared count is not far beyond what the array holds; a count that the
  // data cannot back (a corrupt or hostile file) is cut to the values present,
  // so that memory stays in proportion to the file.
  std::size_t values = count;
  if (bytes.size() < required) {
    const std::size_t available = bytes.size();
    if (required > available + std::max<std::size_t>(available, 65536)) {
      values = available / (arrays * 4);
      console::outFlush(" declared peaksCount " + std::to_string(array.peaksCount) + " exceeds the " +
                        std::to_string(available) + " bytes of its peak array: reading " +
                        std::to_string(values) + " peaks\n");
    }
  }
  bytes.resize(values * arrays * 4, 0);
  appendValues<std::uint32_t, float>(bytes, values, array.littleEndian == hostIsLittleEndian(), wantMz,
                                     wantIntensity, jobSide.mzValues, jobSide.intensityValues);
}

void SAXSpectraHandler::decode64(const ArrayText& array, bool wantMz, bool wantIntensity) {
  const std::size_t arrays = (wantMz ? 1 : 0) + (wantIntensity ? 1 : 0);
  if (array.peaksCount <= 0 || arrays == 0) return;
  const std::size_t count = arrayValueBound(static_cast<std::size_t>(array.peaksCount));
  const std::size_t required = arrays * count * 8;
  const std::vector<char> bytes = arrayBytes(array.text, array.zlibCompressed, required);
  if (bytes.size() != required) {
    // A 64-bit array must hold exactly its declared count: the file cannot be
    // trusted further, and the run stops (the driver prints the message).
    const std::size_t declaredBytes = arrays * static_cast<std::size_t>(array.peaksCount) * 8;
    throw InputError(" decoded size " + std::to_string(static_cast<long long>(bytes.size())) +
                     " and required size " + std::to_string(declaredBytes) + " dont match:\n" +
                     " Cause: possible corrupted file.\n");
  }
  noteLeftOut(array, required, bytes.size());
  appendValues<std::uint64_t, double>(bytes, count, array.littleEndian == hostIsLittleEndian(), wantMz,
                                      wantIntensity, jobSide.mzValues, jobSide.intensityValues);
}

void SAXSpectraHandler::noteCut(std::int32_t scanNumber, const std::string& what) {
  console::err("torva: " + inputFile + ": scan " + std::to_string(scanNumber) + ": " + what + "\n");
  jobSide.arraysCut = true;
}

void SAXSpectraHandler::noteLeftOut(const ArrayText& array, std::size_t required, std::size_t available) {
  const std::size_t declared = static_cast<std::size_t>(array.peaksCount);
  const bool overLimit = declared > kMaxArrayValues;
  const std::string bound = overLimit
                                ? "the " + std::to_string(kMaxArrayValues) + " peaks read per spectrum (" +
                                      countName + " " + std::to_string(declared) + ")"
                                : "its " + std::to_string(declared) + " declared peaks (" + countName + ")";
  if (array.textCut) {
    noteCut(array.scanNumber,
            "its peak array holds far more data than " + bound + " use; the rest was not read");
    return;
  }
  // More data than the peaks read: inflated bytes past them, or at least one
  // more group of base64 characters than their bytes need.
  bool more = available > required;
  if (!array.zlibCompressed && !more) {
    std::size_t characters = 0;
    for (const char c : array.text) characters += c != ' ' && c != '\n' && c != '\r' && c != '\t';
    more = characters >= base64CharBound(required) + 4;
  }
  if (more) {
    noteCut(array.scanNumber, "its peak array holds more than " + bound + "; the first " +
                                  std::to_string(overLimit ? kMaxArrayValues : declared) + " are kept");
  }
}

scan SAXSpectraHandler::spectrumRecord() const {
  scan record;
  record.id = id;
  record.msLevel = msLevel;
  record.num = num;
  record.lowMz = lowMz;
  record.highMz = highMz;
  record.polarity = polarity;
  record.rt = rt;
  record.scanType = scanType;
  record.collisionEnergy = collisionEnergy;
  record.basePeakIntensity = basePeakIntensity;
  record.totIonCurrent = totIonCurrent;
  record.filterLine = filterLine;
  record.representation = representation;
  record.precursorMz = precursorMz;
  record.peaksCount = peaksCount;
  return record;
}

void SAXSpectraHandler::pushSpectrum() {
  scan record = spectrumRecord();
  presizePeaks(record);
  expectedPeaks = 0;
  defer([this, record = std::move(record)]() mutable { appendSpectrum(std::move(record)); });
}

void SAXSpectraHandler::appendSpectrum(scan record) {
  jobSide.current = std::move(record);
  // Never more peaks than both decoded arrays hold, whatever the declared count.
  std::size_t count =
      jobSide.current.peaksCount > 0 ? static_cast<std::size_t>(jobSide.current.peaksCount) : 0;
  count = std::min({count, jobSide.mzValues.size(), jobSide.intensityValues.size()});
  jobSide.current.peaks.resize(count);
  for (std::size_t i = 0; i < count; ++i)
    jobSide.current.peaks[i] = StoredPeak(jobSide.mzValues[i], jobSide.intensityValues[i]);

  setDescription();
  spectra.push_back(std::move(jobSide.current));

  if (++jobSide.pushCount == 2000) {
    console::outFlush(".");
    jobSide.pushCount = 0;
  }
}

void SAXSpectraHandler::setDescription() {
  if (baseNameOf_ != inputFile) {
    // Base name: after the last slash (a slash in first position is kept), or
    // after a later backslash.
    std::size_t start = 0;
    const std::size_t slash = inputFile.rfind('/');
    if (slash != std::string::npos && slash != 0) start = slash + 1;
    const std::size_t backslash = inputFile.rfind('\\');
    if (backslash != std::string::npos && backslash > start) start = backslash + 1;
    baseName_ = inputFile.substr(start);
    baseNameOf_ = inputFile;
  }
  jobSide.current.description = baseName_;
  jobSide.current.description += " scan ";
  jobSide.current.description += std::to_string(jobSide.current.num);
  jobSide.current.description += " (charge ";
  jobSide.current.description += std::to_string(static_cast<int>(jobSide.current.charge));
  jobSide.current.description += ')';
}

std::uint32_t SAXSpectraHandler::dtohl(std::uint32_t value, bool hostOrder) {
  if (hostOrder) return value;
  return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
         ((value & 0xFF000000u) >> 24);
}

std::uint64_t SAXSpectraHandler::dtohl(std::uint64_t value, bool hostOrder) {
  if (hostOrder) return value;
  std::uint64_t reversed = 0;
  for (int b = 0; b < 8; ++b) {
    reversed = (reversed << 8) | (value & 0xFF);
    value >>= 8;
  }
  return reversed;
}
