#ifndef TORVA_ALIGN_GROUPING_H
#define TORVA_ALIGN_GROUPING_H

#include <cstddef>
#include <vector>

// A mass tolerance: the larger of a relative (ppm) and an absolute (Da) one.
struct MassTolerance {
  double ppm = 10;
  double da = 0;
  double at(double mz) const {
    const double relative = ppm * 1e-6 * mz;
    return relative > da ? relative : da;
  }
};

// One feature of one sample as the grouping sees it.
struct GroupMember {
  double mz = 0;
  double rt = 0;  // minutes, on whichever axis the caller groups by
  double area = 0;
  std::size_t sample = 0;
  std::size_t feature = 0;  // index in the sample's feature list
};

// Groups features of many samples: sorted by m/z, split wherever the next m/z
// lies beyond the tolerance of the previous one; each such run, sorted by
// time, is split wherever the next time lies more than `rtTolerance` after the
// previous one. A sample keeps at most one member per group, its largest area
// (on equal areas the earlier time); `setAside` counts the others, which are
// left out. Groups come out ordered by their first member's m/z and time; each
// group's members in sample order.
std::vector<std::vector<GroupMember>> groupMembers(std::vector<GroupMember> members,
                                                   const MassTolerance& mass, double rtTolerance,
                                                   std::size_t* setAside);

#endif
