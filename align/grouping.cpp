#include "align/grouping.h"

#include <algorithm>
#include <tuple>

namespace {

bool byMass(const GroupMember& a, const GroupMember& b) {
  return std::tie(a.mz, a.rt, a.sample, a.feature) < std::tie(b.mz, b.rt, b.sample, b.feature);
}

bool byTime(const GroupMember& a, const GroupMember& b) {
  return std::tie(a.rt, a.mz, a.sample, a.feature) < std::tie(b.rt, b.mz, b.sample, b.feature);
}

// Keeps one member per sample: the largest area, then the earlier time.
std::vector<GroupMember> onePerSample(std::vector<GroupMember> group, std::size_t* setAside) {
  std::sort(group.begin(), group.end(), [](const GroupMember& a, const GroupMember& b) {
    if (a.sample != b.sample) return a.sample < b.sample;
    if (a.area != b.area) return a.area > b.area;
    return byTime(a, b);
  });
  std::vector<GroupMember> kept;
  for (const GroupMember& member : group) {
    if (!kept.empty() && kept.back().sample == member.sample) {
      ++*setAside;
    } else {
      kept.push_back(member);
    }
  }
  return kept;
}

}  // namespace

std::vector<std::vector<GroupMember>> groupMembers(std::vector<GroupMember> members,
                                                   const MassTolerance& mass, double rtTolerance,
                                                   std::size_t* setAside) {
  std::size_t ignored = 0;
  if (setAside == nullptr) setAside = &ignored;
  std::sort(members.begin(), members.end(), byMass);
  std::vector<std::vector<GroupMember>> groups;
  std::vector<GroupMember> run;
  const auto closeRun = [&]() {
    std::sort(run.begin(), run.end(), byTime);
    std::size_t begin = 0;
    for (std::size_t k = 1; k <= run.size(); ++k) {
      if (k == run.size() || run[k].rt - run[k - 1].rt > rtTolerance) {
        groups.push_back(
            onePerSample(std::vector<GroupMember>(run.begin() + begin, run.begin() + k), setAside));
        begin = k;
      }
    }
    run.clear();
  };
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (k > 0 && members[k].mz - members[k - 1].mz > mass.at(members[k - 1].mz)) closeRun();
    run.push_back(members[k]);
  }
  if (!run.empty()) closeRun();
  std::sort(groups.begin(), groups.end(),
            [](const std::vector<GroupMember>& a, const std::vector<GroupMember>& b) {
              const auto first = [](const std::vector<GroupMember>& g) {
                return *std::min_element(g.begin(), g.end(), byMass);
              };
              return byMass(first(a), first(b));
            });
  return groups;
}
