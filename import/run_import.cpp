// Import of a spectrum file or folder, and the grouping of spectra into channels.
#include "import/run_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "import/run_folder.h"
#include "import/srm_spectra.h"
#include "import/target_list.h"
#include "input/document_root.h"
#include "input/input_file.h"
#include "input/loaders.h"
#include "util/console.h"

namespace {

double numberAt(const std::string& text, std::string::size_type from) {
  if (from >= text.size()) return 0;
  return std::strtod(text.c_str() + from, nullptr);
}

// "[L-H]": L from the characters after the opening bracket up to the first "-",
// H from the number right after that "-". Without a "-" both are 0.
void readRange(const std::string& token, double& low, double& high) {
  const std::string::size_type dash = token.find('-');
  if (dash == std::string::npos) {
    low = high = 0;
    return;
  }
  low = dash > 1 ? std::strtod(token.substr(1, dash - 1).c_str(), nullptr) : 0;
  high = numberAt(token, dash + 1);
}

// Reads the precursor m/z before the first "@" (or at the start of the token).
double readPrecursor(const std::string& token, std::string::size_type at) {
  if (at == std::string::npos) return numberAt(token, 0);
  return std::strtod(token.substr(0, at).c_str(), nullptr);
}

enum class ProbeResult { Text, Finnigan, Binary, Utf16, NestedGzip };

// Looks at the first 256 bytes (decompressed, for gzip data) for the
// signature of a Finnigan raw file or a NUL byte.
ProbeResult probeFile(const char* path) {
  InputFile file;
  if (!file.open(path)) return ProbeResult::Text;
  unsigned char bytes[256];
  std::size_t count = 0;
  while (count < sizeof bytes) {
    const long read = file.read(reinterpret_cast<char*>(bytes) + count, sizeof bytes - count);
    if (read <= 0) break;
    count += static_cast<std::size_t>(read);
  }
  const bool rawHeader = count >= 2 && bytes[0] == 0x01 && bytes[1] == 0xA1;
  const bool rawName = count >= 8 && bytes[3] == 0x46 && bytes[5] == 0x69 && bytes[7] == 0x6E;
  if (rawHeader || rawName) return ProbeResult::Finnigan;
  // UTF-16: a byte order mark, or '<' beside a NUL byte as ASCII characters are written.
  const bool byteOrderMark =
      count >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
  const bool wideAngle =
      count >= 2 && ((bytes[0] == '<' && bytes[1] == 0) || (bytes[0] == 0 && bytes[1] == '<'));
  if (byteOrderMark || wideAngle) return ProbeResult::Utf16;
  if (file.compressed() && count >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B) return ProbeResult::NestedGzip;
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] == 0) return ProbeResult::Binary;
  }
  return ProbeResult::Text;
}

// Name-based loader choice for callers that do not force mzXML.
bool nameSelectsMzxml(const std::string& path) {
  if (path.find("mzXML") != std::string::npos) return true;
  if (path.find("MZXML") != std::string::npos) return true;
  if (path.find("XML") != std::string::npos) return true;
  return path.find("xml") != std::string::npos && path.find("mzdata.xml") == std::string::npos;
}

// Why a file that no loader accepted could not be read.
std::string whyUnread(const DocumentStart& start) {
  if (!start.opened) return "it cannot be opened";
  if (start.damaged) return start.compressed ? "its gzip data is damaged" : "it cannot be read";
  if (start.root.empty()) return "it is not an XML document";
  return "its root element <" + start.root + "> is not mzXML or mzML";
}

}  // namespace

FilterKey filterKey(const std::string& filterLine, bool srm) {
  FilterKey result;
  TransitionKey& key = result.key;
  std::vector<std::string> tokens;
  tokenize(filterLine, tokens, " ");
  if (!srm) {
    if (tokens.size() < 7) return result;
    const std::string& precursor = tokens[5];
    const std::string::size_type at = precursor.find('@');
    key.precursorMz = readPrecursor(precursor, at);
    key.collisionEnergy = at == std::string::npos ? 0 : numberAt(precursor, at + 1);
    readRange(tokens[6], key.productLow, key.productHigh);
    return result;
  }

  if (tokens.size() >= 7) {
    // The last "ms2" or "SRM" marker that points at an existing token names the
    // precursor token; the token after it, when there is one, is the range.
    std::size_t precursorIndex = tokens.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (tokens[i] == "ms2" && i + 1 < tokens.size()) precursorIndex = i + 1;
      if (tokens[i] == "SRM" && i + 2 < tokens.size()) precursorIndex = i + 2;
    }
    if (precursorIndex < tokens.size()) {
      const std::string& precursor = tokens[precursorIndex];
      const std::string::size_type at = precursor.find('@');
      key.precursorMz = readPrecursor(precursor, at);
      if (at != std::string::npos) {
        const std::string::size_type cid = precursor.find("cid");
        if (cid != std::string::npos) {
          key.collisionEnergy = numberAt(precursor, cid + 3);
          result.echoesEnergy = true;
        } else {
          key.collisionEnergy = numberAt(precursor, at + 1);
        }
      }
      if (precursorIndex + 1 < tokens.size()) {
        readRange(tokens[precursorIndex + 1], key.productLow, key.productHigh);
      }
    }
  }
  return result;
}

TransitionKey transitionKey(const scan& spectrum, const FilterKey& parsed, bool srm) {
  TransitionKey key = parsed.key;
  if (parsed.echoesEnergy) console::outFlush(console::general(key.collisionEnergy) + "\n");
  if (!srm) return key;
  // Values the file states for the spectrum itself take precedence.
  if (spectrum.precursorMz != 0) key.precursorMz = spectrum.precursorMz;
  if (key.productLow == 0) key.productLow = spectrum.lowMz;
  if (key.productHigh == 0) key.productHigh = spectrum.highMz;
  return key;
}

TransitionKey transitionKey(const scan& spectrum, bool srm) {
  return transitionKey(spectrum, filterKey(spectrum.filterLine, srm), srm);
}

void RunImport::groupIntoChannels(RunData& run, std::size_t first) {
  std::vector<scan>& scans = run.scans;
  std::vector<channel>& channels = run.channels;
  // A run repeats a few filter lines many times over: each is read once, and
  // remembers the channel its last spectrum went to. No two channels have
  // keys that compare equal, so a remembered channel whose key equals the
  // spectrum's is the one the search would find.
  struct Known {
    FilterKey key;
    char polarity = '?';  // as the filter line states it
    std::size_t channel = static_cast<std::size_t>(-1);
  };
  std::unordered_map<std::string, Known> parsed;
  // Spectra of different polarity never share a channel, whatever their filter lines say.
  const auto matches = [](const channel& existing, const TransitionKey& key, char polarity) {
    return existing.precursorMz == key.precursorMz && existing.collisionEnergy == key.collisionEnergy &&
           existing.productLow == key.productLow && existing.productHigh == key.productHigh &&
           existing.polarity == polarity;
  };
  for (std::size_t s = first; s < scans.size(); ++s) {
    const std::string& filterLine = scans[s].filterLine;
    auto known = parsed.find(filterLine);
    if (known == parsed.end()) {
      known =
          parsed.emplace(filterLine, Known{filterKey(filterLine, run.SRM), filterLinePolarity(filterLine)})
              .first;
    }
    const TransitionKey key = transitionKey(scans[s], known->second.key, run.SRM);
    const char polarity = spectrumPolarity(scans[s], known->second.polarity);
    std::size_t& remembered = known->second.channel;
    bool found = remembered < channels.size() && matches(channels[remembered], key, polarity);
    for (std::size_t c = 0; c < channels.size() && !found; ++c) {
      if (matches(channels[c], key, polarity)) {
        remembered = c;
        found = true;
      }
    }
    if (found) {
      channels[remembered].scans.push_back(s);
    } else {
      remembered = channels.size();
      channel added;
      static_cast<TransitionKey&>(added) = key;
      added.polarity = polarity;
      added.scans.push_back(s);
      channels.push_back(std::move(added));
    }
  }
  console::outFlush("Transitions: " + std::to_string(channels.size()) + "\n");
  for (const channel& c : channels) {
    console::outFlush(console::general(c.precursorMz) + "@" + console::general(c.collisionEnergy) + " [" +
                      console::general(c.productLow) + "-" + console::general(c.productHigh) +
                      "] Scans:" + std::to_string(c.scans.size()) + "\n");
  }
}

int RunImport::importFile(RunData& run, const char* path, int forceMzXML) {
  std::vector<scan>& scans = run.scans;
  const ProbeResult probe = probeFile(path);
  if (probe != ProbeResult::Text) {
    console::out(std::string("\nFailed to read spectrum file: ") + path + "\n");
    if (probe == ProbeResult::Finnigan) {
      console::out(
          "Most likely cause: using a Finnigan raw spectrum.\nUse ASCII formatted XML files ONLY!\n\n");
    } else {
      console::out(
          "Most likely cause: using a binary spectrum file.\nUse ASCII formatted XML files ONLY!\n\n");
    }
    console::flush();
    std::string why = "it is a binary file, not XML";
    if (probe == ProbeResult::Utf16) {
      why = "it is UTF-16 text; convert it to UTF-8 first (iconv -f UTF-16 -t UTF-8)";
    } else if (probe == ProbeResult::NestedGzip) {
      why = "it is gzip data inside gzip data; decompress it once (gunzip) first";
    } else if (probe == ProbeResult::Finnigan) {
      why = "it is a Finnigan raw file, not XML; convert it to mzML or mzXML first";
    }
    unreadFiles.push_back(std::string(path) + ": no spectra read: " + why);
    return 0;
  }

  const std::size_t first = scans.size();
  std::string name(path);
  const DocumentStart start = readDocumentStart(name);
  bool accepted = false;
  if (isMzmlRoot(start.root)) {
    std::vector<SrmChromatogram> chromatograms;
    loadmzml loader(scans, header, chromatograms);
    accepted = loader.open(name);
    if (accepted && !loader.get()) inputFailed = true;
    if (loader.handler.jobSide.arraysCut) inputFailed = true;
    if (run.SRM) {
      appendSrmSpectra(chromatograms, name, loader.handler.usedIds, loader.handler.jobSide.pushCount, scans);
    } else if (!chromatograms.empty() && scans.size() == first) {
      console::err(name + " holds " + std::to_string(chromatograms.size()) +
                   " SRM chromatograms and no spectra; -S reads them\n");
    } else if (!chromatograms.empty()) {
      console::err("torva: warning: " + name + " also holds " + std::to_string(chromatograms.size()) +
                   " SRM chromatograms, which are not read without -S\n");
    }
    srmChromatogramsSeen += chromatograms.size();
  } else if (!(mzdataByRoot && start.root == "mzData") && (forceMzXML == 1 || nameSelectsMzxml(name))) {
    loadmzxml loader(scans, header);
    accepted = loader.open(name);
    if (accepted && !loader.get()) inputFailed = true;
    if (loader.handler.jobSide.arraysCut) inputFailed = true;
  } else {
    loadmzdata loader(scans, header);
    accepted = loader.open(name);
    if (accepted) {
      loader.get();
      if (loader.handler.parseFailed || loader.handler.jobSide.arraysCut) inputFailed = true;
    }
  }

  if (keptMsLevel > 0) {
    const std::size_t read = scans.size() - first;
    scans.erase(std::remove_if(scans.begin() + static_cast<std::ptrdiff_t>(first), scans.end(),
                               [this](const scan& s) { return s.msLevel != keptMsLevel; }),
                scans.end());
    if (read > 0 && scans.size() == first) {
      console::err("torva: warning: --ms-level " + std::to_string(keptMsLevel) + " keeps none of the " +
                   std::to_string(read) + " spectra of '" + name + "'\n");
    }
  }

  if (!accepted) unreadFiles.push_back(name + ": no spectra read: " + whyUnread(start));

  console::outFlush("Scans: " + std::to_string(scans.size()) + "\n");
  groupIntoChannels(run, first);
  return 1;
}

int RunImport::importFolder(RunData& run, const char* path, int forceMzXML) {
  struct stat info;
  if (stat(path, &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    const bool taken = importFile(run, path, forceMzXML) == 1;
    if (fileProgress) fileProgress(1, 1);
    if (taken) {
      reportUnreadInput(run);
    } else {
      for (const std::string& line : unreadFiles) console::err("torva: " + line + "\n");
    }
    return taken;
  }

  std::string prefix(path);
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  if (prefix == "./" || prefix == ".\\") prefix.clear();

  // A folder that cannot be listed is unreadable input, like a missing path.
  std::vector<std::string> names;
  std::vector<std::string> skipped;
  if (!listRunFiles(path, prefix, names, skipped)) return false;
  for (const std::string& line : skipped) console::err("torva: warning: " + line + "\n");
  for (std::size_t n = 0; n < names.size(); ++n) {
    importFile(run, names[n].c_str(), forceMzXML);
    if (fileProgress) fileProgress(n + 1, names.size());
  }
  if (names.empty()) {
    unreadFiles.push_back(std::string(path) +
                          ": no run in the folder (no regular file whose name contains .mzXML or xml, or "
                          "ends in .mzML, .mzML.gz or .mzXML.gz)");
  }
  reportUnreadInput(run);
  return true;
}

void RunImport::reportUnreadInput(const RunData& run) {
  // Spectra read from any file make the run; only an input of which nothing
  // could be read is a failure.
  if (!run.scans.empty() || unreadFiles.empty()) return;
  for (const std::string& line : unreadFiles) console::err(line + "\n");
  inputFailed = true;
}
