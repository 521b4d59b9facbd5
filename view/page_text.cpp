#include "view/page_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pagetext {

bool readLine(std::istream& in, std::string& line, bool* cut) {
  line.clear();
  bool truncated = false;
  bool any = false;
  char buffer[65536];
  while (true) {
    in.getline(buffer, sizeof buffer);
    const std::size_t count = static_cast<std::size_t>(in.gcount());
    const bool newline = !in.fail() && !in.eof();  // the '\n' was read (and counted)
    const bool full = in.fail() && !in.eof() && count + 1 == sizeof buffer;
    const std::size_t text = newline ? count - 1 : count;
    any = any || count > 0;
    const std::size_t room = kMaxLineBytes - line.size();
    if (text > room) truncated = true;
    line.append(buffer, std::min(text, room));
    if (full) {
      in.clear();  // the line goes on past the buffer
      continue;
    }
    if (newline) break;
    if (!any) return false;  // the end of the input
    break;
  }
  if (cut != nullptr) *cut = truncated;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      if (start < line.size()) fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  return fields;
}

namespace {

// True when text is -?digits[.digits][(e|E)[+-]digits], the JSON number grammar
// so that a field carried into the page as printed is valid there.
bool isDecimal(std::string_view text) {
  std::size_t i = 0;
  const auto digits = [&]() {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > from;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i + 1 < text.size() && text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9') return false;
  if (!digits()) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

}  // namespace

bool parseNumber(std::string_view text, double& value) {
  if (!isDecimal(text)) return false;
  const std::string copy(text);
  value = std::strtod(copy.c_str(), nullptr);
  return std::isfinite(value);
}

bool parseInteger(std::string_view text, long long& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      // Markup characters as escapes, so that no text can open or close an
      // HTML comment, tag or script inside the page's script element.
      case '<':
        out += "\\u003c";
        break;
      case '>':
        out += "\\u003e";
        break;
      case '&':
        out += "\\u0026";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string_view jsonNumber(std::string_view text) {
  double value;
  return parseNumber(text, value) ? text : std::string_view("null");
}

std::string_view compactNumber(std::string_view text) {
  text = jsonNumber(text);
  if (text.find_first_of("eE") != std::string_view::npos || text.find('.') == std::string_view::npos)
    return text;
  while (text.back() == '0') text.remove_suffix(1);
  if (text.back() == '.') text.remove_suffix(1);
  if (text == "-0") return "0";
  return text;
}

std::string jsonDouble(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace pagetext
