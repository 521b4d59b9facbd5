#ifndef TORVA_TOOLS_MZXML_WRITER_H
#define TORVA_TOOLS_MZXML_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/output_file.h"
#include "tools/sim_model.h"

// Writes an mzXML 3.1 document: the XML declaration on the first line, the
// root element on the second, scans (MS2 scans nested in their MS1 scan),
// big-endian base64 peak arrays of 32- or 64-bit values, optionally zlib
// compressed, and the scan index with byte offsets.
class MzxmlWriter {
 public:
  MzxmlWriter(int precision, bool zlib) : precision_(precision), zlib_(zlib) {}
  MzxmlWriter(const MzxmlWriter&) = delete;
  MzxmlWriter& operator=(const MzxmlWriter&) = delete;

  bool open(const std::string& path);
  void writeHead(long scanCount, double startTime, double endTime, const std::string& analyzer);
  // Writes the scan's start tag and peaks; nested scans follow before closeScan.
  void openScan(const SimSpectrum& spectrum, int depth);
  void closeScan(int depth);
  // Writes the index and closes the file; false if anything failed to write.
  bool finish();

 private:
  void put(const std::string& text) { out_.put(text); }
  std::string encodePeaks(const std::vector<SimPeak>& peaks, std::size_t* compressedLength) const;

  int precision_;
  bool zlib_;
  OutputFile out_;
  std::vector<std::pair<long, std::uint64_t>> index_;
};

// zlib stream (compress2, default level) of `bytes`.
std::string deflate(const std::string& bytes);

// Standard base64 (RFC 4648 alphabet, padded), no line breaks.
std::string base64Encode(const std::string& bytes);

#endif
