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
  deliver(userData, [&](SAXHandler& handler) {
    handler.startElement(name, handler.attributesFor(attributes));
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

// A name as XML writes it, ASCII only: a letter, "_" or ":", then also digits, ".", "-".
bool nameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; }
bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }

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

bool SAXHandler::deliverQuickElement() {
  if (jobFailed()) return false;
  eventsDelivered += 2;
  try {
    startElement(quickElement.c_str(), quickAttributes_.data());
    if (jobFailed()) return false;
    endElement(quickElement.c_str());
  } catch (...) {
    pendingError = std::current_exception();
    return false;
  }
  return true;
}

std::size_t SAXHandler::readQuickTag(const char* data, std::size_t at, std::size_t to, bool& empty) {
  constexpr std::size_t kMostAttributes = 32;
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  std::size_t p = at + 1 + quickElement.size();
  quickText_.clear();
  quickOffsets_.clear();
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
    if (p >= to || !space(data[p])) return 0;
    while (p < to && space(data[p])) ++p;
    if (p < to && (data[p] == '>' || data[p] == '/')) continue;
    // name="value" or name='value'
    if (p >= to || !nameStart(data[p]) || quickOffsets_.size() >= 2 * kMostAttributes) return 0;
    const std::size_t nameBegin = p;
    while (p < to && nameChar(data[p])) ++p;
    const std::size_t nameEnd = p;
    if (p + 1 >= to || data[p] != '=' || (data[p + 1] != '"' && data[p + 1] != '\'')) return 0;
    const char quote = data[p + 1];
    p += 2;
    const std::size_t valueBegin = p;
    while (p < to && data[p] != quote) {
      const char c = data[p];
      if (c < 0x20 || c > 0x7E || c == '<' || c == '&') return 0;
      ++p;
    }
    if (p >= to) return 0;
    const std::size_t valueEnd = p++;
    // A repeated name is an error for expat to report.
    for (std::size_t i = 0; i < quickOffsets_.size(); i += 2) {
      const char* seen = quickText_.data() + quickOffsets_[i];
      if (std::strlen(seen) == nameEnd - nameBegin &&
          std::memcmp(seen, data + nameBegin, nameEnd - nameBegin) == 0) {
        return 0;
      }
    }
    quickOffsets_.push_back(quickText_.size());
    quickText_.append(data + nameBegin, nameEnd - nameBegin).push_back('\0');
    quickOffsets_.push_back(quickText_.size());
    quickText_.append(data + valueBegin, valueEnd - valueBegin).push_back('\0');
  }
  quickAttributes_.clear();
  for (std::size_t offset : quickOffsets_) quickAttributes_.push_back(quickText_.data() + offset);
  quickAttributes_.push_back(nullptr);
  return p;
}

bool SAXHandler::feedMarkup(const char* data, std::size_t from, std::size_t to) {
  if (quickElement.empty() || !bulkTextAllowed_ || !quickAllowed_) return parseMarkup(data + from, to - from);
  std::size_t pending = from;  // not given to expat yet
  std::size_t search = from;
  bool afterQuick = false;  // pending follows a quick empty element taken
  while (true) {
    const std::size_t at = bulk_text::findOpener(data, search, to, quickElement);
    if (at >= to || quickAllowed_ == false) break;
    bool empty = false;
    const std::size_t end = readQuickTag(data, at, to, empty);
    if (end == 0) {
      search = at + 1;
      continue;
    }
    // What lies before the element: white space after a quick element goes
    // to the reader as expat would give it; anything else to expat itself.
    bool spaces = afterQuick;
    for (std::size_t i = pending; i < at && spaces; ++i)
      spaces = data[i] == ' ' || data[i] == '\t' || data[i] == '\n';
    if (spaces) {
      if (at > pending) {
        skippedLineBreaks_ += bulk_text::lineBreaks(data, pending, at);
        if (!deliverText(data + pending, at - pending)) return false;
      }
    } else if (!parseMarkup(data + pending, at - pending)) {
      return false;
    }
    pending = at;
    search = at + 1;
    afterQuick = false;
    // Only where expat has read every byte it was given as events, inside the
    // root element and not in a CDATA section, is the tag a start tag.
    if (depth_ < 1 || lastEventEnd_ != fedBytes_ || inCdata_ || !quickAllowed_) continue;
    skippedLineBreaks_ += bulk_text::lineBreaks(data, at, end);
    ++quickElements;
    if (empty) {
      if (!deliverQuickElement()) return false;
      afterQuick = true;
    } else {
      // expat gets the bare start tag and keeps the nesting; the reader, the attributes.
      const std::string bare = "<" + quickElement + ">";
      substituteAttributes_ = quickAttributes_.data();
      const bool parsed = parseMarkup(bare.data(), bare.size());
      substituteAttributes_ = nullptr;
      if (!parsed) return false;
    }
    pending = search = end;
  }
  return parseMarkup(data + pending, to - pending);
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
  return XML_Parse(parser, data, static_cast<int>(size), 0) != XML_STATUS_ERROR;
}

std::size_t SAXHandler::feed(const char* data, std::size_t size, bool last) {
  std::size_t at = 0;
  while (at < size) {
    if (inBulkText_) {
      // The element's text up to the next "<" (or anything else that is not
      // base64 or white space, which expat then takes on from).
      std::size_t end = bulk_text::textEnd(data, at, size);
      if (end == size && !last && end > at && data[end - 1] == '\r') --end;  // it may begin a CR LF
      if (end > at) {
        skippedLineBreaks_ += bulk_text::lineBreaks(data, at, end);
        bulkTextBytes += end - at;
        const bool delivered = std::memchr(data + at, '\r', end - at) == nullptr
                                   ? deliverText(data + at, end - at)
                                   : deliverText(bulk_text::normalisedLineEnds(data, at, end));
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
      if (opener == size) return feedMarkup(data, at, size) ? 0 : kStopped;
      const std::size_t end = bulk_text::tagEnd(data, opener, size);
      if (end == 0) {
        // The tag goes on past this read: it waits for the next one, unless it is too long to look for.
        if (last || size - opener > kLongestBulkTag) return feedMarkup(data, at, size) ? 0 : kStopped;
        if (!feedMarkup(data, at, opener)) return kStopped;
        return size - opener;
      }
      // A short text is left to expat: a call of its own would cost more.
      const std::size_t textStop = bulk_text::textEnd(data, end, size);
      if (textStop < size && textStop - end < kShortestBulkText) {
        search = textStop;
        continue;
      }
      if (!feedMarkup(data, at, end)) return kStopped;
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
    if (feed(buffer.data(), size, true) == kStopped) break;
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
