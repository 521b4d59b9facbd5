#include "view/page_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "view/page_assets.h"
#include "view/page_text.h"

using pagetext::jsonDouble;
using pagetext::jsonNumber;
using pagetext::jsonString;

namespace {

// Rows of the binned map kept for the page; a run with more spectra is merged down to this.
constexpr int kMapRows = 800;

// Writes `items` as a JSON array, each element through `write`.
template <typename Items, typename Write>
void jsonArray(std::ostream& out, const Items& items, Write write) {
  out << '[';
  bool first = true;
  for (const auto& item : items) {
    if (!first) out << ',';
    first = false;
    write(item);
  }
  out << ']';
}

// A cell of a cohort table: a number when it is one, null when empty, else a string.
std::string jsonCell(const std::string& text) {
  if (text.empty()) return "null";
  const std::string_view number = jsonNumber(text);
  return number == "null" ? jsonString(text) : std::string(number);
}

void writeTable(std::ostream& out, const TextTable& table) {
  if (!table.present) {
    out << "null";
    return;
  }
  out << "{\"header\":";
  jsonArray(out, table.header, [&](const std::string& name) { out << jsonString(name); });
  out << ",\"rows\":";
  jsonArray(out, table.rows, [&](const std::vector<std::string>& row) {
    jsonArray(out, row, [&](const std::string& cell) { out << jsonCell(cell); });
  });
  out << '}';
}

// The map's retention times are in the unit the reader stored (seconds for mzXML,
// minutes for mzData); the page works in minutes. The unit is the one that puts the
// map's last spectrum nearer the end of the run seen in the other reports.
bool mapTimesInSeconds(const RunTables& tables, const BinnedMapGrid& map) {
  double runEnd = 0;
  for (const SummaryFeature& feature : tables.features) runEnd = std::max(runEnd, feature.rtValue);
  for (const TraceChannel& channel : tables.channels) {
    double last = 0;
    if (!channel.times.empty() && pagetext::parseNumber(channel.times.back(), last))
      runEnd = std::max(runEnd, last);
  }
  const double mapEnd = map.rowTime.empty() ? 0 : *std::max_element(map.rowTime.begin(), map.rowTime.end());
  if (runEnd <= 0 || mapEnd <= 0) return true;
  return mapEnd / runEnd > std::sqrt(60.0);
}

void writeMapJson(std::ostream& out, const RunTables& tables, const BinnedMapGrid& map) {
  const bool seconds = mapTimesInSeconds(tables, map);
  out << "{\"unit\":" << (seconds ? "\"s\"" : "\"min\"") << ",\"spectra\":" << map.spectra << ",\"binLow\":";
  jsonArray(out, map.binLow, [&](double edge) { out << jsonDouble(edge); });
  out << ",\"rowTime\":";
  jsonArray(out, map.rowTime, [&](double time) { out << jsonDouble(seconds ? time / 60.0 : time); });
  // Non-empty cells as (row, bin, intensity) triples, intensities to four significant digits.
  out << ",\"cells\":[";
  const std::size_t bins = map.binLow.size();
  bool first = true;
  for (std::size_t i = 0; bins > 0 && i < map.cells.size(); ++i) {
    if (!(map.cells[i] > 0)) continue;
    char value[32];
    std::snprintf(value, sizeof value, "%.4g", static_cast<double>(map.cells[i]));
    out << (first ? "" : ",") << i / bins << ',' << i % bins << ',' << value;
    first = false;
  }
  out << "]}";
}

void writeFeaturesJson(std::ostream& out, const std::vector<SummaryFeature>& features) {
  const auto column = [&](const char* name, auto value) {
    out << jsonString(name) << ':';
    jsonArray(out, features, [&](const SummaryFeature& feature) { out << value(feature); });
  };
  out << '{';
  column("mass", [](const SummaryFeature& f) { return jsonNumber(f.mass); });
  out << ',';
  column("rt", [](const SummaryFeature& f) { return jsonNumber(f.rt); });
  out << ',';
  column("area", [](const SummaryFeature& f) { return jsonNumber(f.area); });
  out << ',';
  column("apex", [](const SummaryFeature& f) { return f.apexScan; });
  out << ',';
  column("start", [](const SummaryFeature& f) { return f.startScan; });
  out << ',';
  column("end", [](const SummaryFeature& f) { return f.endScan; });
  out << ',';
  column("label", [](const SummaryFeature& f) { return jsonString(f.label); });
  out << ',';
  column("channel", [](const SummaryFeature& f) { return f.traceChannel; });
  out << ',';
  column("apexIndex", [](const SummaryFeature& f) { return f.apexIndex; });
  out << ',';
  column("startIndex", [](const SummaryFeature& f) { return f.startIndex; });
  out << ',';
  column("endIndex", [](const SummaryFeature& f) { return f.endIndex; });
  out << ',';
  column("sliceStart", [](const SummaryFeature& f) { return f.sliceStart; });
  out << ",\"trace\":";
  jsonArray(out, features, [&](const SummaryFeature& feature) {
    if (feature.traceChannel < 0) {
      out << "null";
      return;
    }
    jsonArray(out, feature.slice, [&](const std::string& value) { out << pagetext::compactNumber(value); });
  });
  out << '}';
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A folder's path without trailing slashes.
std::string folderName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Closing-tag-safe inline script: a licence comment, then the code; `extension`, when given, between the
// shared code and the page's own (it can then watch what the page does).
void writeScripts(std::ostream& out, const char* pageScript, const char* extension = nullptr) {
  out << "<script>/*\nuPlot, inlined below, is distributed under this licence:\n\n"
      << pageassets::uplotLicence << "*/\n"
      << pageassets::uplotJs << "\n</script>\n<script>\n"
      << pageassets::commonJs << '\n';
  if (extension != nullptr) out << extension << '\n';
  out << pageScript << "\n</script>\n";
}

// The points of a spectrum or trace as two arrays, "x":[...],"y":[...].
void writePoints(std::ostream& out, const FeatureSpectrum& record) {
  out << "\"x\":";
  jsonArray(out, record.points,
            [&](const std::pair<double, double>& point) { out << jsonDouble(point.first); });
  out << ",\"y\":";
  jsonArray(out, record.points,
            [&](const std::pair<double, double>& point) { out << jsonDouble(point.second); });
}

void writeTracesJson(std::ostream& out, const CohortTraces& traces) {
  out << "{\"leftOut\":" << traces.leftOut << ",\"list\":[";
  for (std::size_t k = 0; k < traces.traces.size(); ++k) {
    out << (k == 0 ? "" : ",") << "{\"row\":" << traces.row[k] << ",\"sample\":" << traces.sample[k]
        << ",\"rt\":" << jsonDouble(traces.traces[k].rt) << ',';
    writePoints(out, traces.traces[k]);
    out << '}';
  }
  out << "]}";
}

void writeHead(std::ostream& out, const std::string& title) {
  std::string escaped;
  for (const char c : title) {
    if (c == '<')
      escaped += "&lt;";
    else if (c == '&')
      escaped += "&amp;";
    else
      escaped += c;
  }
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<title>" << escaped << "</title>\n<style>\n"
      << pageassets::uplotCss << '\n'
      << pageassets::pageCss << "\n</style>\n</head>\n<body>\n";
}

}  // namespace

void writeRunJson(const RunPageInputs& inputs, std::ostream& out) {
  const ViewOptions& options = *inputs.options;
  const RunTables& tables = *inputs.tables;
  long long chromatograms = 0, channelSpectra = 0;
  for (const TraceChannel& channel : tables.channels) {
    chromatograms += channel.chromatograms;
    channelSpectra += channel.scans;
  }
  out << "{\"kind\":\"run\",\"numbers\":{";
  out << "\"input\":" << (options.runInput.empty() ? "null" : jsonString(options.runInput));
  out << ",\"options\":" << (options.runOptions.empty() ? "null" : jsonString(options.runOptions));
  out << ",\"summary\":" << jsonString(baseName(options.summary));
  out << ",\"transitions\":"
      << (options.transitions.empty() ? "null" : jsonString(baseName(options.transitions)));
  out << ",\"map\":" << (options.map.empty() ? "null" : jsonString(baseName(options.map)));
  out << ",\"spectra\":" << (inputs.map ? std::to_string(inputs.map->spectra) : std::string("null"));
  out << ",\"channelSpectra\":"
      << (tables.haveTransitions ? std::to_string(channelSpectra) : std::string("null"));
  out << ",\"channels\":"
      << (tables.haveTransitions ? std::to_string(tables.channels.size()) : std::string("null"));
  out << ",\"chromatograms\":"
      << (tables.haveTransitions ? std::to_string(chromatograms) : std::string("null"));
  out << ",\"features\":" << tables.features.size();
  out << ",\"unmatched\":"
      << (tables.haveTransitions ? std::to_string(tables.unmatchedFeatures) : std::string("null"));
  out << "},\"channels\":";
  jsonArray(out, tables.channels, [&](const TraceChannel& channel) {
    out << "{\"label\":" << jsonString(channel.label) << ",\"scans\":" << channel.scans
        << ",\"chromatograms\":" << channel.chromatograms << ",\"times\":";
    if (channel.times.empty())
      out << "null";
    else
      jsonArray(out, channel.times, [&](const std::string& time) { out << pagetext::compactNumber(time); });
    out << '}';
  });
  out << ",\"features\":";
  writeFeaturesJson(out, tables.features);
  out << ",\"map\":";
  if (inputs.map)
    writeMapJson(out, tables, *inputs.map);
  else
    out << "null";
  out << '}';
}

void writeRunPage(const RunPageInputs& inputs, std::ostream& out) {
  const ViewOptions& options = *inputs.options;
  const std::string title =
      !options.title.empty()
          ? options.title
          : "TORVA run: " + baseName(options.runInput.empty() ? options.summary : options.runInput);
  writeHead(out, title);
  out << pageassets::runHtml << "\n<script type=\"application/json\" id=\"torva-data\">";
  writeRunJson(inputs, out);
  out << "</script>\n";
  writeScripts(out, pageassets::runJs);
  out << "</body>\n</html>\n";
}

void writeCohortPage(const ViewOptions& options, const CohortTables& cohort, std::ostream& out,
                     const CohortTraces* traces) {
  writeHead(out,
            options.title.empty() ? "TORVA cohort: " + baseName(folderName(options.cohort)) : options.title);
  out << pageassets::cohortHtml
      << "\n<script type=\"application/json\" id=\"torva-data\">{\"kind\":\"cohort\"";
  out << ",\"folder\":" << jsonString(baseName(folderName(options.cohort)));
  const std::pair<const char*, const TextTable*> tables[] = {{"samples", &cohort.samples},
                                                             {"features", &cohort.features},
                                                             {"featureRt", &cohort.featureRt},
                                                             {"gapFilled", &cohort.gapFilled},
                                                             {"rtCorrection", &cohort.rtCorrection},
                                                             {"cleanRemoved", &cohort.removed},
                                                             {"cleanQcCv", &cohort.qcCv},
                                                             {"cleanDriftFit", &cohort.driftFit},
                                                             {"cleanPca", &cohort.pca},
                                                             {"cleanPcaExplained", &cohort.pcaExplained}};
  for (const auto& [name, table] : tables) {
    // torva-clean's tables only when it ran: pages of other cohorts stay as they were.
    if (std::string(name).rfind("clean", 0) == 0 && !table->present) continue;
    out << ',' << jsonString(name) << ':';
    writeTable(out, *table);
  }
  // The traces only when torva-compounds wrote them: pages of other cohorts stay as they were.
  const bool withTraces = traces != nullptr && traces->present;
  if (withTraces) {
    out << ",\"traces\":";
    writeTracesJson(out, *traces);
  }
  out << "}</script>\n";
  if (withTraces) out << pageassets::cohortTracesHtml << '\n';
  writeScripts(out, pageassets::cohortJs, withTraces ? pageassets::cohortTracesJs : nullptr);
  out << "</body>\n</html>\n";
}

void writeQuantPage(const ViewOptions& options, const QuantTables& tables, std::ostream& out) {
  const std::string folder = baseName(folderName(options.quant));
  writeHead(out, options.title.empty() ? "TORVA quantitation: " + folder : options.title);
  out << pageassets::quantHtml << "\n<script type=\"application/json\" id=\"torva-data\">{\"kind\":\"quant\"";
  out << ",\"folder\":" << jsonString(folder);
  const std::pair<const char*, const TextTable*> parts[] = {
      {"calibration", &tables.calibration}, {"long", &tables.quantLong}, {"traces", &tables.traces}};
  for (const auto& [name, table] : parts) {
    out << ',' << jsonString(name) << ':';
    writeTable(out, *table);
  }
  out << "}</script>\n";
  writeScripts(out, pageassets::quantJs);
  out << "</body>\n</html>\n";
}

void writeFeatureJson(const ViewOptions& options, const FeaturePageTables& tables, std::ostream& out) {
  const std::vector<FeatureRow>& rows = tables.features;
  out << "{\"kind\":\"features\",\"numbers\":{";
  out << "\"input\":" << (options.runInput.empty() ? "null" : jsonString(options.runInput));
  out << ",\"options\":" << (options.runOptions.empty() ? "null" : jsonString(options.runOptions));
  out << ",\"features\":" << jsonString(baseName(options.features));
  out << ",\"spectra\":" << (options.spectra.empty() ? "null" : jsonString(baseName(options.spectra)));
  out << ",\"featuresLeftOut\":" << tables.featuresLeftOut << ",\"spectraLeftOut\":" << tables.spectraLeftOut
      << "},\"features\":{";
  const auto column = [&](const char* name, auto value) {
    out << jsonString(name) << ':';
    jsonArray(out, rows, [&](const FeatureRow& row) { out << value(row); });
  };
  column("id", [](const FeatureRow& r) { return jsonString(r.featureId); });
  out << ',';
  column("mz", [](const FeatureRow& r) { return jsonDouble(r.mz); });
  out << ',';
  column("rt", [](const FeatureRow& r) { return jsonDouble(r.rt); });
  out << ',';
  column("rtStart", [](const FeatureRow& r) { return jsonDouble(r.rtStart); });
  out << ',';
  column("rtEnd", [](const FeatureRow& r) { return jsonDouble(r.rtEnd); });
  out << ',';
  column("height", [](const FeatureRow& r) { return jsonDouble(r.height); });
  out << ',';
  column("area", [](const FeatureRow& r) { return jsonDouble(r.area); });
  out << ',';
  column("sn", [](const FeatureRow& r) { return jsonDouble(r.sn); });
  out << ',';
  column("status", [](const FeatureRow& r) { return jsonString(r.status); });
  out << ',';
  column("compound", [](const FeatureRow& r) { return r.compoundId; });
  out << ',';
  column("ion", [](const FeatureRow& r) { return jsonString(r.ion); });
  out << ',';
  column("charge", [](const FeatureRow& r) { return r.charge; });
  out << ',';
  column("neutralMass", [](const FeatureRow& r) { return jsonDouble(r.neutralMass); });
  out << ',';
  column("representative", [](const FeatureRow& r) { return r.representative ? 1 : 0; });
  out << ',';
  column("ms2", [](const FeatureRow& r) { return std::string(jsonNumber(r.ms2Scans)); });
  out << "},\"spectra\":";
  if (!tables.haveSpectra) {
    out << "null}";
    return;
  }
  out << '[';
  for (std::size_t k = 0; k < tables.spectra.size(); ++k) {
    const FeatureSpectrum& record = tables.spectra[k];
    out << (k == 0 ? "" : ",") << "{\"f\":" << tables.spectrumFeature[k]
        << ",\"kind\":" << jsonString(spectrumKindName(record.kind)) << ",\"scan\":" << record.scan
        << ",\"rt\":" << jsonDouble(record.rt) << ",\"precursor\":" << jsonDouble(record.precursorMz) << ',';
    writePoints(out, record);
    out << '}';
  }
  out << "]}";
}

void writeFeaturePage(const ViewOptions& options, const FeaturePageTables& tables, std::ostream& out) {
  const std::string title =
      !options.title.empty()
          ? options.title
          : "TORVA run: " + baseName(options.runInput.empty() ? options.features : options.runInput);
  writeHead(out, title);
  out << pageassets::featuresHtml << "\n<script type=\"application/json\" id=\"torva-data\">";
  writeFeatureJson(options, tables, out);
  out << "</script>\n";
  writeScripts(out, pageassets::featuresJs);
  out << "</body>\n</html>\n";
}
