// parse_only: torva's reader alone, the benchmark's "read s" column. Streams each named mzXML, mzML or
// mzData file (plain or gzip-compressed) through the loader's format test and XML reader
// into a list of spectra, decoding every peak array, and does nothing else. Prints the number of spectra and
// peaks read to standard error; the status is 2 when a file could not be read or an array was cut.

#include <cstdio>
#include <string>
#include <vector>

#include "input/document_root.h"
#include "input/loaders.h"
#include "records/records.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: parse_only <run.mzXML|run.mzML|run.mzData> [more files]\n", stderr);
    return 1;
  }
  std::vector<scan> spectra;
  Header header;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::string path = argv[i];
    const std::string root = readDocumentStart(path).root;
    if (isMzmlRoot(root)) {
      std::vector<SrmChromatogram> chromatograms;
      loadmzml loader(spectra, header, chromatograms);
      if (!loader.open(path) || !loader.get() || loader.handler.jobSide.arraysCut) status = 2;
      continue;
    }
    if (root == "mzData") {
      loadmzdata loader(spectra, header);
      if (!loader.open(path)) {
        std::fprintf(stderr, "parse_only: %s is not a readable mzData file\n", argv[i]);
        status = 2;
        continue;
      }
      loader.get();
      if (loader.handler.parseFailed || loader.handler.jobSide.arraysCut) status = 2;
      continue;
    }
    loadmzxml loader(spectra, header);
    if (!loader.open(path)) {
      std::fprintf(stderr, "parse_only: %s is not a readable mzXML file\n", argv[i]);
      status = 2;
      continue;
    }
    if (!loader.get() || loader.handler.jobSide.arraysCut) status = 2;
  }
  std::size_t peaks = 0;
  for (const scan& spectrum : spectra) peaks += spectrum.peaks.size();
  std::fprintf(stderr, "parse_only: %zu spectra, %zu peaks\n", spectra.size(), peaks);
  return status;
}
