#ifndef TORVA_REPORT_SUMMARY_TABLE_H
#define TORVA_REPORT_SUMMARY_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "report/channel_label.h"

// The summary report (-s): one line per feature under a head line.
//   mass  rt  area  peak max(scan)  peak start(scan)  peak end(scan)  transition
// mass in m/z (5 decimals), rt in minutes (5), area in counts x seconds (5),
// three scan numbers, and the channel's summary label.

// Decimals of the summary's mass, rt and area.
constexpr int kSummaryDecimals = 5;

// The column names, in order.
const std::vector<std::string>& summaryColumns();
// The head line, with its line feed.
std::string summaryHead();

// One feature as a line of the report, with its line feed.
std::string summaryLine(double mass, double rtMinutes, double area, std::int32_t apexScan,
                        std::int32_t startScan, std::int32_t endScan, const std::string& label);

// One feature as read back: the values, and the texts of the decimal fields
// as printed (so that a copy keeps the report's digits).
struct SummaryRow {
  double mass = 0;
  double rt = 0;  // apex, minutes
  double area = 0;
  long long apexScan = 0, startScan = 0, endScan = 0;
  ChannelLabel channel;
  std::string massText, rtText, areaText, labelText;
  long line = 0;  // line of the report
};

// Reads a summary report: the head line must be the summary's, and every other
// line that is not empty must hold its seven fields (decimals and scan numbers
// read whole, a channel label). False, with `error` naming the file and the
// line, when the file cannot be read or any line breaks that rule.
bool readSummaryTable(const std::string& path, std::vector<SummaryRow>& rows, std::string& error);

#endif
