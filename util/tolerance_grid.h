#ifndef TORVA_UTIL_TOLERANCE_GRID_H
#define TORVA_UTIL_TOLERANCE_GRID_H

#include <cmath>
#include <cstddef>
#include <cstdint>

// Cells of a grid used to find pairs of values that lie strictly within a
// tolerance of each other, as tested by "b - tol < a && a < b + tol" (or the
// same with the roles swapped), with each sum rounded once.
//
// A cell is 2 x tol wide: cell(v) = floor(v / (2 tol)). Values with
// |v| <= 2^48 x 2 tol get a cell. For two such values that pass the test,
//   |a - b| < tol + rounding of b +- tol, and that rounding is at most
//   2^-53 x (2^49 + 1) tol < tol / 16,
// so |a - b| / (2 tol) < 0.532; each division is off by at most
// 2^-53 x 2^48 = 1/32, so the two quotients differ by less than 0.6 and their
// floors by at most one. A pair passing the test therefore always sits in the
// same or in neighbouring cells. Values without a cell (too far out, or not
// finite) must be looked at by every search.
//
// `tol` must be positive (possibly infinite: every value then has cell 0).
namespace tolerancegrid {

constexpr double kRange = 281474976710656.0;  // 2^48 cells either side of zero

inline bool cellOf(double value, double tolerance, std::int64_t& cell) {
  const double width = 2 * tolerance;
  if (!std::isfinite(value) || !(std::fabs(value) <= kRange * width)) return false;
  cell = static_cast<std::int64_t>(std::floor(value / width));
  return true;
}

// A hash for a small tuple of cell coordinates.
inline std::uint64_t mix(std::uint64_t seed, std::int64_t value) {
  std::uint64_t x =
      seed ^ (static_cast<std::uint64_t>(value) + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2));
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 27;
  return x;
}

// A cell of a mass/time grid. `group` keeps apart values that may never pair
// (features of different precursors); an index with one group leaves it 0.
struct Cell {
  std::int64_t group = 0;
  std::int64_t mass = 0;
  std::int64_t time = 0;

  bool operator==(const Cell& other) const {
    return group == other.group && mass == other.mass && time == other.time;
  }
  bool operator<(const Cell& other) const {
    if (group != other.group) return group < other.group;
    if (mass != other.mass) return mass < other.mass;
    return time < other.time;
  }
  // The cell `dm` mass cells and `dt` time cells away, in the same group.
  Cell offset(std::int64_t dm, std::int64_t dt) const { return Cell{group, mass + dm, time + dt}; }
};

struct CellHash {
  std::size_t operator()(const Cell& cell) const {
    return static_cast<std::size_t>(mix(mix(mix(0, cell.group), cell.mass), cell.time));
  }
};

// The cell of (mass, time) in `group`; false when either value has none.
inline bool cellOf(double mass, double massTolerance, double time, double timeTolerance, std::int64_t group,
                   Cell& cell) {
  cell.group = group;
  return cellOf(mass, massTolerance, cell.mass) && cellOf(time, timeTolerance, cell.time);
}

}  // namespace tolerancegrid

#endif
