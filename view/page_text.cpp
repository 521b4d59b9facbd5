#include "view/page_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "report/table_text.h"

namespace pagetext {

bool parseNumber(std::string_view text, double& value) { return readDecimal(text, value); }

bool parseInteger(std::string_view text, long long& value) { return readInteger(text, value); }

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  char previous = 0;
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
      case '/':
        out += previous == '<' ? "\\/" : "/";
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
    previous = c;
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
