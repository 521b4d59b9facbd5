// The root element of a spectrum file, for the choice of its reader.
#include "input/document_root.h"

#include <cstring>
#include <vector>

#include "input/input_file.h"

namespace {

constexpr std::size_t kLookAhead = std::size_t(1) << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Position just after `terminator` at or after `from`, or npos.
std::size_t after(const std::string& text, std::size_t from, const char* terminator) {
  const std::size_t at = text.find(terminator, from);
  return at == std::string::npos ? at : at + std::strlen(terminator);
}

// Skips a document type declaration, internal subset included.
std::size_t afterDoctype(const std::string& text, std::size_t from) {
  int brackets = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '[') ++brackets;
    if (text[i] == ']' && brackets > 0) --brackets;
    if (text[i] == '>' && brackets == 0) return i + 1;
  }
  return std::string::npos;
}

std::string rootOf(const std::string& text) {
  std::size_t i = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i != std::string::npos && i < text.size()) {
    if (isSpace(text[i])) {
      ++i;
    } else if (text.compare(i, 2, "<?") == 0) {
      i = after(text, i, "?>");
    } else if (text.compare(i, 4, "<!--") == 0) {
      i = after(text, i + 4, "-->");
    } else if (text.compare(i, 2, "<!") == 0) {
      i = afterDoctype(text, i);
    } else if (text[i] == '<') {
      std::size_t end = i + 1;
      while (end < text.size() && !isSpace(text[end]) && text[end] != '>' && text[end] != '/') ++end;
      // A name that reaches the end of what was read may go on further.
      if (end == text.size()) return "";
      return text.substr(i + 1, end - i - 1);
    } else {
      return "";
    }
  }
  return "";
}

}  // namespace

DocumentStart readDocumentStart(const std::string& path) {
  DocumentStart start;
  InputFile file;
  if (!file.open(path)) return start;
  start.opened = true;
  std::string text;
  std::vector<char> buffer(65536);
  while (text.size() < kLookAhead && start.root.empty()) {
    const long count = file.read(buffer.data(), buffer.size());
    if (count <= 0) break;
    text.append(buffer.data(), static_cast<std::size_t>(count));
    start.root = rootOf(text);
  }
  start.compressed = file.compressed();
  start.damaged = file.damaged();
  return start;
}

bool isMzmlRoot(const std::string& root) { return root == "mzML" || root == "indexedmzML"; }
