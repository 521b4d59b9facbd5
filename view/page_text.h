#ifndef TORVA_VIEW_PAGE_TEXT_H
#define TORVA_VIEW_PAGE_TEXT_H

#include <string>
#include <string_view>
#include <vector>

// Text helpers shared by the report readers and the page writer.
namespace pagetext {

// A field read by the rule of TORVA's tables (readDecimal, readInteger): whole and finite.
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
