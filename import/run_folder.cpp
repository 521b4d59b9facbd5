// The runs of an input folder.
#include "import/run_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace {

// Names ending in .mzML, .mzML.gz or .mzXML.gz, in any case.
bool hasSpectrumSuffix(const std::string& name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* suffix : {".mzml", ".mzml.gz", ".mzxml.gz"}) {
    const std::size_t length = std::char_traits<char>::length(suffix);
    if (lower.size() >= length && lower.compare(lower.size() - length, length, suffix) == 0) return true;
  }
  return false;
}

// Why an entry is no run to open, or "" for a regular file (links followed).
std::string notARegularFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return "it cannot be examined (a dangling link?)";
  if (S_ISREG(info.st_mode)) return "";
  if (S_ISDIR(info.st_mode)) return "it is a folder";
  if (S_ISFIFO(info.st_mode)) return "it is a FIFO";
  if (S_ISSOCK(info.st_mode)) return "it is a socket";
  return "it is a device";
}

}  // namespace

bool isRunName(const std::string& entryName) {
  return entryName.find(".mzXML") != std::string::npos || entryName.find("xml") != std::string::npos ||
         hasSpectrumSuffix(entryName);
}

bool listRunFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& runs,
                  std::vector<std::string>& skipped) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !isRunName(name)) continue;
    names.push_back(name);
  }
  closedir(listing);
  // std::string compares its characters as unsigned bytes.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = prefix + name;
    const std::string why = notARegularFile(folder + "/" + name);
    if (why.empty()) {
      runs.push_back(path);
    } else {
      skipped.push_back(path + ": not read: " + why);
    }
  }
  return true;
}
