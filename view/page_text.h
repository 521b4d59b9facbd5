#ifndef TORVA_VIEW_PAGE_TEXT_H
#define TORVA_VIEW_PAGE_TEXT_H

#include <istream>
#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the report readers and the page writer.
namespace pagetext {

// Reads one line without its '\n' (and without a '\r' before it). False at the end.
bool readLine(std::istream& in, std::string& line);

// The tab-separated fields of a line. A trailing tab (as the transition report
// writes) yields no empty last field.
std::vector<std::string_view> splitTabs(std::string_view line);

// The value of a decimal field, or false when it is not a finite number.
bool parseNumber(std::string_view text, double& value);
bool parseInteger(std::string_view text, long long& value);

// `text` as a JSON string literal. "</" is written as "<\/" so that the text can
// sit inside an HTML script element.
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
