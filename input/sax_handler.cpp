// The expat event framework under the spectrum readers.
#include "input/sax_handler.h"

#include <algorithm>
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

// expat's callbacks: each notes where expat stands, and the element and text
// events go on to the reader.
struct SAXHandler::ExpatHooks {
  // Runs one event operation; an exception is kept and the parser stopped.
  // Once a deferred job has failed, nothing after it may happen: the parser
  // stops.
  template <typename Event>
  static void deliver(SAXHandler& handler, Event event) {
    if (handler.jobFailed()) {
      XML_StopParser(handler.parser_, XML_FALSE);
      return;
    }
    ++handler.read_.eventsDelivered;
    try {
      event();
    } catch (...) {
      handler.pendingError_ = std::current_exception();
      XML_StopParser(handler.parser_, XML_FALSE);
    }
  }

  static void startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.noteEvent(1);
    if (handler.read_.replaying) return;
    deliver(handler, [&] {
      handler.startElement(name, attributes);
      handler.noteStartTag(name);
    });
  }

  static void endElement(void* userData, const XML_Char* name) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.noteEvent(-1);
    deliver(handler, [&] { handler.endElement(name); });
  }

  static void characters(void* userData, const XML_Char* text, int len) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.noteEvent();
    deliver(handler, [&] { handler.characters(text, len); });
  }

  static void declaration(void* userData, const XML_Char*, const XML_Char* encoding, int) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.noteEncoding(encoding);
    handler.noteEvent();
  }

  // Everything else expat reads (comments, processing instructions, white
  // space outside the root, ...), only to know where its latest event ended.
  static void other(void* userData, const XML_Char*, int) { static_cast<SAXHandler*>(userData)->noteEvent(); }

  static void cdataStart(void* userData) { cdata(userData, true); }
  static void cdataEnd(void* userData) { cdata(userData, false); }
  static void cdata(void* userData, bool inside) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.read_.inCdata = inside;
    handler.noteEvent();
  }

  static void doctype(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    SAXHandler& handler = *static_cast<SAXHandler*>(userData);
    handler.read_.quickAllowed = false;
    handler.noteEvent();
  }
};

namespace {

constexpr std::size_t kChunk = 8192;
// Longest start tag of a bulk text element that is looked for across reads.
constexpr std::size_t kLongestBulkTag = 65536;
// Shortest text taken past expat.
constexpr std::size_t kShortestBulkText = 512;
constexpr std::size_t kLargestBatch = std::size_t(64) << 20;

}  // namespace

SAXHandler::SAXHandler() : parser_(XML_ParserCreate(nullptr)) {
  if (parser_ == nullptr) throw std::bad_alloc();
  // expat's protection against entity-expansion attacks stays at its defaults.
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, ExpatHooks::startElement, ExpatHooks::endElement);
  XML_SetCharacterDataHandler(parser_, ExpatHooks::characters);
  XML_SetXmlDeclHandler(parser_, ExpatHooks::declaration);
  // The default handler only watches; entities are still expanded as before.
  XML_SetDefaultHandlerExpand(parser_, ExpatHooks::other);
  XML_SetStartDoctypeDeclHandler(parser_, ExpatHooks::doctype);
  XML_SetCdataSectionHandler(parser_, ExpatHooks::cdataStart, ExpatHooks::cdataEnd);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 6)
  // Newer expat may hold a complete token back until more input comes; the
  // readers want every token of what they were given (reading in doubling
  // batches already keeps a long token from being scanned again and again).
  XML_SetReparseDeferralEnabled(parser_, XML_FALSE);
#endif
}

void SAXHandler::noteEvent(int depthChange) {
  read_.depth += depthChange;
  read_.lastEventEnd = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_)) +
                       static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser_));
}

bool SAXHandler::deliverText(const std::string& text) { return deliverText(text.data(), text.size()); }

bool SAXHandler::deliverText(const char* text, std::size_t size) {
  if (jobFailed()) return false;
  ++read_.eventsDelivered;
  try {
    characters(text, static_cast<int>(size));
  } catch (...) {
    pendingError_ = std::current_exception();
    return false;
  }
  return true;
}

bool SAXHandler::deliverStart(bool empty) {
  if (jobFailed()) return false;
  ++read_.eventsDelivered;
  ++quickTags;
  try {
    const char* name = quick_.tagName();
    startElement(name, quick_.attributes());
    if (!bulkTextElement.empty() && bulkTextElement == name) {
      read_.bulkTagEnd = read_.fedBytes;
      read_.bulkTagEvent = read_.eventsDelivered;
    }
    if (empty) {
      if (jobFailed()) return false;
      ++read_.eventsDelivered;
      endElement(name);
    } else {
      quick_.openTag();
    }
  } catch (...) {
    pendingError_ = std::current_exception();
    return false;
  }
  return true;
}

bool SAXHandler::deliverEnd() {
  if (jobFailed()) return false;
  ++read_.eventsDelivered;
  ++quickTags;
  try {
    endElement(quick_.innermost());
  } catch (...) {
    pendingError_ = std::current_exception();
    return false;
  }
  quick_.closeInnermost();
  return true;
}

bool SAXHandler::syncExpat() {
  if (!quick_.anyOpen()) return true;
  // expat is given the bare start tags of the elements open past it, which
  // it reports to nobody: then it knows the nesting, and whatever comes next
  // is read, or found wrong, as if it had read everything itself. The tags
  // hold no line breaks, so its line count stays that of the file.
  const std::string tags = quick_.takeOpenTags();
  read_.replaying = true;
  const bool parsed = parseMarkup(tags.data(), tags.size());
  read_.replaying = false;
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
  return quick_.anyOpen() ||
         (read_.depth >= 1 && read_.lastEventEnd == read_.fedBytes && !read_.inCdata && read_.quickAllowed);
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
  if (!QuickMarkup::plainText(data, from, to, lineBreaks, carriageReturn)) return true;
  taken = true;
  read_.skippedLineBreaks += lineBreaks;
  return carriageReturn ? deliverText(bulk_text::normalisedLineEnds(data, from, to))
                        : deliverText(data + from, to - from);
}

std::size_t SAXHandler::feedMarkup(const char* data, std::size_t from, std::size_t to, bool last) {
  if (!quickMarkup || !read_.bulkTextAllowed || !read_.quickAllowed) {
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
    const std::size_t end = endTag ? quick_.readEndTag(data, at, to, lineBreaks)
                                   : quick_.readStartTag(data, at, to, empty, lineBreaks, cut);
    if (end == 0) {
      // A tag cut off by the end of this read, plainly written so far (expat
      // would wait for the rest too, without an error or an event), waits
      // for the next read, unless it is too long to wait for.
      if (endTag) cut = QuickMarkup::endTagCutOff(data, at, to);
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
    if (!quickReady() || (endTag && !quick_.anyOpen())) {
      search = at + 1;
      continue;
    }
    read_.skippedLineBreaks += lineBreaks;
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
  read_.bulkTagEnd = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_)) +
                     static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser_));
  read_.bulkTagEvent = read_.eventsDelivered;
}

void SAXHandler::noteEncoding(const char* encoding) {
  if (encoding == nullptr) return;
  std::string name(encoding);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  read_.bulkTextAllowed = name == "UTF-8" || name == "ISO-8859-1" || name == "US-ASCII";
}

bool SAXHandler::parseMarkup(const char* data, std::size_t size) {
  if (size == 0) return true;
  read_.fedBytes += size;
  ++markupReads;
  return XML_Parse(parser_, data, static_cast<int>(size), 0) != XML_STATUS_ERROR;
}

std::size_t SAXHandler::feed(const char* data, std::size_t size, bool last) {
  std::size_t at = 0;
  // The text scanned when its tag was found: where it starts and ends, and whether it has line ends.
  std::size_t scannedFrom = size;
  std::size_t scannedEnd = size;
  bool scannedLineEnds = true;
  while (at < size) {
    if (read_.inBulkText) {
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
          read_.skippedLineBreaks += bulk_text::lineBreaks(data, at, end);
          delivered = std::memchr(data + at, '\r', end - at) == nullptr
                          ? deliverText(data + at, end - at)
                          : deliverText(bulk_text::normalisedLineEnds(data, at, end));
        }
        if (!delivered) return kStopped;
      }
      at = end;
      if (at == size || (!last && at + 1 == size && data[at] == '\r')) return size - at;
      read_.inBulkText = false;
      continue;
    }
    // Markup up to and with the next start tag of the bulk text element
    // (from `at` on, where expat has been fed up to `at`).
    std::size_t search = at;
    while (true) {
      const std::size_t opener = bulkTextElement.empty() || !read_.bulkTextAllowed
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
        quick_.readStartTag(data, opener, size, empty, lineBreaks, cut);
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
      read_.inBulkText = read_.bulkTagEnd == read_.fedBytes && read_.bulkTagEvent == read_.eventsDelivered &&
                         read_.bulkTextAllowed;
      at = end;
      break;
    }
  }
  return 0;
}

SAXHandler::~SAXHandler() { XML_ParserFree(parser_); }

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
  if (jobs_->error) pendingError_ = jobs_->error;
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
        read_.bulkTextAllowed = false;
      }
    }
    first = false;
    const std::size_t size = waiting + filled;
    if (!ended) {
      const std::uint64_t before = read_.eventsDelivered;
      const std::size_t left = feed(buffer.data(), size, false);
      if (left == kStopped) break;
      std::memmove(buffer.data(), buffer.data() + size - left, left);
      waiting = left;
      batchSize = read_.eventsDelivered == before ? std::min(2 * batchSize, kLargestBatch) : kChunk;
      continue;
    }
    // End of the data, or of what could be read of it. What the jobs print
    // comes first, and a failed job ends the parse here.
    finishJobs();
    if (pendingError_) break;
    if (file.damaged()) {
      console::err(inputFile + ": " +
                   (file.compressed() ? "gzip data damaged or cut short (" : "read failed (") + file.error() +
                   "); reading stops here\n");
      parseFailed = true;
    }
    if (feed(buffer.data(), size, true) == kStopped || !syncExpat()) break;
    wellFormed = XML_Parse(parser_, nullptr, 0, 1) != XML_STATUS_ERROR;
    break;
  }
  finishJobs();
  if (pendingError_) {
    parseFailed = true;
    std::rethrow_exception(pendingError_);
  }
  if (wellFormed) return !parseFailed;

  const int code = static_cast<int>(XML_GetErrorCode(parser_));
  // expat counts the lines it saw; the bulk text it did not see has its own.
  const unsigned long line =
      static_cast<unsigned long>(XML_GetCurrentLineNumber(parser_) + read_.skippedLineBreaks);
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
