// Spectrum loaders: the line-based format test and the full parse.
#include "input/loaders.h"

#include "util/console.h"

namespace {

// A line that is a comment, document type or processing instruction.
bool isMarkupDeclaration(const std::string& line) {
  return line.find("<!") != std::string::npos || line.find("<?") != std::string::npos;
}

// The format test shared by both loaders: the first line holds the XML
// declaration, and the first line after it that is not a declaration or
// comment passes `isRoot`. Prints "Not xml" for every line that fails.
template <typename RootTest>
bool looksLikeDocument(std::ifstream& stream, std::string& line, RootTest isRoot) {
  std::getline(stream, line);
  if (line.find("<?xml") == std::string::npos) {
    console::outFlush("Not xml\n");
    return false;
  }
  while (true) {
    // At the end of the file the line read is empty and fails the root test.
    if (!std::getline(stream, line)) line.clear();
    if (isMarkupDeclaration(line)) {
      console::outFlush("Not xml\n");
      continue;
    }
    if (isRoot(line)) return true;
    console::outFlush("Not xml\n");
    return false;
  }
}

// Opens the file and closes it again; true when it can be read.
bool canOpen(std::ifstream& stream, const std::string& path) {
  stream.open(path);
  const bool ok = stream.is_open();
  stream.close();
  return ok;
}

}  // namespace

loadmspectrum::~loadmspectrum() = default;
bool loadmspectrum::get(scan&) { return true; }
bool loadmspectrum::open(std::string&) { return true; }
bool loadmspectrum::open_force(std::string&) { return true; }

loadmzxml::loadmzxml(std::vector<scan>& spectra, Header& header) : handler(spectra, header) {}
loadmzxml::~loadmzxml() = default;

bool loadmzxml::get() { return handler.parse(); }

bool loadmzxml::open(std::string& filePath) {
  console::out("Opening: " + filePath + "...");
  opened = true;
  path = filePath;
  stream.open(path);
  if (!stream.is_open()) {
    console::outFlush("Doesn't open.\n");
    return false;
  }
  const bool good = looksLikeDocument(stream, line, [](const std::string& text) {
    return text.compare(0, 6, "<mzXML") == 0;
  });
  stream.close();
  if (!good) return false;
  console::outFlush("Good XML file!\n");
  handler.inputFile = path;
  return true;
}

bool loadmzxml::open_force(std::string& filePath) {
  opened = true;
  path = filePath;
  if (!canOpen(stream, path)) return false;
  handler.inputFile = path;
  return true;
}

loadmzdata::loadmzdata(std::vector<scan>& spectra, Header& header) : handler(spectra, header) {}
loadmzdata::~loadmzdata() = default;

bool loadmzdata::get() {
  // Errors inside the document are reported by the handler; the loader
  // answers true regardless.
  handler.parse();
  return true;
}

bool loadmzdata::open(std::string& filePath) {
  console::out("Opening: " + filePath + "...");
  opened = true;
  path = filePath;
  stream.open(path);
  if (!stream.is_open()) {
    console::outFlush("Doesn't open\n");
    return false;
  }
  const bool good = looksLikeDocument(stream, line, [](const std::string& text) {
    return text.find("<mzData") != std::string::npos;
  });
  stream.close();
  if (!good) return false;
  console::outFlush("Good XML file!\n");
  handler.inputFile = path;
  return true;
}

bool loadmzdata::open_force(std::string& filePath) {
  opened = true;
  path = filePath;
  if (!canOpen(stream, path)) return false;
  handler.inputFile = path;
  return true;
}
