// libFuzzer target: arbitrary bytes through the whole import of one file (as
// they are, and gzip-compressed), then through every processing step and
// report; and through the base64, peak-array and mzML array decoders. The
// import chooses its reader by the root element, so mzXML, mzData and mzML
// inputs all reach their readers.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/base64.h"
#include "input/input_error.h"
#include "input/mzml_arrays.h"
#include "input/sax_handler.h"
#include "input/spectra_handler.h"
#include "processing/filterer.h"
#include "store/file_handle.h"
#include "util/console.h"

namespace {

std::string scratchPath;
std::string scratchGzPath;

void fuzzProcessing(fileHandle& run, std::uint8_t choice);

// The decoders on their own: the first bytes choose precision, byte order,
// compression and the declared count; the rest is the array's text.
void fuzzDecoders(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return;
  std::vector<scan> spectra;
  Header header;
  SAXSpectraHandler handler(spectra, header);
  handler.lowPrecision = (data[0] & 1) != 0;
  handler.littleEndian = (data[0] & 2) != 0;
  handler.zlibCompressed = (data[0] & 4) != 0;
  handler.peaksCount = static_cast<std::int32_t>(data[1]) << ((data[0] >> 3) & 15);
  if (data[0] & 128) handler.peaksCount = -handler.peaksCount;
  handler.text.assign(reinterpret_cast<const char*>(data + 2), size - 2);
  try {
    handler.pushPeaks((data[2] & 1) != 0 || (data[2] & 2) == 0, (data[2] & 2) != 0 || (data[2] & 1) == 0);
  } catch (const InputError&) {
    // A 64-bit array of the wrong length: the array holds nothing.
  }
  handler.pushSpectrum();

  std::vector<char> dest(64);
  std::string text(reinterpret_cast<const char*>(data), size);
  b64_decode_mio(dest.data(), text.data(), dest.size());

  // The mzML array decoder: the first byte picks the storage, the second a
  // declared length, the rest is the base64 text.
  BinaryArrayFormat format;
  const char* const accessions[] = {"MS:1000521", "MS:1000523", "MS:1000519", "MS:1000522",
                                    "MS:1002312", "MS:1002313", "MS:1002314", "MS:1002746"};
  format.apply(accessions[data[0] & 7]);
  if ((data[0] & 8) != 0) format.apply("MS:1000574");
  if ((data[0] & 16) != 0) format.apply(accessions[4 + ((data[0] >> 5) & 3)]);
  std::vector<double> values;
  std::string problem;
  decodeBinaryArray(text.substr(2), format, data[1] == 255 ? 2147483647u : data[1], values, problem);
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size, bool compress) {
  if (compress) {
    gzFile file = gzopen(path.c_str(), "wb1");
    if (file == nullptr) return;
    if (size > 0) gzwrite(file, data, static_cast<unsigned>(size));
    gzclose(file);
    return;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

// Every event of a parse as text, with the text between two tags joined
// (expat may hand it over in other pieces), and what the parse printed.
class EventRecorder : public SAXHandler, public console::Sink {
 public:
  std::string events;
  void startElement(const char* name, const char** attributes) override {
    events += "\n<";
    events += name;
    for (const char** a = attributes; *a != nullptr; a += 2)
      ((events += ' ') += a[0]) += '=' + std::string(a[1]);
    events += ">\n";
  }
  void endElement(const char* name) override { (events += "\n</") += std::string(name) + ">\n"; }
  void characters(const char* text, int len) override { events.append(text, static_cast<std::size_t>(len)); }
  void out(const std::string& text) override { events += text; }
  void flush() override {}
  void err(const std::string& text) override { events += text; }
};

// The events and messages of a parse with markup and array text read past
// expat, and with expat reading every byte: they must be the same.
void compareReadingPastExpat(const std::string& path, std::uint8_t choice) {
  std::string seen[2];
  for (int fast = 0; fast < 2; ++fast) {
    EventRecorder recorder;
    recorder.inputFile = path;
    if (fast == 1) {
      recorder.bulkTextElement = (choice & 128) != 0 ? "peaks" : "binary";
      recorder.quickMarkup = true;
    }
    console::Sink* previous = console::setSink(&recorder);
    const bool ok = recorder.parse();
    console::setSink(previous);
    seen[fast] = recorder.events + (ok ? "\nwell formed" : "\nnot well formed");
  }
  if (seen[0] != seen[1]) {
    std::fprintf(stderr, "reading past expat differs:\n--- expat\n%s\n--- past expat\n%s\n", seen[0].c_str(),
                 seen[1].c_str());
    std::abort();
  }
}

// Imports the file and runs everything on it; a file the readers stop on
// (a 64-bit array of the wrong length) ends that run, as it ends the program.
void importAndProcess(const std::string& path, bool srm, int forceMzXML, std::uint8_t choice) {
  fileHandle run;
  run.SRM = srm;
  try {
    run.importFile(path.c_str(), forceMzXML);
  } catch (const InputError&) {
    return;
  }
  fuzzProcessing(run, choice);
}

// Every step and report on an imported run, in the order of a full run; the
// last byte of the input picks the options.
void fuzzProcessing(fileHandle& run, std::uint8_t choice) {
  filterer processor;
  processor.cutoff = (choice & 1) != 0 ? 0 : 1000;
  processor.massTolerance = (choice & 2) != 0 ? 0.01 : 0.5;
  processor.timeTolerance = 0.5;
  processor.skipDenoise = (choice & 4) != 0 ? 1 : 0;
  const bool keepTraces = (choice & 8) != 0;
  if ((choice & 16) != 0) run.addPeaks("300.1,455.2,0,abc,1e300");
  if (!run.SRM) {
    processor.deIsotope(run);
    processor.removeH2O(run);
  }
  if (keepTraces) {
    processor.generateXIC(run);
    processor.processXIC(run);
  } else {
    processor.generateAndProcessXIC(run);
  }
  if (run.targetPeaks.empty()) processor.cullXIC(run);
  if (keepTraces) run.outputXIC("/dev/null");
  run.exportMap("/dev/null");
  run.exportSum("/dev/null", 0.5f, static_cast<float>(processor.massTolerance),
                static_cast<float>(processor.cutoff));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratchPath = "/tmp/torva-fuzz-" + std::to_string(getpid()) + ".mzXML";
  scratchGzPath = scratchPath + ".gz";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  writeFile(scratchPath, data, size, false);
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  importAndProcess(scratchPath, false, 1, choice);
  importAndProcess(scratchPath, true, 0, static_cast<std::uint8_t>(choice >> 1));
  compareReadingPastExpat(scratchPath, choice);
  // The same bytes gzip-compressed, as users' files often are.
  if ((choice & 32) != 0) {
    writeFile(scratchGzPath, data, size, true);
    importAndProcess(scratchGzPath, (choice & 64) != 0, 1, choice);
  }

  fuzzDecoders(data, size);
  return 0;
}
