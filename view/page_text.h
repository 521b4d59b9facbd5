#ifndef TORVA_VIEW_PAGE_TEXT_H
#define TORVA_VIEW_PAGE_TEXT_H

#include <istream>
#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the report readers and the page writer.
namespace pagetext {

// The longest line a report reader keeps (8 MiB); the rest of a longer line is
// skipped, so that a line without end costs no more memory than this.
constexpr std::size_t kMaxLineBytes = std::size_t{8} << 20;

// Reads one line without its '\n' (and without a '\r' before it), at most
// kMaxLineBytes of it; `cut` (when given) tells whether more was skipped.
// False at the end.
bool readLine(std::istream& in, std::string& line, bool* cut = nullptr);

// The tab-separated fields of a line. A trailing tab (as the transition report
// writes) yields no empty last field.
std::vector<std::string_view> splitTabs(std::string_view line);

// The value of a decimal field, or false when it is not a finite number.
bool parseNumber(std::string_view text, double& value);
bool parseInteger(std::string_view text, long long& value);

// `text` as a JSON string literal. '<', '>' and '&' are written as \u003c,
// \u003e and \u0026, so that the text can sit inside an HTML script element
// ("</script>", "<!--" and the like never appear in it).
std::string jsonString(std::string_view text);

// `text` itself when it is a JSON number, otherwise "null". Report fields are
// carried into the page as printed, so the page shows exactly the reports' digits.
std::string_view jsonNumber(std::string_view text);

// Like jsonNumber, without the zeros that end a decimal fraction ("12.50" -> "12.5",
// "0.00" -> "0"): the same value in fewer bytes, for the long columns of traces.
std::string_view compactNumber(std::string_view text);

// `value` as the shortest text that reads back as the same double ("null" when not finite).
std::string jsonDouble(double value);

}  // namespace pagetext

#endif
