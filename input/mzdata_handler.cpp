#include "input/mzdata_handler.h"

SAXMzdataHandler::SAXMzdataHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : SAXSpectraHandler(spectraOut, headerOut) {}
SAXMzdataHandler::~SAXMzdataHandler() = default;
void SAXMzdataHandler::startElement(const char*, const char**) {}
void SAXMzdataHandler::endElement(const char*) {}
void SAXMzdataHandler::characters(const char*, int) {}
void SAXMzdataHandler::startPeakListBinary(const char**) {}
void SAXMzdataHandler::processData() {}
