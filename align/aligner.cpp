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
#include "align/drift_search.h"
#include "align/rt_correction.h"
#include "report/cohort_tables.h"
#include "report/target_table.h"
#include "util/atomic_file.h"

namespace {

// Largest drift left after the coarse search, minutes: the anchors' window.
constexpr double kResidualDrift = 0.2;

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

// A table file written whole, under its name only once complete; false (the
// failure named on standard error) when it could not be written completely.
bool writeFile(const std::string& path, const std::string& text) {
  std::string error;
  if (writeWholeFile(path, text, error)) return true;
  std::cerr << "torva-align: " << error << "\n";
  return false;
}

// One row of the feature table: per sample the chosen feature (or none).
struct TableRow {
  double mz = 0;
  double rt = 0;  // median corrected time
  std::size_t detected = 0;
  std::vector<const SampleFeature*> cells;
  std::vector<bool> filled;
  // A detected cell whose edges also hold the time of another row of the same m/z that the sample lacks:
  // the sample resolved two of the cohort's compounds (isomers, a peak on a tail) as one peak. The gap
  // filling measures it again as its part of that peak.
  std::vector<bool> merged;
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
    if (!readSampleReport(options.summaries + "/" + sample.name + ".tsv", !options.allChannels,
                          cohort.features.back(), error)) {
      std::cerr << "torva-align: " << error << "\n";
      return false;
    }
    if (!options.filled.empty()) {
      cohort.fills.emplace_back();
      std::vector<SampleFeature>& fills = cohort.fills.back();
      // An empty file: the sample had no gaps to fill.
      const std::string filledPath = options.filled + "/" + sample.name + ".tsv";
      std::error_code sizeError;
      if (std::filesystem::file_size(filledPath, sizeError) == 0 && !sizeError) continue;
      if (!readSampleReport(options.filled + "/" + sample.name + ".tsv", !options.allChannels, fills,
                            error)) {
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

// The sample whose drift is the cohort's median: the others' drift is searched
// against it, so that samples drifting up to the largest drift either way of
// the median stay within reach. Its drift is found by a first search, twice as
// wide, against the sample with the most features (the first of them).
std::size_t referenceSample(const AlignOptions& options, const std::vector<std::vector<DriftPoint>>& points,
                            const std::vector<double>& ends) {
  std::size_t richest = 0;
  for (std::size_t s = 1; s < points.size(); ++s) {
    if (points[s].size() > points[richest].size()) richest = s;
  }
  if (points.size() < 3) return richest;
  DriftSearch wide;
  wide.maxDrift = 2 * options.maxDrift;
  std::vector<std::pair<double, std::size_t>> level;  // median drift against the richest, sample
  for (std::size_t s = 0; s < points.size(); ++s) {
    const RtCorrection drift =
        searchDrift(points[s], points[richest], options.mass, wide, 0.0, ends[s], options.gridStep);
    std::vector<double> offsets;
    for (std::size_t g = 0; g < drift.measured().size(); ++g)
      offsets.push_back(drift.corrected()[g] - drift.measured()[g]);
    level.emplace_back(median(offsets), s);
  }
  std::sort(level.begin(), level.end());
  return level[(level.size() - 1) / 2].second;
}

std::vector<DriftPoint> driftPoints(const std::vector<SampleFeature>& features) {
  std::vector<DriftPoint> points;
  for (const SampleFeature& feature : features) points.push_back(DriftPoint{feature.mz, feature.rt});
  return points;
}

// Each sample's correction against the cohort, in two steps. First the coarse
// drift of every sample against the reference sample (the median one),
// searched up to the largest drift; then, on the coarsely corrected times, the features seen once
// in most samples within a narrow window are the anchors: the median of their
// times as measured is the cohort's time (so that the cohort's time axis is
// the samples' median, not the reference's), and each sample's fine
// correction takes its coarsely corrected times there.
void fitCorrections(const AlignOptions& options, Cohort& cohort) {
  const std::size_t count = cohort.samples.size();
  std::vector<double> ends(count);
  std::vector<std::vector<DriftPoint>> points;
  for (std::size_t s = 0; s < count; ++s) {
    double end = options.gridStep;
    for (const SampleFeature& feature : cohort.features[s]) end = std::max(end, feature.rt);
    ends[s] = end + options.fillWindow;
    points.push_back(driftPoints(cohort.features[s]));
  }
  const std::size_t reference = referenceSample(options, points, ends);
  DriftSearch search;
  search.maxDrift = options.maxDrift;
  double largestDrift = 0;
  std::size_t driftiest = reference;
  std::vector<RtCorrection> coarse;
  for (std::size_t s = 0; s < count; ++s) {
    double largest = 0;
    coarse.push_back(searchDrift(points[s], points[reference], options.mass, search, 0.0, ends[s],
                                 options.gridStep, &largest));
    if (largest > largestDrift) {
      largestDrift = largest;
      driftiest = s;
    }
  }
  std::cerr << "torva-align: drift searched against sample " << cohort.samples[reference].name << ": at most "
            << number(largestDrift, 2) << " min (sample " << cohort.samples[driftiest].name << ")\n";
  if (largestDrift > options.maxDrift - 2 * search.bandwidth) {
    std::cerr << "torva-align: warning: sample " << cohort.samples[driftiest].name << " drifts by "
              << number(largestDrift, 2) << " min, near --max-drift " << number(options.maxDrift, 2)
              << ": its drift may be larger; raise --max-drift if features are split\n";
  }
  cohort.corrections = coarse;
  // After the coarse step a compound's times lie within a fraction of a minute.
  const double residual = std::min(options.maxDrift, kResidualDrift);
  const auto groups = groupMembers(members(cohort, true), options.mass, residual, nullptr);
  std::vector<std::vector<std::pair<double, double>>> anchors(count);
  std::size_t anchorCount = 0;
  for (const std::vector<GroupMember>& group : groups) {
    if (static_cast<double>(group.size()) < options.anchorFraction * static_cast<double>(count)) continue;
    double low = group.front().rt;
    double high = low;
    std::vector<double> measured;  // the cohort's time is the median of the times as measured
    for (const GroupMember& member : group) {
      low = std::min(low, member.rt);
      high = std::max(high, member.rt);
      measured.push_back(cohort.features[member.sample][member.feature].rt);
    }
    if (high - low > 2 * residual) continue;
    const double cohortTime = median(measured);
    for (const GroupMember& member : group) anchors[member.sample].emplace_back(member.rt, cohortTime);
    ++anchorCount;
  }
  std::cerr << "torva-align: " << anchorCount << " anchor features for the retention-time correction\n";
  for (std::size_t s = 0; s < count; ++s) {
    const RtCorrection fine = fitRtCorrection(anchors[s], coarse[s].corrected().front(),
                                              coarse[s].corrected().back(), options.gridStep);
    cohort.corrections[s] = composeCorrections(coarse[s], fine);
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
  // Features in no kept row, and how many of them are among their sample's
  // largest tenth: those are most likely compounds the correction missed.
  std::size_t unplaced = 0;
  std::size_t unplacedLarge = 0;
  std::size_t total = 0;
  std::vector<double> largeArea(count);
  for (std::size_t s = 0; s < count; ++s) {
    std::vector<double> areas;
    for (const SampleFeature& feature : cohort.features[s]) areas.push_back(feature.area);
    total += areas.size();
    std::sort(areas.begin(), areas.end());
    largeArea[s] = areas.empty() ? 0.0 : areas[areas.size() - 1 - areas.size() / 10];
  }
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
      unplaced += group.size();
      for (const GroupMember& member : group) unplacedLarge += member.area >= largeArea[member.sample];
      continue;
    }
    TableRow row;
    row.cells.assign(count, nullptr);
    row.filled.assign(count, false);
    row.merged.assign(count, false);
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
  std::cerr << "torva-align: " << unplaced << " of " << total
            << " sample features could not be placed in a feature seen in enough samples (" << unplacedLarge
            << " of them among the largest tenth of their sample)\n";
  return rows;
}

// The sample's measured window of a row's gap-filling pass.
std::pair<double, double> fillWindow(const AlignOptions& options, const RtCorrection& correction,
                                     const TableRow& row) {
  return {correction.invert(row.rt - options.fillWindow), correction.invert(row.rt + options.fillWindow)};
}

// Marks the merged cells (TableRow::merged) of rows sorted by m/z, before any gap is filled.
void markMergedCells(const AlignOptions& options, const Cohort& cohort, std::vector<TableRow>& rows) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    TableRow& row = rows[r];
    const double tolerance = options.mass.at(row.mz);
    for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
      const SampleFeature* cell = row.cells[s];
      if (cell == nullptr || !cell->detailed || !(cell->rtEnd > cell->rtStart)) continue;
      const auto holds = [&](const TableRow& other) {
        if (other.cells[s] != nullptr) return false;
        const double time = cohort.corrections[s].invert(other.rt);
        return time >= cell->rtStart && time <= cell->rtEnd &&
               std::abs(other.rt - row.rt) > options.fillWindow;
      };
      bool merged = false;
      for (std::size_t o = r; !merged && o-- > 0 && row.mz - rows[o].mz <= tolerance;)
        merged = holds(rows[o]);
      for (std::size_t o = r + 1; !merged && o < rows.size() && rows[o].mz - row.mz <= tolerance; ++o)
        merged = holds(rows[o]);
      row.merged[s] = merged;
    }
  }
}

void fillGaps(const AlignOptions& options, const Cohort& cohort, std::vector<TableRow>& rows) {
  std::size_t filled = 0;
  std::size_t empty = 0;
  std::size_t measuredAgain = 0;
  for (TableRow& row : rows) {
    for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
      if (row.cells[s] != nullptr && !row.merged[s]) continue;
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
      if (row.merged[s]) {
        // Replaced only when the filling pass measured its part (status filled); found whole, kept as
        // detected.
        if (best == nullptr || !best->filled) continue;
        row.cells[s] = best;
        row.filled[s] = true;
        ++measuredAgain;
      } else if (best != nullptr) {
        row.cells[s] = best;
        row.filled[s] = true;
        ++filled;
      } else {
        ++empty;
      }
    }
  }
  std::cerr << "torva-align: " << filled << " cells gap-filled, " << empty << " left empty\n";
  if (measuredAgain > 0)
    std::cerr << "torva-align: " << measuredAgain
              << " cells of a peak that held two rows' compounds measured again as their part of it\n";
}

// The median distances (minutes) from the apex to the start and to the end of a row's detected features,
// each in its sample's own time; false when no cell comes from a feature table.
bool typicalEdges(const TableRow& row, double& before, double& after) {
  std::vector<double> starts, ends;
  for (std::size_t s = 0; s < row.cells.size(); ++s) {
    const SampleFeature* cell = row.cells[s];
    if (cell == nullptr || row.merged[s] || !cell->detailed || !(cell->rtEnd >= cell->rtStart)) continue;
    starts.push_back(std::max(0.0, cell->rt - cell->rtStart));
    ends.push_back(std::max(0.0, cell->rtEnd - cell->rt));
  }
  if (starts.empty()) return false;
  before = median(starts);
  after = median(ends);
  return true;
}

bool writeTargets(const AlignOptions& options, const Cohort& cohort, const std::vector<TableRow>& rows) {
  const std::string folder = options.out + "/targets";
  std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be written
  std::filesystem::create_directories(folder, ignored);
  for (std::size_t s = 0; s < cohort.samples.size(); ++s) {
    // Names were checked when the sheet was read; a file is never written outside the folder.
    if (!sampleNameProblem(cohort.samples[s].name).empty()) return false;
    std::string text;
    for (const TableRow& row : rows) {
      if (row.cells[s] != nullptr && !row.merged[s]) continue;
      const auto window = fillWindow(options, cohort.corrections[s], row);
      double before = 0, after = 0;
      const bool edges = typicalEdges(row, before, after);
      if (row.merged[s] && !edges) continue;  // every detailed cell of the row held two: left as detected
      if (!edges) {
        text += targetWindowLine(row.mz, std::max(0.0, window.first), std::max(0.0, window.second));
        continue;
      }
      // The span a gap is integrated over when no peak tops in the window: the feature's typical edges
      // around its time, in the sample's own time.
      const double low = cohort.corrections[s].invert(row.rt - before);
      const double high = cohort.corrections[s].invert(row.rt + after);
      text += targetWindowLine(row.mz, std::max(0.0, window.first), std::max(0.0, window.second),
                               std::max(0.0, low), std::max(0.0, std::max(low, high)));
    }
    if (!writeFile(folder + "/" + cohort.samples[s].name + ".tsv", text)) return false;
  }
  return true;
}

// The per-feature columns from feature tables: the mean height and the
// median width and signal-to-noise of the samples' detected features.
const std::vector<std::string> kDetailColumns = {"mean_height", "median_fwhm", "median_sn"};

std::vector<std::string> detailCells(const TableRow& row) {
  std::vector<double> heights, widths, ratios;
  for (std::size_t s = 0; s < row.cells.size(); ++s) {
    const SampleFeature* cell = row.cells[s];
    if (cell == nullptr || row.filled[s] || !cell->detailed) continue;
    heights.push_back(cell->height);
    widths.push_back(cell->fwhm);
    ratios.push_back(cell->sn);
  }
  if (heights.empty()) return {"", "", ""};
  double sum = 0;
  for (double height : heights) sum += height;
  return {number(sum / static_cast<double>(heights.size()), 1), number(median(widths), 4),
          number(median(ratios), 2)};
}

bool writeTables(const AlignOptions& options, const Cohort& cohort, const std::vector<TableRow>& rows) {
  const std::size_t count = cohort.samples.size();
  const int width = std::max<int>(4, static_cast<int>(std::to_string(rows.size()).size()));
  bool detailed = false;
  for (const auto& features : cohort.features) {
    for (const SampleFeature& feature : features) detailed = detailed || feature.detailed;
  }
  CohortFeatureTable table;
  if (detailed) table.extraColumns = kDetailColumns;
  std::string sheet = cohortHead(cohortSampleColumns());
  for (const SampleEntry& sample : cohort.samples) {
    sheet += sample.name + "\t" + sample.file + "\t" + sample.group + "\n";
    table.samples.push_back(sample.name);
  }
  std::string times = cohortHead(featureRtColumns(), table.samples);
  std::string filled = cohortHead(gapFilledColumns(), table.samples);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const TableRow& row = rows[r];
    std::string id = std::to_string(r + 1);
    id = "F" +
         std::string(static_cast<std::size_t>(width) - std::min(id.size(), static_cast<std::size_t>(width)),
                     '0') +
         id;
    CohortFeature feature;
    feature.featureId = id;
    feature.mz = row.mz;
    feature.rt = row.rt;
    feature.samplesDetected = static_cast<long long>(row.detected);
    if (detailed) feature.extra = detailCells(row);
    times += id;
    filled += id;
    for (std::size_t s = 0; s < count; ++s) {
      const SampleFeature* cell = row.cells[s];
      feature.areas.push_back(cell != nullptr ? cell->areaText : std::string());
      times += "\t" + (cell != nullptr ? number(cell->rt, 5) : std::string());
      filled += row.filled[s] ? "\t1" : "\t0";
    }
    table.rows.push_back(std::move(feature));
    times += "\n";
    filled += "\n";
  }
  const std::string features = formatCohortFeatures(table);
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
  markMergedCells(options, cohort, rows);
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
