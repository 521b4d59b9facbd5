// Spectrum loaders: the line-based format test and the full parse.
#include "input/loaders.h"

#include <cstring>

#include "input/document_root.h"
#include "input/input_file.h"
#include "util/console.h"

namespace {

// A line that is a comment, document type or processing instruction.
bool isMarkupDeclaration(const std::string& line) {
  return line.find("<!") != std::string::npos || line.find("<?") != std::string::npos;
}

// Lines of a (possibly compressed) file, as std::getline splits them.
class LineReader {
 public:
  explicit LineReader(InputFile& file) : file_(file) {}
  // The next line without its line feed; false at the end of the data.
  bool next(std::string& line) {
    line.clear();
    bool any = false;
    while (true) {
      if (position_ == size_) {
        const long count = file_.read(buffer_, sizeof buffer_);
        if (count <= 0) return any;
        position_ = 0;
        size_ = static_cast<std::size_t>(count);
      }
      any = true;
      const char* start = buffer_ + position_;
      const void* feed = std::memchr(start, '\n', size_ - position_);
      if (feed != nullptr) {
        const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
        line.append(start, length);
        position_ += length + 1;
        return true;
      }
      line.append(start, size_ - position_);
      position_ = size_;
    }
  }

 private:
  InputFile& file_;
  char buffer_[8192];
  std::size_t position_ = 0;
  std::size_t size_ = 0;
};

// The format test shared by the mzXML and mzData loaders: the first line holds
// the XML declaration, and the first line after it that is not a declaration
// or comment passes `isRoot`. Prints "Not xml" for every line that fails.
template <typename RootTest>
bool looksLikeDocument(InputFile& file, std::string& line, RootTest isRoot) {
  LineReader lines(file);
  lines.next(line);
  if (line.find("<?xml") == std::string::npos) {
    console::outFlush("Not xml\n");
    return false;
  }
  while (true) {
    // At the end of the file the line read is empty and fails the root test.
    if (!lines.next(line)) line.clear();
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
bool canOpen(const std::string& path) { return InputFile(path).isOpen(); }

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
  InputFile file(path);
  if (!file.isOpen()) {
    console::outFlush("Doesn't open.\n");
    return false;
  }
  const bool good = looksLikeDocument(
      file, line, [](const std::string& text) { return text.compare(0, 6, "<mzXML") == 0; });
  if (!good) return false;
  console::outFlush("Good XML file!\n");
  handler.inputFile = path;
  return true;
}

bool loadmzxml::open_force(std::string& filePath) {
  opened = true;
  path = filePath;
  if (!canOpen(path)) return false;
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
  InputFile file(path);
  if (!file.isOpen()) {
    console::outFlush("Doesn't open\n");
    return false;
  }
  const bool good = looksLikeDocument(
      file, line, [](const std::string& text) { return text.find("<mzData") != std::string::npos; });
  if (!good) return false;
  console::outFlush("Good XML file!\n");
  handler.inputFile = path;
  return true;
}

bool loadmzdata::open_force(std::string& filePath) {
  opened = true;
  path = filePath;
  if (!canOpen(path)) return false;
  handler.inputFile = path;
  return true;
}

loadmzml::loadmzml(std::vector<scan>& spectra, Header& header, std::vector<SrmChromatogram>& chromatograms)
    : handler(spectra, header, chromatograms) {}
loadmzml::~loadmzml() = default;

bool loadmzml::get() { return handler.parse(); }

bool loadmzml::open(std::string& filePath) {
  console::out("Opening: " + filePath + "...");
  opened = true;
  path = filePath;
  const DocumentStart start = readDocumentStart(path);
  if (!start.opened) {
    console::outFlush("Doesn't open.\n");
    return false;
  }
  if (!isMzmlRoot(start.root)) {
    console::outFlush("Not xml\n");
    return false;
  }
  console::outFlush("Good XML file!\n");
  handler.inputFile = path;
  return true;
}

bool loadmzml::open_force(std::string& filePath) {
  opened = true;
  path = filePath;
  if (!canOpen(path)) return false;
  handler.inputFile = path;
  return true;
}
