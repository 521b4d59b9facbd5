#include "align/aligner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <utility>
#include <vector>

#include "align/cohort_input.h"
#include "align/rt_correction.h"
#include "report/cohort_tables.h"
#include "report/target_table.h"

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::string number(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// A table file written whole; false when it could not be written completely.
bool writeFile(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool flushed = std::fflush(file) == 0;
  return std::fclose(file) == 0 && written && flushed;
}

// One row of the feature table: per sample the chosen feature (or none).
struct TableRow {
  double mz = 0;
  double rt = 0;  // median corrected time
  std::size_t detected = 0;
  std::vector<const SampleFeature*> cells;
  std::vector<bool> filled;
};

struct Cohort {
  std::vector<SampleEntry> samples;
  std::vector<std::vector<SampleFeature>> features;  // per sample
  std::vector<RtCorrection> corrections;             // per sample
  std::vector<std::vector<SampleFeature>> fills;     // per sample, gap-filling reports
};

bool readCohort(const AlignOptions& options, Cohort& cohort) {
  std::string error;
  if (!readSampleSheet(options.sheet, cohort.samples, error)) {
    std::cerr << "torva-align: " << error << "\n";
    return false;
  }
  for (const SampleEntry& sample : cohort.samples) {
    cohort.features.emplace_back();
    if (!readSummary(options.summaries + "/" + sample.name + ".tsv", !options.allChannels,
                     cohort.features.back(), error)) {
      std::cerr << "torva-align: " << error << "\n";
      return false;
    }
    if (!options.filled.empty()) {
      cohort.fills.emplace_back();
      std::vector<SampleFeature>& fills = cohort.fills.back();
      if (!readSummary(options.filled + "/" + sample.name + ".tsv", !options.allChannels, fills, error)) {
        std::cerr << "torva-align: " << error << "\n";
        return false;
      }
      // By m/z (then time, then report order), for the lookups of the gaps.
      std::stable_sort(fills.begin(), fills.end(), [](const SampleFeature& a, const SampleFeature& b) {
        return a.mz != b.mz ? a.mz < b.mz : a.rt < b.rt;
      });
    }
  }
  return true;
}

std::vector<GroupMember> members(const Cohort& cohort, bool corrected) {
  std::vector<GroupMember> all;
  for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
    for (std::size_t f = 0; f < cohort.features[s].size(); ++f) {
      const SampleFeature& feature = cohort.features[s][f];
      const double rt = corrected ? cohort.corrections[s].apply(feature.rt) : feature.rt;
      all.push_back(GroupMember{feature.mz, rt, feature.area, s, f});
    }
  }
  return all;
}

// Each sample's correction against the cohort, from the features seen once in
// most samples within the largest drift: their median time is the cohort's.
void fitCorrections(const AlignOptions& options, Cohort& cohort) {
  const std::size_t count = cohort.samples.size();
  // Before correction a compound's times spread as far as the samples drift.
  const auto groups = groupMembers(members(cohort, false), options.mass, options.maxDrift, nullptr);
  std::vector<std::vector<std::pair<double, double>>> anchors(count);
  std::size_t anchorCount = 0;
  for (const std::vector<GroupMember>& group : groups) {
    if (static_cast<double>(group.size()) < options.anchorFraction * static_cast<double>(count)) continue;
    double low = group.front().rt;
    double high = low;
    std::vector<double> times;
    for (const GroupMember& member : group) {
      low = std::min(low, member.rt);
      high = std::max(high, member.rt);
      times.push_back(member.rt);
    }
    if (high - low > 2 * options.maxDrift) continue;
    const double reference = median(times);
    for (const GroupMember& member : group) anchors[member.sample].emplace_back(member.rt, reference);
    ++anchorCount;
  }
  std::cerr << "torva-align: " << anchorCount << " anchor features for the retention-time correction\n";
  for (std::size_t s = 0; s < count; ++s) {
    double end = options.gridStep;
    for (const SampleFeature& feature : cohort.features[s]) end = std::max(end, feature.rt);
    cohort.corrections.push_back(
        fitRtCorrection(anchors[s], 0.0, end + options.fillWindow, options.gridStep));
  }
}

std::vector<TableRow> buildTable(const AlignOptions& options, const Cohort& cohort) {
  const std::size_t count = cohort.samples.size();
  std::size_t setAside = 0;
  const auto groups = groupMembers(members(cohort, true), options.mass, options.rtTolerance, &setAside);
  // Samples per sheet group, for the least share a feature must be seen in.
  std::map<std::string, std::size_t> groupSize;
  for (const SampleEntry& sample : cohort.samples) ++groupSize[sample.group];
  std::vector<TableRow> rows;
  std::size_t rare = 0;
  for (const std::vector<GroupMember>& group : groups) {
    std::map<std::string, std::size_t> seen;
    for (const GroupMember& member : group) ++seen[cohort.samples[member.sample].group];
    bool enough = false;
    for (const auto& entry : seen) {
      enough = enough || static_cast<double>(entry.second) >=
                             options.minFraction * static_cast<double>(groupSize[entry.first]);
    }
    if (!enough) {
      ++rare;
      continue;
    }
    TableRow row;
    row.cells.assign(count, nullptr);
    row.filled.assign(count, false);
    std::vector<double> masses;
    std::vector<double> times;
    for (const GroupMember& member : group) {
      row.cells[member.sample] = &cohort.features[member.sample][member.feature];
      masses.push_back(member.mz);
      times.push_back(member.rt);
    }
    row.mz = median(masses);
    row.rt = median(times);
    row.detected = group.size();
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const TableRow& a, const TableRow& b) {
    return a.mz != b.mz ? a.mz < b.mz : a.rt < b.rt;
  });
  std::cerr << "torva-align: " << rows.size() << " features; " << rare
            << " groups seen in too few samples left out; " << setAside
            << " features of samples already represented in their group left out\n";
  return rows;
}

// The sample's measured window of a row's gap-filling pass.
std::pair<double, double> fillWindow(const AlignOptions& options, const RtCorrection& correction,
                                     const TableRow& row) {
  return {correction.invert(row.rt - options.fillWindow), correction.invert(row.rt + options.fillWindow)};
}

void fillGaps(const AlignOptions& options, const Cohort& cohort, std::vector<TableRow>& rows) {
  std::size_t filled = 0;
  std::size_t empty = 0;
  for (TableRow& row : rows) {
    for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
      if (row.cells[s] != nullptr) continue;
      const auto window = fillWindow(options, cohort.corrections[s], row);
      const double tolerance = options.mass.at(row.mz);
      const SampleFeature* best = nullptr;
      double bestDistance = 0;
      const std::vector<SampleFeature>& fills = cohort.fills[s];
      const auto first = std::lower_bound(fills.begin(), fills.end(), row.mz - tolerance,
                                          [](const SampleFeature& f, double mz) { return f.mz < mz; });
      for (auto candidate = first; candidate != fills.end() && candidate->mz <= row.mz + tolerance;
           ++candidate) {
        if (candidate->rt < window.first || candidate->rt > window.second) continue;
        const double distance = std::abs(cohort.corrections[s].apply(candidate->rt) - row.rt);
        if (best == nullptr || distance < bestDistance) {
          best = &*candidate;
          bestDistance = distance;
        }
      }
      if (best != nullptr) {
        row.cells[s] = best;
        row.filled[s] = true;
        ++filled;
      } else {
        ++empty;
      }
    }
  }
  std::cerr << "torva-align: " << filled << " cells gap-filled, " << empty << " left empty\n";
}

bool writeTargets(const AlignOptions& options, const Cohort& cohort, const std::vector<TableRow>& rows) {
  const std::string folder = options.out + "/targets";
  std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be written
  std::filesystem::create_directories(folder, ignored);
  for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
    std::string text;
    for (const TableRow& row : rows) {
      if (row.cells[s] != nullptr) continue;
      const auto window = fillWindow(options, cohort.corrections[s], row);
      text += targetWindowLine(row.mz, std::max(0.0, window.first), std::max(0.0, window.second));
    }
    if (!writeFile(folder + "/" + cohort.samples[s].name + ".tsv", text)) return false;
  }
  return true;
}

bool writeTables(const AlignOptions& options, const Cohort& cohort, const std::vector<TableRow>& rows) {
  const std::size_t count = cohort.samples.size();
  const int width = std::max<int>(4, static_cast<int>(std::to_string(rows.size()).size()));
  std::string sheet = cohortHead(cohortSampleColumns());
  std::vector<std::string> names;
  for (const SampleEntry& sample : cohort.samples) {
    sheet += sample.name + "\t" + sample.file + "\t" + sample.group + "\n";
    names.push_back(sample.name);
  }
  std::string features = cohortHead(featureTableColumns(), names);
  std::string times = cohortHead(featureRtColumns(), names);
  std::string filled = cohortHead(gapFilledColumns(), names);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const TableRow& row = rows[r];
    std::string id = std::to_string(r + 1);
    id = "F" +
         std::string(static_cast<std::size_t>(width) - std::min(id.size(), static_cast<std::size_t>(width)),
                     '0') +
         id;
    features +=
        id + "\t" + number(row.mz, 5) + "\t" + number(row.rt, 4) + "\t" + std::to_string(row.detected);
    times += id;
    filled += id;
    for (std::size_t s = 0; s < count; ++s) {
      const SampleFeature* cell = row.cells[s];
      features += "\t" + (cell != nullptr ? cell->areaText : std::string());
      times += "\t" + (cell != nullptr ? number(cell->rt, 5) : std::string());
      filled += row.filled[s] ? "\t1" : "\t0";
    }
    features += "\n";
    times += "\n";
    filled += "\n";
  }
  std::string correction = cohortHead(rtCorrectionColumns());
  for (std::size_t s = 0; s < count; ++s) {
    const RtCorrection& c = cohort.corrections[s];
    for (std::size_t g = 0; g < c.measured().size(); ++g) {
      correction += cohort.samples[s].name + "\t" + number(c.measured()[g], 4) + "\t" +
                    number(c.corrected()[g], 4) + "\n";
    }
  }
  const std::string& out = options.out;
  return writeFile(out + "/samples.tsv", sheet) && writeFile(out + "/features.tsv", features) &&
         writeFile(out + "/feature_rt.tsv", times) && writeFile(out + "/gap_filled.tsv", filled) &&
         writeFile(out + "/rt_correction.tsv", correction);
}

}  // namespace

int alignCohort(const AlignOptions& options) {
  Cohort cohort;
  if (!readCohort(options, cohort)) return 2;
  std::error_code ignored;
  std::filesystem::create_directories(options.out, ignored);
  fitCorrections(options, cohort);
  std::vector<TableRow> rows = buildTable(options, cohort);
  if (!options.filled.empty()) {
    fillGaps(options, cohort, rows);
  } else if (!writeTargets(options, cohort, rows)) {
    std::cerr << "torva-align: cannot write the gap-filling targets in '" << options.out << "/targets'\n";
    return 2;
  }
  if (!writeTables(options, cohort, rows)) {
    std::cerr << "torva-align: cannot write the cohort tables in '" << options.out << "'\n";
    return 2;
  }
  return 0;
}
