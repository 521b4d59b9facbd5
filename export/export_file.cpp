#include "export/export_file.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "util/decimal_text.h"

bool writeExportFile(const std::string& path, const std::string& content, std::string& error) {
  const std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = path + ": cannot be written (" + std::strerror(errno) + "); check that its folder exists";
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = path + ": writing failed (" + std::strerror(written ? errno : writeErrno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = path + ": cannot be put in place (" + std::strerror(errno) + ")";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

void appendExportNumber(std::string& out, double value, int digits) {
  // Below 2^53 and to at most nine digits appendFixed rounds the exact binary value itself, as printf's %.*f
  // does, several times faster than to_chars. Otherwise to_chars, which prints the same; printf for what
  // does not fit (it cuts the text to the buffer).
  if (digits >= 0 && digits <= 9 && std::fabs(value) < 9007199254740992.0) {
    appendFixed(out, value, digits);
    return;
  }
  char text[64];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, digits);
  if (result.ec == std::errc()) {
    out.append(text, result.ptr);
    return;
  }
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  out += text;
}

std::size_t spectrumExportRoom(const ExportSet& set, const std::vector<std::string>* ms2Lines) {
  std::size_t room = 1024;
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    const ExportFeature& feature = set.features[f];
    if (feature.ms2.empty()) continue;
    room += 512 + 48 * feature.ms1Pattern.size();
    room += ms2Lines != nullptr ? (*ms2Lines)[f].size() : 48 * feature.ms2.front().peaks.size();
  }
  return room;
}

std::vector<std::string> ms2PeakLines(const ExportSet& set) {
  std::vector<std::string> lines(set.features.size());
  for (std::size_t f = 0; f < set.features.size(); ++f) {
    if (set.features[f].ms2.empty()) continue;
    for (const ExportPeak& peak : set.features[f].ms2.front().peaks)
      appendExportPeak(lines[f], peak.mz, peak.intensity);
  }
  return lines;
}

std::string exportNumber(double value, int digits) {
  std::string text;
  appendExportNumber(text, value, digits);
  return text;
}

void appendExportPeak(std::string& out, double mz, double intensity) {
  appendExportNumber(out, mz, 5);
  out += ' ';
  appendExportNumber(out, intensity, 1);
  out += '\n';
}
