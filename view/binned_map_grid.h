#ifndef TORVA_VIEW_BINNED_MAP_GRID_H
#define TORVA_VIEW_BINNED_MAP_GRID_H

#include <string>
#include <vector>

// The binned map of a run reduced for the page: consecutive spectra are merged into
// at most `maxRows` rows (each cell the highest intensity of the merged spectra),
// so a run of any length draws as one picture of bounded size.
struct BinnedMapGrid {
  std::vector<double> binLow;   // lower m/z edge of every bin, from the map's head line
  std::vector<double> rowTime;  // retention time of each row's first spectrum, in the map's unit
  std::vector<float> cells;     // rows x bins, row-major
  long long spectra = 0;        // rows of the map file
};

// Reads the map in two passes (count, then merge), holding only the reduced grid.
bool readBinnedMap(const std::string& path, int maxRows, BinnedMapGrid& grid, std::string& error);

#endif
