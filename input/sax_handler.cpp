#include "input/sax_handler.h"

SAXHandler::SAXHandler() : parser(XML_ParserCreate(nullptr)) {}
SAXHandler::~SAXHandler() { XML_ParserFree(parser); }
void SAXHandler::startElement(const char*, const char**) {}
void SAXHandler::endElement(const char*) {}
void SAXHandler::characters(const char*, int) {}
bool SAXHandler::parse() { return false; }
const char* SAXHandler::getAttrValue(const char*, const char**) { return ""; }
