// The expat event framework under the spectrum readers.
#include "input/sax_handler.h"

#include <cstdio>
#include <cstring>

#include "input/console.h"

namespace {

void startElementCallback(void* userData, const XML_Char* name, const XML_Char** attributes) {
  static_cast<SAXHandler*>(userData)->startElement(name, attributes);
}

void endElementCallback(void* userData, const XML_Char* name) {
  static_cast<SAXHandler*>(userData)->endElement(name);
}

void charactersCallback(void* userData, const XML_Char* text, int len) {
  static_cast<SAXHandler*>(userData)->characters(text, len);
}

}  // namespace

SAXHandler::SAXHandler() : parser(XML_ParserCreate(nullptr)) {
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
  std::FILE* file = std::fopen(inputFile.c_str(), "r");
  if (file == nullptr) {
    console::err("Failed to open input file '" + inputFile + "'.\n");
    parseFailed = true;
    return false;
  }

  // The document is streamed through one fixed buffer; events reach the
  // handler as each chunk is parsed.
  char buffer[8192];
  while (true) {
    const std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
    if (count > 0) {
      if (XML_Parse(parser, buffer, static_cast<int>(count), 0) == XML_STATUS_ERROR) break;
      continue;
    }
    if (XML_Parse(parser, buffer, 0, 1) != XML_STATUS_ERROR) {
      std::fclose(file);
      return true;
    }
    break;
  }

  std::fclose(file);
  const int code = static_cast<int>(XML_GetErrorCode(parser));
  const unsigned long line = static_cast<unsigned long>(XML_GetCurrentLineNumber(parser));
  const bool syntax = code == XML_ERROR_SYNTAX || code == XML_ERROR_INVALID_TOKEN ||
                      code == XML_ERROR_UNCLOSED_TOKEN;
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
