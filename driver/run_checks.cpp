#include "driver/run_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "compounds/adduct_table.h"
#include "import/run_folder.h"
#include "store/file_handle.h"

namespace {

// True when strtod reads the whole token, trailing white space aside (a target
// file written on Windows ends its lines with a carriage return).
bool readsAsNumber(const std::string& token, double& value) {
  char* end = nullptr;
  value = std::strtod(token.c_str(), &end);
  if (end == token.c_str()) return false;
  while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end))) ++end;
  return *end == '\0';
}

std::string readAs(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Warnings for the tokens of a target list that are not numbers, at most five
// named, then a count of the rest.
void warnTokens(const std::string& source, const std::string& list, std::vector<std::string>& warnings) {
  std::vector<std::string> tokens;
  fileHandle::Tokenize(list, tokens, ",\n");
  std::size_t bad = 0;
  for (const std::string& token : tokens) {
    double value = 0;
    if (readsAsNumber(token, value)) continue;
    if (++bad <= 5) {
      std::string hint;
      if (token.find_first_of(";\t ") != std::string::npos && value != 0)
        hint = "; separate masses with commas";
      warnings.push_back(source + ": '" + token + "' is not a number: read as the mass " + readAs(value) +
                         hint);
    }
  }
  if (bad > 5)
    warnings.push_back(source + ": " + std::to_string(bad - 5) + " more values that are not numbers");
}

// Warnings for a target file: a header line, and values that are not numbers.
// A file that cannot be opened is reported by the run itself.
void warnTargetFile(const std::string& path, std::vector<std::string>& warnings) {
  std::ifstream in(path);
  if (!in.is_open()) return;
  std::string joined;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      std::vector<std::string> fields;
      fileHandle::Tokenize(line, fields, ",\t ;");
      for (const std::string& field : fields) {
        double value = 0;
        if (!readsAsNumber(field, value)) {
          warnings.push_back("target file '" + path + "' looks like a table: its first line '" + line +
                             "' is a header, and every field of every line is read as a mass");
          break;
        }
      }
      first = false;
    }
    joined += line + ",";
  }
  warnTokens("-P " + path, joined, warnings);
}

std::string parentFolder(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The same file: equal device and inode when both exist, else the same
// absolute path once the folder part is resolved.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  const auto resolved = [](const std::string& path) {
    char* folder = realpath(parentFolder(path).c_str(), nullptr);
    if (folder == nullptr) return path;
    const std::string::size_type slash = path.rfind('/');
    std::string full =
        std::string(folder) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    std::free(folder);
    return full;
  };
  return resolved(a) == resolved(b);
}

// True when `input` is a folder and the import would read a file at `path` as one of its runs.
bool readAsRunOfFolder(const std::string& path, const std::string& input) {
  struct stat info;
  if (stat(input.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  const std::string::size_type slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return isRunName(name) && sameFile(parentFolder(path), input);
}

// Why a report cannot be created at `path`, or empty.
std::string unwritable(const std::string& path) {
  struct stat info;
  const std::string folder = parentFolder(path);
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return "it is a folder";
    if (access(path.c_str(), W_OK) != 0) return "the file cannot be written";
    // A report replaces a file only once complete, from a new file beside it.
    if (S_ISREG(info.st_mode) && access(folder.c_str(), W_OK | X_OK) != 0)
      return "its folder '" + folder + "' cannot be written";
    return "";
  }
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return "its folder '" + folder + "' does not exist";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return "its folder '" + folder + "' cannot be written";
  return "";
}

struct Report {
  const char* option;
  std::string path;
};

}  // namespace

std::vector<std::string> optionWarnings(const Options& options) {
  std::vector<std::string> warnings = options.partlyReadValues;
  if (options.hasPeakList) warnTokens("-p", options.peakList, warnings);
  if (options.hasPeakFile) warnTargetFile(options.peakFile, warnings);
  for (const std::string& word : options.extraArguments) {
    warnings.push_back("extra argument '" + word + "' ignored (every value needs its option letter)");
  }
  if (options.srm && (options.deisotope || options.removeWaterLoss)) {
    warnings.push_back("-d and -l work on full-scan data only and are ignored with -S");
  }
  if (options.traceSeeds && (options.hasPeakList || options.hasPeakFile)) {
    warnings.push_back("--seeds traces applies to untargeted runs only and is ignored with -p or -P");
  }
  if (!options.hasSummary && !options.hasTransitionReport && !options.hasMap && !options.hasQuantOut &&
      !options.hasFeatures) {
    warnings.push_back("no report requested (-s, -o or -m): the run writes no file");
  }
  if (options.resolver && !options.hasFeatures) {
    warnings.push_back("--detect resolver writes its features with --features FILE, which is not given");
  }
  if (options.hasFeatures && !options.resolver) {
    warnings.push_back("--features is written by --detect resolver only and is ignored without it");
  }
  if (options.fillGaps && (!options.resolver || !options.hasTargetFile)) {
    warnings.push_back(
        "--fill-gaps measures the --targets windows of --detect resolver and is ignored without both");
  }
  if (options.compounds && !options.resolver) {
    warnings.push_back(
        "--compounds, --adducts, --export and --feature-spectra group the features of --detect resolver "
        "only and "
        "are ignored without it");
  }
  if (options.compounds && options.resolver && options.msLevel > 0) {
    warnings.push_back("--ms-level " + std::to_string(options.msLevel) +
                       " drops the spectra of other levels at import: MS2 spectra are linked only when every "
                       "level is kept (the resolver takes MS1 spectra by itself)");
  }
  return warnings;
}

std::string reportRefusal(const Options& options) {
  std::vector<Report> reports;
  if (options.hasTransitionReport) reports.push_back({"-o", options.transitionReport});
  if (options.hasMap) reports.push_back({"-m", options.map});
  if (options.hasSummary) reports.push_back({"-s", options.summary});
  if (options.hasQuantOut) reports.push_back({"--quant-out", options.quantOut});
  if (options.hasQuantTraces) reports.push_back({"--quant-traces", options.quantTraces});
  if (options.hasFeatures && options.resolver) reports.push_back({"--features", options.features});
  if (options.hasFeatureSpectra && options.resolver)
    reports.push_back({"--feature-spectra", options.featureSpectra});
  for (std::size_t r = 0; r < reports.size(); ++r) {
    const Report& report = reports[r];
    if (options.hasInput && sameFile(report.path, options.input)) {
      return std::string(report.option) + " " + report.path + ": the report would overwrite the input file";
    }
    if (options.hasInput && readAsRunOfFolder(report.path, options.input)) {
      return std::string(report.option) + " " + report.path +
             ": the report would overwrite a run of the input folder, or be read as one";
    }
    if (options.hasPeakFile && sameFile(report.path, options.peakFile)) {
      return std::string(report.option) + " " + report.path + ": the report would overwrite the target file";
    }
    if (options.hasTargetFile && sameFile(report.path, options.targetFile)) {
      return std::string(report.option) + " " + report.path +
             ": the report would overwrite the --targets file";
    }
    if (options.hasQuantTargets && sameFile(report.path, options.quantTargets)) {
      return std::string(report.option) + " " + report.path + ": the report would overwrite the --quant file";
    }
    for (std::size_t other = 0; other < r; ++other) {
      if (sameFile(report.path, reports[other].path)) {
        return std::string(report.option) + " " + report.path + ": the same file as the " +
               reports[other].option + " report; each report needs its own file";
      }
    }
    const std::string why = unwritable(report.path);
    if (!why.empty())
      return std::string(report.option) + " " + report.path + ": cannot write the report: " + why;
  }
  if (options.resolver && !options.exportDir.empty()) {
    struct stat info;
    const std::string& folder = options.exportDir;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
      return "--export " + folder + ": not a folder; create it first";
    if (access(folder.c_str(), W_OK | X_OK) != 0)
      return "--export " + folder + ": the folder cannot be written";
  }
  if (options.resolver && !options.adducts.empty()) {
    try {
      readAdductFile(options.adducts);
    } catch (const std::exception& error) {
      return std::string("--adducts ") + error.what();
    }
  }
  return "";
}
