#include "features/full_scan_groups.h"

#include <algorithm>
#include <array>

namespace {

// Analyzers from the most to the least accurate mass.
constexpr std::array<const char*, 6> kAnalyzers = {"FTMS", "TOFMS", "SECTOR", "ITMS", "TQMS", "SQMS"};

std::size_t rankOf(const std::string& analyzer) {
  for (std::size_t k = 0; k < kAnalyzers.size(); ++k) {
    if (analyzer == kAnalyzers[k]) return k;
  }
  return kAnalyzers.size();
}

}  // namespace

std::string filterLineAnalyzer(const std::string& filterLine) {
  const std::size_t end = filterLine.find(' ');
  const std::string first = filterLine.substr(0, end);
  return rankOf(first) < kAnalyzers.size() ? first : std::string();
}

std::vector<FullScanGroup> fullScanGroups(const std::vector<scan>& scans, long long msLevel) {
  struct Taken {
    const scan* spectrum;
    std::size_t rank;
  };
  std::vector<char> polarities;
  std::vector<std::vector<Taken>> taken;
  for (const scan& spectrum : scans) {
    const long long level = spectrum.msLevel == 0 ? 1 : spectrum.msLevel;
    if (level != msLevel) continue;
    const char polarity = spectrumPolarity(spectrum);
    const auto at = std::find(polarities.begin(), polarities.end(), polarity);
    const auto g = static_cast<std::size_t>(at - polarities.begin());
    if (at == polarities.end()) {
      polarities.push_back(polarity);
      taken.emplace_back();
    }
    taken[g].push_back(Taken{&spectrum, rankOf(filterLineAnalyzer(spectrum.filterLine))});
  }
  std::vector<FullScanGroup> groups(polarities.size());
  for (std::size_t g = 0; g < groups.size(); ++g) {
    FullScanGroup& group = groups[g];
    group.polarity = polarities[g];
    std::size_t best = kAnalyzers.size();
    std::array<bool, kAnalyzers.size() + 1> present{};
    for (const Taken& t : taken[g]) {
      best = std::min(best, t.rank);
      present[t.rank] = true;
    }
    if (best < kAnalyzers.size()) group.analyzer = kAnalyzers[best];
    for (std::size_t k = best + 1; k < kAnalyzers.size(); ++k) {
      if (!present[k]) continue;
      if (!group.leftOutAnalyzers.empty()) group.leftOutAnalyzers += ",";
      group.leftOutAnalyzers += kAnalyzers[k];
    }
    for (const Taken& t : taken[g]) {
      if (t.rank == best || t.rank == kAnalyzers.size()) {
        group.spectra.push_back(t.spectrum);
      } else {
        ++group.leftOut;
      }
    }
    std::stable_sort(group.spectra.begin(), group.spectra.end(),
                     [](const scan* a, const scan* b) { return a->rt < b->rt; });
  }
  return groups;
}

const FullScanGroup* groupOfPolarity(const std::vector<FullScanGroup>& groups, char polarity) {
  const FullScanGroup* unknown = nullptr;
  for (const FullScanGroup& group : groups) {
    if (group.polarity == polarity) return &group;
    if (group.polarity == '?') unknown = &group;
  }
  return unknown;
}
