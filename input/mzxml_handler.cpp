#include "input/mzxml_handler.h"

SAXMzxmlHandler::SAXMzxmlHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : SAXSpectraHandler(spectraOut, headerOut) {}
SAXMzxmlHandler::~SAXMzxmlHandler() = default;
void SAXMzxmlHandler::startElement(const char*, const char**) {}
void SAXMzxmlHandler::endElement(const char*) {}
void SAXMzxmlHandler::characters(const char*, int) {}
double parseRetentionTime(const char*) { return 0; }
