// The expat event framework under the spectrum readers.
#include "input/sax_handler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "input/input_file.h"
#include "util/console.h"

namespace {

// Runs one event operation; an exception is kept and the parser stopped.
template <typename Event>
void deliver(void* userData, Event event) {
  SAXHandler* handler = static_cast<SAXHandler*>(userData);
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
  char buffer[kChunk];
  std::vector<char> batch;
  std::size_t batchSize = kChunk;
  bool wellFormed = false;
  while (true) {
    const long count = file.read(buffer, sizeof buffer);
    if (count > 0) {
      batch.insert(batch.end(), buffer, buffer + count);
      if (batch.size() < batchSize) continue;
      const std::uint64_t before = eventsDelivered;
      if (XML_Parse(parser, batch.data(), static_cast<int>(batch.size()), 0) == XML_STATUS_ERROR) break;
      batch.clear();
      batchSize = eventsDelivered == before ? std::min(2 * batchSize, kLargestBatch) : kChunk;
      continue;
    }
    // End of the data, or of what could be read of it.
    if (file.damaged()) {
      console::err(inputFile + ": " +
                   (file.compressed() ? "gzip data damaged or cut short (" : "read failed (") + file.error() +
                   "); reading stops here\n");
      parseFailed = true;
    }
    if (!batch.empty() &&
        XML_Parse(parser, batch.data(), static_cast<int>(batch.size()), 0) == XML_STATUS_ERROR) {
      break;
    }
    wellFormed = XML_Parse(parser, buffer, 0, 1) != XML_STATUS_ERROR;
    break;
  }
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
