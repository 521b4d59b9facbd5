#include "input/loaders.h"

loadmspectrum::~loadmspectrum() = default;
bool loadmspectrum::get(scan&) { return true; }
bool loadmspectrum::open(std::string&) { return true; }
bool loadmspectrum::open_force(std::string&) { return true; }

loadmzxml::loadmzxml(std::vector<scan>& spectra, Header& header) : handler(spectra, header) {}
loadmzxml::~loadmzxml() = default;
bool loadmzxml::get() { return handler.parse(); }
bool loadmzxml::open(std::string&) { return false; }
bool loadmzxml::open_force(std::string&) { return false; }

loadmzdata::loadmzdata(std::vector<scan>& spectra, Header& header) : handler(spectra, header) {}
loadmzdata::~loadmzdata() = default;
bool loadmzdata::get() {
  handler.parse();
  return true;
}
bool loadmzdata::open(std::string&) { return false; }
bool loadmzdata::open_force(std::string&) { return false; }
