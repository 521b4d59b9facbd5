#ifndef TORVA_UTIL_MASS_WINDOW_H
#define TORVA_UTIL_MASS_WINDOW_H

#include <cmath>

// Half-width of an m/z window around `mz`: a fixed number of daltons, or, when
// `ppm` is positive, that many parts per million of |mz|. High-resolution data
// need the relative form: 10 ppm is 0.001 at m/z 100 and 0.01 at m/z 1000.
inline double massWindow(double mz, double daltons, double ppm) {
  return ppm > 0 ? std::fabs(mz) * ppm * 1e-6 : daltons;
}

#endif
