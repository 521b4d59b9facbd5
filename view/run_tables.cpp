#include "view/run_tables.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string_view>
#include <unordered_map>

#include "report/summary_table.h"
#include "report/table_text.h"
#include "report/transition_table.h"
#include "view/page_text.h"

using pagetext::parseInteger;
using pagetext::parseNumber;

namespace {

// Points shown on each side of a feature's integrated range: twice its width, at least this many.
constexpr int kMinimumMargin = 30;

// The trace point whose printed time is nearest `minutes`; among points printed
// with the same time, the one with the highest trace value.
int apexPoint(const std::vector<double>& times, bool ascending, double minutes,
              const std::vector<std::string_view>& fields) {
  if (times.empty()) return -1;
  std::size_t best = 0;
  if (ascending) {
    const auto at = std::lower_bound(times.begin(), times.end(), minutes) - times.begin();
    best = static_cast<std::size_t>(at);
    if (best == times.size() || (best > 0 && minutes - times[best - 1] <= times[best] - minutes)) --best;
  } else {
    for (std::size_t i = 1; i < times.size(); ++i)
      if (std::fabs(times[i] - minutes) < std::fabs(times[best] - minutes)) best = i;
  }
  std::size_t first = best, last = best;
  if (ascending) {
    while (first > 0 && times[first - 1] == times[best]) --first;
    while (last + 1 < times.size() && times[last + 1] == times[best]) ++last;
  }
  std::size_t apex = best;
  double highest = -1;
  for (std::size_t i = first; i <= last && 6 + i < fields.size(); ++i) {
    double value;
    if (parseNumber(fields[6 + i], value) && value > highest) {
      highest = value;
      apex = i;
    }
  }
  return static_cast<int>(apex);
}

// One channel block of the transition report while it is being read.
struct ChannelBlock {
  int channel = -1;
  std::vector<int> candidates;                         // summary features that may belong to it
  std::unordered_multimap<long long, int> byApexScan;  // candidates by apex scan
  std::vector<double> times;
  bool ascending = true;
  ScanIndexMap scanIndex;
  std::vector<std::pair<int, std::string>> rows;  // matched feature, its row of the report
};

void finishBlock(ChannelBlock& block, RunTables& tables) {
  if (block.channel < 0) return;
  block.scanIndex.finish();
  const int points = static_cast<int>(block.times.size());
  for (const auto& [index, row] : block.rows) {
    SummaryFeature& feature = tables.features[index];
    const auto fields = splitFields(row);
    const int traceLength = std::min(points, static_cast<int>(fields.size()) - 6);
    feature.startIndex = std::min(block.scanIndex.indexOf(feature.startScan, points), feature.apexIndex);
    feature.endIndex = std::max(block.scanIndex.indexOf(feature.endScan, points), feature.apexIndex);
    const int margin = std::max(kMinimumMargin, 2 * (feature.endIndex - feature.startIndex));
    const int from = std::max(0, feature.startIndex - margin);
    const int to = std::min(traceLength - 1, feature.endIndex + margin);
    feature.sliceStart = from;
    for (int i = from; i <= to; ++i) feature.slice.emplace_back(fields[6 + i]);
  }
  if (block.rows.empty()) tables.channels[block.channel].times.clear();
  block = ChannelBlock();
}

}  // namespace

bool readSummary(const std::string& path, RunTables& tables, std::string& error) {
  std::vector<SummaryRow> rows;
  if (!readSummaryTable(path, rows, error)) return false;
  for (SummaryRow& row : rows) {
    SummaryFeature feature;
    feature.mass = std::move(row.massText);
    feature.rt = std::move(row.rtText);
    feature.area = std::move(row.areaText);
    feature.label = std::move(row.labelText);
    feature.massValue = row.mass;
    feature.rtValue = row.rt;
    feature.areaValue = row.area;
    feature.apexScan = row.apexScan;
    feature.startScan = row.startScan;
    feature.endScan = row.endScan;
    feature.channel = row.channel;
    tables.features.push_back(std::move(feature));
  }
  return true;
}

bool readTransitions(const std::string& path, RunTables& tables, std::string& error) {
  TransitionTableReader reader(path);
  if (!reader.isOpen()) {
    error = "cannot open the transition report '" + path + "'";
    return false;
  }
  tables.haveTransitions = true;
  std::unordered_multimap<long long, int> byPrecursor;  // features by precursor m/z in tenths
  for (std::size_t i = 0; i < tables.features.size(); ++i) {
    const double precursor = tables.features[i].channel.precursorMz;
    if (std::fabs(precursor) < 1e15) byPrecursor.emplace(std::llround(precursor * 10), static_cast<int>(i));
  }
  ChannelBlock block;
  TransitionLine line;
  while (reader.next(line, error)) {
    if (line.kind == TransitionLine::Kind::Channel) {
      finishBlock(block, tables);
      TraceChannel channel;
      channel.label = line.labelText;
      channel.scans = line.spectra;
      block.channel = static_cast<int>(tables.channels.size());
      tables.channels.push_back(channel);
      if (std::fabs(line.label.precursorMz) < 1e15) {
        // The summary prints the precursor to 0.1: only the neighbouring tenths can match.
        const long long tenth = std::llround(line.label.precursorMz * 10);
        for (long long key = tenth - 1; key <= tenth + 1; ++key) {
          const auto [first, last] = byPrecursor.equal_range(key);
          for (auto it = first; it != last; ++it) {
            const SummaryFeature& feature = tables.features[it->second];
            if (feature.traceChannel < 0 && sameChannel(feature.channel, line.label)) {
              block.candidates.push_back(it->second);
              block.byApexScan.emplace(feature.apexScan, it->second);
            }
          }
        }
      }
      continue;
    }
    TraceChannel& channel = tables.channels[block.channel];
    const auto& fields = line.fields;
    if (line.kind == TransitionLine::Kind::Head) {
      if (block.candidates.empty()) continue;
      for (std::size_t i = 6; i < fields.size(); ++i) {
        double minutes = 0;
        parseNumber(fields[i], minutes);
        if (!block.times.empty() && minutes < block.times.back()) block.ascending = false;
        block.times.push_back(minutes);
        channel.times.emplace_back(fields[i]);
      }
      continue;
    }
    ++channel.chromatograms;
    if (block.candidates.empty()) continue;
    double mass, minutes, area;
    long long scan;
    if (!parseNumber(fields[0], mass) || !parseNumber(fields[2], minutes) || !parseInteger(fields[3], scan) ||
        !parseNumber(fields[4], area) || scan <= 0)
      continue;
    int match = -1;
    const auto [first, last] = block.byApexScan.equal_range(scan);
    for (auto it = first; it != last && match < 0; ++it) {
      const SummaryFeature& feature = tables.features[it->second];
      if (feature.traceChannel < 0 &&
          printedValuesAgree(feature.areaValue, kSummaryDecimals, area, kTransitionDecimals) &&
          printedValuesAgree(feature.massValue, kSummaryDecimals, mass, kTransitionDecimals))
        match = it->second;
    }
    const double apexMinutes = match >= 0 ? tables.features[match].rtValue : minutes;
    const int apex = apexPoint(block.times, block.ascending, apexMinutes, fields);
    if (apex >= 0) block.scanIndex.addAnchor(scan, apex);
    if (match < 0 || apex < 0) continue;
    SummaryFeature& feature = tables.features[match];
    feature.traceChannel = block.channel;
    feature.apexIndex = apex;
    // The row is kept whole until the channel ends: where the integrated range lies
    // is known only once every apex of the channel has been read.
    const char* begin = fields.front().data();
    const char* end = fields.back().data() + fields.back().size();
    block.rows.emplace_back(match, std::string(begin, end));
  }
  if (!error.empty()) return false;
  finishBlock(block, tables);
  for (const SummaryFeature& feature : tables.features)
    if (feature.traceChannel < 0) ++tables.unmatchedFeatures;
  return true;
}

void ScanIndexMap::addAnchor(long long scan, int index) { anchors_.emplace_back(scan, index); }

void ScanIndexMap::finish() {
  std::sort(anchors_.begin(), anchors_.end());
  std::vector<std::pair<long long, int>> kept;
  for (const auto& anchor : anchors_) {
    if (!kept.empty() && (anchor.first == kept.back().first || anchor.second < kept.back().second)) continue;
    kept.push_back(anchor);
  }
  anchors_.swap(kept);
}

int ScanIndexMap::indexOf(long long scan, int points) const {
  if (anchors_.empty() || points <= 0) return -1;
  double index;
  const auto after = std::lower_bound(anchors_.begin(), anchors_.end(), std::make_pair(scan, -1));
  if (after != anchors_.end() && after->first == scan) {
    index = after->second;
  } else if (after != anchors_.begin() && after != anchors_.end()) {
    const auto& [scan0, index0] = *(after - 1);
    const auto& [scan1, index1] = *after;
    index = index0 + (double(scan) - double(scan0)) * (index1 - index0) / (double(scan1) - double(scan0));
  } else {
    // Outside the anchors: the run's average points per scan number, or one per scan.
    const auto& [firstScan, firstIndex] = anchors_.front();
    const auto& [lastScan, lastIndex] = anchors_.back();
    const double slope =
        lastScan > firstScan ? double(lastIndex - firstIndex) / (double(lastScan) - double(firstScan)) : 1.0;
    const auto& [nearScan, nearIndex] = after == anchors_.end() ? anchors_.back() : anchors_.front();
    index = nearIndex + slope * (double(scan) - double(nearScan));
  }
  // Scan numbers come from files: any value, however far off, lands on the trace.
  if (!(index > 0)) return 0;
  if (index >= points - 1) return points - 1;
  return static_cast<int>(std::lround(index));
}
