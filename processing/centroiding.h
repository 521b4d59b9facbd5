#ifndef TORVA_PROCESSING_CENTROIDING_H
#define TORVA_PROCESSING_CENTROIDING_H

// Centroiding of profile spectra: one centroid per peak of the sampled signal.
//
// A profile spectrum holds the signal sampled at closely spaced m/z values,
// several points across each ion's peak; converters usually leave out the runs
// of zero intensity between peaks, so a jump in the m/z spacing marks the end
// of a stretch of signal as a zero would. The picker:
//
//  1. Takes the points with finite m/z and intensity in m/z order (a negative
//     intensity counts as 0).
//  2. Splits them into stretches at gaps: a spacing more than `gapFactor`
//     times the second smallest spacing between two points of signal among it
//     and the three spacings on each side (the smallest when there is one;
//     any spacing when none is between two points of signal). Not the
//     smallest: a zero at a stretch's end may lie off the grid, and stitched
//     stretches can leave one spacing a tenth of the others.
//  3. Finds the local maxima of each stretch: a point above its left
//     neighbour and not below its right one (so a flat top counts once, at its
//     first point), with a neighbour on each side in the stretch. A maximum at
//     a stretch's (or the spectrum's) first or last point has no shape to
//     locate and is left out.
//  4. Gives each maximum its extent: the points down to the nearest minimum on
//     each side (a point not above the next one out), or to the stretch's end.
//     A peak with fewer than `minPoints` points of positive intensity in its
//     extent is left out: a lone point, or a pair, is noise or a peak too
//     poorly sampled to locate.
//  5. Places the centroid at the vertex of the parabola through the apex and
//     its two neighbours (Mz::Parabola), or at the intensity-weighted mean m/z
//     of the contiguous points at or above half the apex (Mz::HalfHeightMean);
//     its intensity is the parabola's height at the vertex (never below the
//     apex point), the peak's height as peak pickers report it.
//
// No signal-to-noise cut is made: the spectra's consumers (the resolver's S/N,
// the noise floors) judge the centroids as they judge a file's own. The result
// depends only on the points and the settings.

#include <cstddef>
#include <vector>

#include "records/records.h"

struct CentroidSettings {
  enum class Mz { Parabola, HalfHeightMean };
  Mz mz = Mz::Parabola;
  double gapFactor = 4;       // a spacing this many times the local reference (step 2) is a gap
  std::size_t minPoints = 3;  // points of positive intensity a peak needs
};

// The centroids of one profile spectrum's points, in m/z order.
std::vector<StoredPeak> centroidProfile(const std::vector<StoredPeak>& points,
                                        const CentroidSettings& settings = CentroidSettings());

// Whether a spectrum is to be centroided before its peaks are taken as centroids:
// the file says it holds profile data. A spectrum the file says nothing of is
// taken as it is.
inline bool needsCentroiding(const scan& spectrum) {
  return spectrum.representation == SpectrumRepresentation::Profile;
}

// Replaces the peaks of every spectrum of `spectra` that needsCentroiding() by
// its centroids, and marks it a centroid spectrum; returns how many were.
std::size_t centroidProfileSpectra(std::vector<scan>& spectra,
                                   const CentroidSettings& settings = CentroidSettings());

// `spectra` when none needs centroiding; else a copy with those centroided, in
// `own`, and their number in `centroided`. The copy keeps every spectrum at its
// position, so indices into one are indices into the other.
const std::vector<scan>& centroidedSpectra(const std::vector<scan>& spectra, std::vector<scan>& own,
                                           std::size_t& centroided);

#endif
