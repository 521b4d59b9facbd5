// libFuzzer target: arbitrary bytes through the whole import of one file, then
// through every processing step and report; and through the base64 and
// peak-array decoders.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input/base64.h"
#include "util/console.h"
#include "input/spectra_handler.h"
#include "processing/filterer.h"
#include "run/file_handle.h"

namespace {

std::string scratchPath;

void ignoreTermination(int) {}

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
  handler.pushPeaks((data[2] & 1) != 0 || (data[2] & 2) == 0, (data[2] & 2) != 0 || (data[2] & 1) == 0);
  handler.pushSpectrum();

  std::vector<char> dest(64);
  std::string text(reinterpret_cast<const char*>(data), size);
  b64_decode_mio(dest.data(), text.data(), dest.size());
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
  run.exportSum("/dev/null", 0.5f, static_cast<float>(processor.massTolerance), static_cast<float>(processor.cutoff));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  console::setTerminateHandler(ignoreTermination);
  scratchPath = "/tmp/torva-fuzz-" + std::to_string(getpid()) + ".mzXML";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(scratchPath.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  fileHandle run;
  run.importFile(scratchPath.c_str(), 1);
  fuzzProcessing(run, choice);
  fileHandle srm;
  srm.SRM = true;
  srm.importFile(scratchPath.c_str(), 0);
  fuzzProcessing(srm, static_cast<std::uint8_t>(choice >> 1));

  fuzzDecoders(data, size);
  return 0;
}
