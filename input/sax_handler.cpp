// The expat event framework under the spectrum readers.
#include "input/sax_handler.h"

#if defined(TORVA_X86_VECTORS)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "input/bulk_text.h"
#include "input/input_file.h"
#include "input/job_thread.h"
#include "util/console.h"

namespace {

// Runs one event operation; an exception is kept and the parser stopped. Once
// a deferred job has failed, nothing after it may happen: the parser stops.
template <typename Event>
void deliver(void* userData, Event event) {
  SAXHandler* handler = static_cast<SAXHandler*>(userData);
  if (handler->jobFailed()) {
    XML_StopParser(handler->parser, XML_FALSE);
    return;
  }
  ++handler->eventsDelivered;
  try {
    event(*handler);
  } catch (...) {
    handler->pendingError = std::current_exception();
    XML_StopParser(handler->parser, XML_FALSE);
  }
}

void startElementCallback(void* userData, const XML_Char* name, const XML_Char** attributes) {
  static_cast<SAXHandler*>(userData)->noteEvent(1);
  if (static_cast<SAXHandler*>(userData)->replaying()) return;
  deliver(userData, [&](SAXHandler& handler) {
    handler.startElement(name, attributes);
    handler.noteStartTag(name);
  });
}

void endElementCallback(void* userData, const XML_Char* name) {
  static_cast<SAXHandler*>(userData)->noteEvent(-1);
  deliver(userData, [&](SAXHandler& handler) { handler.endElement(name); });
}

void charactersCallback(void* userData, const XML_Char* text, int len) {
  static_cast<SAXHandler*>(userData)->noteEvent();
  deliver(userData, [&](SAXHandler& handler) { handler.characters(text, len); });
}

void declarationCallback(void* userData, const XML_Char*, const XML_Char* encoding, int) {
  static_cast<SAXHandler*>(userData)->noteEncoding(encoding);
  static_cast<SAXHandler*>(userData)->noteEvent();
}

// Everything else expat reads (comments, processing instructions, white
// space outside the root, ...), only to know where its latest event ended.
void otherCallback(void* userData, const XML_Char*, int) { static_cast<SAXHandler*>(userData)->noteEvent(); }

void cdataStartCallback(void* userData) { static_cast<SAXHandler*>(userData)->noteCdata(true); }
void cdataEndCallback(void* userData) { static_cast<SAXHandler*>(userData)->noteCdata(false); }

void doctypeCallback(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<SAXHandler*>(userData)->noteDoctype();
  static_cast<SAXHandler*>(userData)->noteEvent();
}

constexpr std::size_t kChunk = 8192;
// Longest start tag of a bulk text element that is looked for across reads.
constexpr std::size_t kLongestBulkTag = 65536;
// Shortest text taken past expat.
constexpr std::size_t kShortestBulkText = 512;
constexpr std::size_t kLargestBatch = std::size_t(64) << 20;

}  // namespace

SAXHandler::SAXHandler() : parser(XML_ParserCreate(nullptr)) {
  if (parser == nullptr) throw std::bad_alloc();
  // expat's protection against entity-expansion attacks stays at its defaults.
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, startElementCallback, endElementCallback);
  XML_SetCharacterDataHandler(parser, charactersCallback);
  XML_SetXmlDeclHandler(parser, declarationCallback);
  // The default handler only watches; entities are still expanded as before.
  XML_SetDefaultHandlerExpand(parser, otherCallback);
  XML_SetStartDoctypeDeclHandler(parser, doctypeCallback);
  XML_SetCdataSectionHandler(parser, cdataStartCallback, cdataEndCallback);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 6)
  // Newer expat may hold a complete token back until more input comes; the
  // readers want every token of what they were given (reading in doubling
  // batches already keeps a long token from being scanned again and again).
  XML_SetReparseDeferralEnabled(parser, XML_FALSE);
#endif
}

void SAXHandler::noteEvent(int depthChange) {
  depth_ += depthChange;
  lastEventEnd_ = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser)) +
                  static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser));
}

bool SAXHandler::deliverText(const std::string& text) { return deliverText(text.data(), text.size()); }

bool SAXHandler::deliverText(const char* text, std::size_t size) {
  if (jobFailed()) return false;
  ++eventsDelivered;
  try {
    characters(text, static_cast<int>(size));
  } catch (...) {
    pendingError = std::current_exception();
    return false;
  }
  return true;
}

bool SAXHandler::deliverStart(bool empty) {
  if (jobFailed()) return false;
  ++eventsDelivered;
  ++quickTags;
  try {
    const char* name = quickText_.c_str();
    startElement(name, quickAttributes_.data());
    if (!bulkTextElement.empty() && bulkTextElement == name) {
      bulkTagEnd_ = fedBytes_;
      bulkTagEvent_ = eventsDelivered;
    }
    if (empty) {
      if (jobFailed()) return false;
      ++eventsDelivered;
      endElement(name);
    } else {
      quickOpenStarts_.push_back(quickOpen_.size());
      quickOpen_.append(name, quickText_.find('\0') + 1);
    }
  } catch (...) {
    pendingError = std::current_exception();
    return false;
  }
  return true;
}

bool SAXHandler::deliverEnd() {
  if (jobFailed()) return false;
  ++eventsDelivered;
  ++quickTags;
  const std::size_t start = quickOpenStarts_.back();
  try {
    endElement(quickOpen_.c_str() + start);
  } catch (...) {
    pendingError = std::current_exception();
    return false;
  }
  quickOpen_.resize(start);
  quickOpenStarts_.pop_back();
  return true;
}

namespace {

// Byte classes of markup read past expat.
enum : unsigned char {
  kNameStart = 1,  // may begin a name (ASCII only)
  kNameChar = 2,   // may go on in a name
  kSpace = 4,      // white space between attributes
  kValue = 8,      // may stand in a quoted value as it is (printable ASCII but "<" and "&")
  kText = 16,      // may stand in text as it is (kValue but "]", and white space)
};
constexpr std::array<unsigned char, 256> makeByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (int c = 0x20; c <= 0x7E; ++c) {
    if (c != '<' && c != '&') classes[c] |= kValue;
    if (c != '<' && c != '&' && c != ']') classes[c] |= kText;
  }
  for (int c : {' ', '\t', '\n', '\r'}) classes[c] |= kSpace | kText;
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
    if (letter) classes[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') classes[c] |= kNameChar;
  }
  return classes;
}
constexpr std::array<unsigned char, 256> kByteClasses = makeByteClasses();
inline bool is(char c, unsigned char kind) {
  return (kByteClasses[static_cast<unsigned char>(c)] & kind) != 0;
}

// Line breaks as XML counts them, of white space at data[p] (a line feed, or
// a carriage return without one after it).
inline std::size_t breakAt(const char* data, std::size_t p, std::size_t to) {
  return data[p] == '\n' || (data[p] == '\r' && (p + 1 >= to || data[p + 1] != '\n')) ? 1 : 0;
}

// The first byte from p on that may not stand in a value quoted by `quote`
// as it is (the closing quote, if the value is plainly written), or `to`.
// Sixteen bytes at a time while they fit: a byte may stand when it lies in
// 0x20-0x7E and is neither "<", "&" nor the quote.
std::size_t valueEnd(const char* data, std::size_t p, std::size_t to, char quote) {
#if defined(TORVA_X86_VECTORS)
  const __m128i belowSpace = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F);
  const __m128i less = _mm_set1_epi8('<'), ampersand = _mm_set1_epi8('&'), quotes = _mm_set1_epi8(quote);
  for (; p + 16 <= to; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
    // Bytes from 0x80 on compare as negative, below the space.
    __m128i stop = _mm_or_si128(_mm_cmpgt_epi8(belowSpace, v), _mm_cmpeq_epi8(v, del));
    stop = _mm_or_si128(stop, _mm_or_si128(_mm_cmpeq_epi8(v, less), _mm_cmpeq_epi8(v, ampersand)));
    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, quotes));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
    if (mask != 0) return p + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (p < to && data[p] != quote && is(data[p], kValue)) ++p;
  return p;
}

}  // namespace

std::size_t SAXHandler::readStartTag(const char* data, std::size_t at, std::size_t to, bool& empty,
                                     std::size_t& lineBreaks, bool& cut) {
  constexpr std::size_t kMostAttributes = 32;
  std::size_t p = at + 1;
  cut = false;
  // Where the data ends inside a tag that is plainly written so far, `cut` is set.
  const auto cutOff = [&cut] {
    cut = true;
    return std::size_t{0};
  };
  if (p >= to) return cutOff();
  if (!is(data[p], kNameStart)) return 0;
  while (p < to && is(data[p], kNameChar)) ++p;
  quickText_.assign(data + at + 1, p - at - 1).push_back('\0');
  quickOffsets_.clear();
  lineBreaks = 0;
  while (true) {
    // The tag's end, or white space and then an attribute or the end.
    if (p < to && data[p] == '>') {
      empty = false;
      ++p;
      break;
    }
    if (p + 1 < to && data[p] == '/' && data[p + 1] == '>') {
      empty = true;
      p += 2;
      break;
    }
    if (p >= to || (data[p] == '/' && p + 1 >= to)) return cutOff();
    if (!is(data[p], kSpace)) return 0;
    for (; p < to && is(data[p], kSpace); ++p) lineBreaks += breakAt(data, p, to);
    if (p < to && (data[p] == '>' || data[p] == '/')) continue;
    // name="value" or name='value'
    if (p >= to) return cutOff();
    if (!is(data[p], kNameStart) || quickOffsets_.size() >= 2 * kMostAttributes) return 0;
    const std::size_t nameBegin = p;
    while (p < to && is(data[p], kNameChar)) ++p;
    const std::size_t nameEnd = p;
    if (p >= to || (data[p] == '=' && p + 1 >= to)) return cutOff();
    if (data[p] != '=' || (data[p + 1] != '"' && data[p + 1] != '\'')) return 0;
    const char quote = data[p + 1];
    p += 2;
    const std::size_t valueBegin = p;
    p = valueEnd(data, p, to, quote);
    if (p >= to) return cutOff();
    if (data[p] != quote) return 0;
    const std::size_t valueEnd = p++;
    // A repeated name is an error for expat to report. (A name's length is
    // the distance to its value, less the NUL after it.)
    const std::size_t nameLength = nameEnd - nameBegin;
    for (std::size_t i = 0; i < quickOffsets_.size(); i += 2) {
      const char* seen = quickText_.data() + quickOffsets_[i];
      if (quickOffsets_[i + 1] - quickOffsets_[i] - 1 == nameLength && seen[0] == data[nameBegin] &&
          std::memcmp(seen, data + nameBegin, nameLength) == 0) {
        return 0;
      }
    }
    quickOffsets_.push_back(quickText_.size());
    quickText_.append(data + nameBegin, nameLength).push_back('\0');
    quickOffsets_.push_back(quickText_.size());
    quickText_.append(data + valueBegin, valueEnd - valueBegin).push_back('\0');
  }
  quickAttributes_.clear();
  for (std::size_t offset : quickOffsets_) quickAttributes_.push_back(quickText_.data() + offset);
  quickAttributes_.push_back(nullptr);
  return p;
}

std::size_t SAXHandler::readEndTag(const char* data, std::size_t at, std::size_t to,
                                   std::size_t& lineBreaks) const {
  if (quickOpenStarts_.empty()) return 0;
  const std::size_t start = quickOpenStarts_.back();
  const std::size_t length = quickOpen_.size() - start - 1;
  std::size_t p = at + 2;
  if (to - p < length || std::memcmp(data + p, quickOpen_.data() + start, length) != 0) return 0;
  p += length;
  lineBreaks = 0;
  for (; p < to && is(data[p], kSpace); ++p) lineBreaks += breakAt(data, p, to);
  return p < to && data[p] == '>' ? p + 1 : 0;
}

namespace {

// data[at ..] ends inside an end tag written plainly so far: "</", a name, white space.
bool endTagCutOff(const char* data, std::size_t at, std::size_t to) {
  std::size_t p = at + 2;
  if (p < to && !is(data[p], kNameStart)) return false;
  while (p < to && is(data[p], kNameChar)) ++p;
  while (p < to && is(data[p], kSpace)) ++p;
  return p >= to;
}

}  // namespace

bool SAXHandler::syncExpat() {
  if (quickOpenStarts_.empty()) return true;
  // expat is given the bare start tags of the elements open past it, which
  // it reports to nobody: then it knows the nesting, and whatever comes next
  // is read, or found wrong, as if it had read everything itself. The tags
  // hold no line breaks, so its line count stays that of the file.
  std::string tags;
  for (std::size_t i = 0; i < quickOpenStarts_.size(); ++i) {
    tags += '<';
    tags += quickOpen_.c_str() + quickOpenStarts_[i];
    tags += '>';
  }
  quickOpen_.clear();
  quickOpenStarts_.clear();
  replaying_ = true;
  const bool parsed = parseMarkup(tags.data(), tags.size());
  replaying_ = false;
  return parsed;
}

bool SAXHandler::toExpat(const char* data, std::size_t size) {
  if (size == 0) return true;
  return syncExpat() && parseMarkup(data, size);
}

bool SAXHandler::quickReady() const {
  // Past expat only where it has turned every byte it was given into events,
  // inside the root element and not in a CDATA section, or inside an element
  // read past it (expat has been given nothing since).
  return !quickOpenStarts_.empty() ||
         (depth_ >= 1 && lastEventEnd_ == fedBytes_ && !inCdata_ && quickAllowed_);
}

bool SAXHandler::takePlainText(const char* data, std::size_t from, std::size_t to, bool& taken) {
  taken = false;
  if (from == to) {
    taken = true;
    return true;
  }
  if (!quickReady()) return true;
  std::size_t lineBreaks = 0;
  bool carriageReturn = false;
  for (std::size_t p = from; p < to; ++p) {
    if (!is(data[p], kText)) return true;
    if (data[p] == '\n' || data[p] == '\r') {
      lineBreaks += breakAt(data, p, to);
      carriageReturn = carriageReturn || data[p] == '\r';
    }
  }
  taken = true;
  skippedLineBreaks_ += lineBreaks;
  return carriageReturn ? deliverText(bulk_text::normalisedLineEnds(data, from, to))
                        : deliverText(data + from, to - from);
}

std::size_t SAXHandler::feedMarkup(const char* data, std::size_t from, std::size_t to, bool last) {
  if (!quickMarkup || !bulkTextAllowed_ || !quickAllowed_) {
    return toExpat(data + from, to - from) ? to : kStopped;
  }
  std::size_t pending = from;  // neither given to expat nor taken yet
  std::size_t search = from;
  while (true) {
    const void* found = search < to ? std::memchr(data + search, '<', to - search) : nullptr;
    if (found == nullptr) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    bool empty = false;
    bool cut = false;
    std::size_t lineBreaks = 0;
    const bool endTag = at + 1 < to && data[at + 1] == '/';
    const std::size_t end =
        endTag ? readEndTag(data, at, to, lineBreaks) : readStartTag(data, at, to, empty, lineBreaks, cut);
    if (end == 0) {
      // A tag cut off by the end of this read, plainly written so far (expat
      // would wait for the rest too, without an error or an event), waits
      // for the next read, unless it is too long to wait for.
      if (endTag) cut = endTagCutOff(data, at, to);
      if (!last && cut && to - at <= kLongestBulkTag) {
        bool taken = false;
        if (!takePlainText(data, pending, at, taken)) return kStopped;
        if (!taken && !toExpat(data + pending, at - pending)) return kStopped;
        return at;
      }
      search = at + 1;  // for expat, with what comes before
      continue;
    }
    // What lies before the tag: text, which may be taken past expat too; anything else goes to expat.
    bool taken = false;
    if (!takePlainText(data, pending, at, taken)) return kStopped;
    if (!taken && !toExpat(data + pending, at - pending)) return kStopped;
    pending = search = at;
    // (Text given to expat has closed the elements open past it: an end tag is then expat's.)
    if (!quickReady() || (endTag && quickOpenStarts_.empty())) {
      search = at + 1;
      continue;
    }
    skippedLineBreaks_ += lineBreaks;
    if (!(endTag ? deliverEnd() : deliverStart(empty))) return kStopped;
    pending = search = end;
  }
  // Text after the last tag; a carriage return at the end may begin a CR LF.
  if (!last && pending < to && data[to - 1] == '\r') {
    bool taken = false;
    if (!takePlainText(data, pending, to - 1, taken)) return kStopped;
    if (taken) return to - 1;
  } else {
    bool taken = false;
    if (!takePlainText(data, pending, to, taken)) return kStopped;
    if (taken) return to;
  }
  return toExpat(data + pending, to - pending) ? to : kStopped;
}

void SAXHandler::noteStartTag(const char* name) {
  if (bulkTextElement.empty() || bulkTextElement != name) return;
  bulkTagEnd_ = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser)) +
                static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser));
  bulkTagEvent_ = eventsDelivered;
}

void SAXHandler::noteEncoding(const char* encoding) {
  if (encoding == nullptr) return;
  std::string name(encoding);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bulkTextAllowed_ = name == "UTF-8" || name == "ISO-8859-1" || name == "US-ASCII";
}

bool SAXHandler::parseMarkup(const char* data, std::size_t size) {
  if (size == 0) return true;
  fedBytes_ += size;
  ++markupReads;
  return XML_Parse(parser, data, static_cast<int>(size), 0) != XML_STATUS_ERROR;
}

std::size_t SAXHandler::feed(const char* data, std::size_t size, bool last) {
  std::size_t at = 0;
  // The text scanned when its tag was found: where it starts and ends, and whether it has line ends.
  std::size_t scannedFrom = size;
  std::size_t scannedEnd = size;
  bool scannedLineEnds = true;
  while (at < size) {
    if (inBulkText_) {
      // The element's text up to the next "<" (or anything else that is not
      // base64 or white space, which expat then takes on from).
      bool lineEnds = false;
      std::size_t end = 0;
      if (at == scannedFrom) {
        end = scannedEnd;
        lineEnds = scannedLineEnds;
      } else {
        end = bulk_text::textEnd(data, at, size, lineEnds);
      }
      if (end == size && !last && end > at && data[end - 1] == '\r') --end;  // it may begin a CR LF
      if (end > at) {
        bulkTextBytes += end - at;
        bool delivered = true;
        if (!lineEnds) {
          delivered = deliverText(data + at, end - at);
        } else {
          skippedLineBreaks_ += bulk_text::lineBreaks(data, at, end);
          delivered = std::memchr(data + at, '\r', end - at) == nullptr
                          ? deliverText(data + at, end - at)
                          : deliverText(bulk_text::normalisedLineEnds(data, at, end));
        }
        if (!delivered) return kStopped;
      }
      at = end;
      if (at == size || (!last && at + 1 == size && data[at] == '\r')) return size - at;
      inBulkText_ = false;
      continue;
    }
    // Markup up to and with the next start tag of the bulk text element
    // (from `at` on, where expat has been fed up to `at`).
    std::size_t search = at;
    while (true) {
      const std::size_t opener = bulkTextElement.empty() || !bulkTextAllowed_
                                     ? size
                                     : bulk_text::findOpener(data, search, size, bulkTextElement);
      if (opener == size) {
        const std::size_t stop = feedMarkup(data, at, size, last);
        return stop == kStopped ? kStopped : size - stop;
      }
      const std::size_t end = bulk_text::tagEnd(data, opener, size);
      if (end == 0) {
        // The tag goes on past this read: it waits for the next one, unless it is too long to look for.
        bool empty = false;
        bool cut = false;
        std::size_t lineBreaks = 0;
        readStartTag(data, opener, size, empty, lineBreaks, cut);
        const bool waits = !last && size - opener <= kLongestBulkTag && cut;
        const std::size_t stop = feedMarkup(data, at, waits ? opener : size, last);
        return stop == kStopped ? kStopped : size - stop;
      }
      // A short text is left to expat: a call of its own would cost more.
      bool lineEnds = false;
      const std::size_t textStop = bulk_text::textEnd(data, end, size, lineEnds);
      if (textStop < size && textStop - end < kShortestBulkText) {
        search = textStop;
        continue;
      }
      scannedFrom = end;
      scannedEnd = textStop;
      scannedLineEnds = lineEnds;
      if (feedMarkup(data, at, end, last) != end) return kStopped;
      // Only a start tag that expat itself reported, with nothing after it, opens the text.
      inBulkText_ = bulkTagEnd_ == fedBytes_ && bulkTagEvent_ == eventsDelivered && bulkTextAllowed_;
      at = end;
      break;
    }
  }
  return 0;
}

SAXHandler::~SAXHandler() { XML_ParserFree(parser); }

void SAXHandler::defer(std::function<void()> job, std::size_t bytes) {
  if (jobs_) {
    jobs_->push(std::move(job), bytes);
  } else {
    job();
  }
}

bool SAXHandler::jobFailed() const { return jobs_ && jobs_->failed(); }

bool SAXHandler::jobsBehind() const { return jobs_ && jobs_->behind(); }

void SAXHandler::finishJobs() {
  if (!jobs_) return;
  jobs_->finish();
  if (jobs_->error) pendingError = jobs_->error;
  jobs_.reset();
}

void SAXHandler::startElement(const char*, const char**) {}
void SAXHandler::endElement(const char*) {}
void SAXHandler::characters(const char*, int) {}

bool SAXHandler::parse() {
  InputFile file;
  if (!file.open(inputFile)) {
    console::err("Failed to open input file '" + inputFile + "'.\n");
    parseFailed = true;
    return false;
  }

  // The document is read in 8192-byte chunks and each chunk is parsed as it
  // arrives. expat re-scans an unfinished token (a tag with attribute values
  // of megabytes, a huge comment) from its start on every call, which turns
  // such a token quadratic; so while calls deliver no events, chunks are
  // gathered into batches of doubling size before they are parsed.
  if (decodeBesideParser) {
    try {
      jobs_ = std::make_unique<JobThread>();
    } catch (const std::system_error&) {
      // No thread to be had: the jobs run in this thread, as they come.
    }
  }
  // Whatever way parse() is left, the job thread is gone by then (normally
  // finished below; abandoned when something else throws).
  struct JobsGuard {
    std::unique_ptr<JobThread>& jobs;
    ~JobsGuard() {
      if (jobs) jobs->abandon();
      jobs.reset();
    }
  } guard{jobs_};
  std::vector<char> buffer;
  std::size_t waiting = 0;  // bytes at the front of `buffer` left from the last read
  std::size_t batchSize = kChunk;
  bool wellFormed = false;
  bool first = true;
  while (true) {
    buffer.resize(waiting + batchSize);
    char* target = buffer.data() + waiting;
    std::size_t filled = 0;
    bool ended = false;
    while (filled < batchSize) {
      const long count = file.read(target + filled, std::min(kChunk, batchSize - filled));
      if (count <= 0) {
        ended = true;
        break;
      }
      filled += static_cast<std::size_t>(count);
    }
    // A UTF-16 document (its byte order mark or a zero byte tells) has no
    // ASCII bytes to look for.
    if (first && filled >= 2) {
      const unsigned char b0 = static_cast<unsigned char>(target[0]);
      const unsigned char b1 = static_cast<unsigned char>(target[1]);
      if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE) || b0 == 0 || b1 == 0) {
        bulkTextAllowed_ = false;
      }
    }
    first = false;
    const std::size_t size = waiting + filled;
    if (!ended) {
      const std::uint64_t before = eventsDelivered;
      const std::size_t left = feed(buffer.data(), size, false);
      if (left == kStopped) break;
      std::memmove(buffer.data(), buffer.data() + size - left, left);
      waiting = left;
      batchSize = eventsDelivered == before ? std::min(2 * batchSize, kLargestBatch) : kChunk;
      continue;
    }
    // End of the data, or of what could be read of it. What the jobs print
    // comes first, and a failed job ends the parse here.
    finishJobs();
    if (pendingError) break;
    if (file.damaged()) {
      console::err(inputFile + ": " +
                   (file.compressed() ? "gzip data damaged or cut short (" : "read failed (") + file.error() +
                   "); reading stops here\n");
      parseFailed = true;
    }
    if (feed(buffer.data(), size, true) == kStopped || !syncExpat()) break;
    wellFormed = XML_Parse(parser, nullptr, 0, 1) != XML_STATUS_ERROR;
    break;
  }
  finishJobs();
  if (pendingError) {
    parseFailed = true;
    std::rethrow_exception(pendingError);
  }
  if (wellFormed) return !parseFailed;

  const int code = static_cast<int>(XML_GetErrorCode(parser));
  // expat counts the lines it saw; the bulk text it did not see has its own.
  const unsigned long line =
      static_cast<unsigned long>(XML_GetCurrentLineNumber(parser) + skippedLineBreaks_);
  const bool syntax =
      code == XML_ERROR_SYNTAX || code == XML_ERROR_INVALID_TOKEN || code == XML_ERROR_UNCLOSED_TOKEN;
  console::err(inputFile + "(" + std::to_string(line) + ")" + " : error " + std::to_string(code) + ": " +
               (syntax ? "Syntax error parsing XML." : "XML Parsing error.") + "\n");
  parseFailed = true;
  return false;
}

const char* SAXHandler::getAttrValue(const char* name, const char** attributes) {
  for (const char** attribute = attributes; attribute != nullptr && *attribute != nullptr; attribute += 2) {
    if (std::strcmp(attribute[0], name) == 0) return attribute[1];
  }
  return "";
}
