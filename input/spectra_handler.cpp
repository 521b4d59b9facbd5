#include "input/spectra_handler.h"

SAXSpectraHandler::SAXSpectraHandler(std::vector<scan>& spectraOut, Header& headerOut)
    : spectra(spectraOut), header(headerOut) {}
void SAXSpectraHandler::pushPeaks(bool, bool) {}
void SAXSpectraHandler::decode32(bool, bool) {}
void SAXSpectraHandler::decode64(bool, bool) {}
void SAXSpectraHandler::pushSpectrum() {}
void SAXSpectraHandler::setDescription() {}
void SAXSpectraHandler::writeHeader() {}
std::uint32_t SAXSpectraHandler::dtohl(std::uint32_t value, bool) { return value; }
std::uint64_t SAXSpectraHandler::dtohl(std::uint64_t value, bool) { return value; }
