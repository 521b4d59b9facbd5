// The expat event framework under the spectrum readers.
#include "input/sax_handler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

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
  deliver(userData, [&](SAXHandler& handler) { handler.startElement(name, attributes); });
}

void endElementCallback(void* userData, const XML_Char* name) {
  deliver(userData, [&](SAXHandler& handler) { handler.endElement(name); });
}

void charactersCallback(void* userData, const XML_Char* text, int len) {
  deliver(userData, [&](SAXHandler& handler) { handler.characters(text, len); });
}

constexpr std::size_t kChunk = 8192;
constexpr std::size_t kLargestBatch = std::size_t(64) << 20;

}  // namespace

SAXHandler::SAXHandler() : parser(XML_ParserCreate(nullptr)) {
  if (parser == nullptr) throw std::bad_alloc();
  // expat's protection against entity-expansion attacks stays at its defaults.
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, startElementCallback, endElementCallback);
  XML_SetCharacterDataHandler(parser, charactersCallback);
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
  // Each batch is read straight into expat's own buffer, which saves
  // copying every byte of the document once more.
  std::size_t batchSize = kChunk;
  bool wellFormed = false;
  while (true) {
    char* target = static_cast<char*>(XML_GetBuffer(parser, static_cast<int>(batchSize)));
    if (target == nullptr) break;  // no memory for it: reported as a parsing error below
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
    if (!ended) {
      const std::uint64_t before = eventsDelivered;
      if (XML_ParseBuffer(parser, static_cast<int>(filled), 0) == XML_STATUS_ERROR) break;
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
    if (filled > 0 && XML_ParseBuffer(parser, static_cast<int>(filled), 0) == XML_STATUS_ERROR) break;
    wellFormed = XML_ParseBuffer(parser, 0, 1) != XML_STATUS_ERROR;
    break;
  }
  finishJobs();
  if (pendingError) {
    parseFailed = true;
    std::rethrow_exception(pendingError);
  }
  if (wellFormed) return !parseFailed;

  const int code = static_cast<int>(XML_GetErrorCode(parser));
  const unsigned long line = static_cast<unsigned long>(XML_GetCurrentLineNumber(parser));
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
