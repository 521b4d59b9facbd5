#include "store/file_handle.h"

#include "import/target_list.h"
#include "report/binned_map.h"
#include "report/summary_report.h"
#include "report/transition_report.h"

fileHandle::fileHandle() = default;
fileHandle::~fileHandle() = default;

void fileHandle::Tokenize(const std::string& text, std::vector<std::string>& tokens,
                          const std::string& delimiters) {
  tokenize(text, tokens, delimiters);
}

int fileHandle::addPeaks(std::string list) { return addTargetList(*this, std::move(list)); }

int fileHandle::importPeaks(const char* path) { return importTargetFile(*this, path); }

int fileHandle::importTargetWindows(const char* path, std::string& error) {
  return ::importTargetWindows(*this, path, error);
}

int fileHandle::importFile(const char* path, int forceMzXML) {
  return RunImport::importFile(*this, path, forceMzXML);
}

int fileHandle::importFolder(const char* path, int forceMzXML) {
  return RunImport::importFolder(*this, path, forceMzXML);
}

int fileHandle::outputXIC(const char* path) { return writeTransitionReport(*this, path) ? 1 : 0; }

bool fileHandle::exportMap(const char* path, const MapRange& range) { return writeMap(*this, path, range); }

bool fileHandle::exportSum(const char* path, float timeTolerance, float massTolerance, float cutoff,
                           double massPpm) {
  return writeSummaryReport(*this, path, timeTolerance, massTolerance, cutoff, massPpm);
}

fileHandle::TransitionKey fileHandle::transitionKey(const scan& spectrum) const {
  return ::transitionKey(spectrum, SRM);
}

fileHandle::FilterKey fileHandle::filterKey(const std::string& filterLine) const {
  return ::filterKey(filterLine, SRM);
}

fileHandle::TransitionKey fileHandle::transitionKey(const scan& spectrum, const FilterKey& parsed) const {
  return ::transitionKey(spectrum, parsed, SRM);
}
