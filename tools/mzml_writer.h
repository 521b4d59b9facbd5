#ifndef TORVA_TOOLS_MZML_WRITER_H
#define TORVA_TOOLS_MZML_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/output_file.h"
#include "tools/sim_model.h"

// How the simulator stores peak arrays in mzML.
struct MzmlArrays {
  int precision = 32;     // bits per stored value, 32 or 64
  bool zlib = false;      // zlib-compress every array
  bool numpress = false;  // m/z as Numpress linear, intensities as Numpress pic
};

// Writes an mzML 1.1 document with the same content as the simulator's mzXML:
// spectra in file order (MS1, then its MS2 spectra), or SRM runs as one
// selected-reaction-monitoring chromatogram per transition.
class MzmlWriter {
 public:
  explicit MzmlWriter(const MzmlArrays& arrays) : arrays_(arrays) {}
  MzmlWriter(const MzmlWriter&) = delete;
  MzmlWriter& operator=(const MzmlWriter&) = delete;

  bool open(const std::string& path);
  void writeHead(const std::string& analyzer);
  void beginSpectra(long count);
  void writeSpectrum(const SimSpectrum& spectrum);
  void endSpectra();
  // One chromatogram per transition: its SRM spectra's first peak over time.
  void writeSrmChromatograms(const std::vector<SimTransition>& transitions,
                             const std::vector<std::vector<SimSpectrum>>& spectraByTransition);
  // Closes the document and the file; false if anything failed to write.
  bool finish();

 private:
  void put(const std::string& text) { out_.put(text); }
  std::string binaryArray(const std::vector<double>& values, bool mz, bool time) const;

  MzmlArrays arrays_;
  OutputFile out_;
  long index_ = 0;
};

// Rounds each peak as Numpress stores it (m/z to the fixed point of the linear
// coder, intensities to integers), so that mzXML and mzML hold the same values.
void roundAsNumpress(std::vector<SimPeak>& peaks);

// Replaces the file by its gzip-compressed form; false on failure.
bool gzipInPlace(const std::string& path);

#endif
