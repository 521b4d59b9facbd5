#include "util/tolerance_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTop = tolerancegrid::kRange;  // 2^48

}  // namespace

TEST(ToleranceGrid, CellsStopAtTheRangeAndSkipNonFiniteValues) {
  struct Case {
    double value;
    double tolerance;
    bool hasCell;
    std::int64_t cell;
  };
  const Case cases[] = {
      {kTop, 0.5, true, std::int64_t{1} << 48},  // width 1: the last value with a cell
      {-kTop, 0.5, true, -(std::int64_t{1} << 48)},
      {std::nextafter(kTop, kInf), 0.5, false, 0},
      {std::nextafter(-kTop, -kInf), 0.5, false, 0},
      {-0.1, 0.5, true, -1},
      {-0.0, 0.5, true, 0},
      {std::nan(""), 0.5, false, 0},
      {kInf, 0.5, false, 0},
      {1e300, kInf, true, 0},  // an infinite tolerance puts every finite value in cell 0
      {-kInf, kInf, false, 0},
  };
  for (const Case& c : cases) {
    std::int64_t cell = 12345;
    EXPECT_EQ(tolerancegrid::cellOf(c.value, c.tolerance, cell), c.hasCell)
        << c.value << " tol " << c.tolerance;
    if (c.hasCell) {
      EXPECT_EQ(cell, c.cell) << c.value;
    }
  }
}

// Two values that pass the strict window test sit in the same or neighbouring
// cells, also at the edge of the grid where the rounding of b + tol is largest.
TEST(ToleranceGrid, PairsInsideTheWindowAreNeighboursUpToTheEdge) {
  int checked = 0;
  for (double tolerance : {0.3, 0.5, 0.01, 1.0 / 3}) {
    const double edge = kTop * 2 * tolerance;
    for (double scale : {1.0, 0.999999, 0.5, 1e-6, -1.0, -0.75}) {
      const double b = scale * edge;
      double above = std::nextafter(b + tolerance, -kInf);  // largest a with a < b + tol
      double below = std::nextafter(b - tolerance, kInf);   // smallest a with b - tol < a
      for (double a : {above, below}) {
        if (!(b - tolerance < a && a < b + tolerance)) continue;
        std::int64_t cellA = 0, cellB = 0;
        if (!tolerancegrid::cellOf(a, tolerance, cellA) || !tolerancegrid::cellOf(b, tolerance, cellB))
          continue;
        EXPECT_LE(std::llabs(cellA - cellB), 1) << "tol " << tolerance << " b " << b << " a " << a;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 30);
}
