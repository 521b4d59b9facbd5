// The resolver: one mass trace split into chromatographic peaks (see peak_resolver.h).
#include "features/peak_resolver.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace {

// A missing centroid between two present ones becomes the straight line between them.
std::vector<double> fillGaps(const std::vector<TracePoint>& trace) {
  std::vector<double> filled(trace.size(), 0.0);
  std::size_t previous = trace.size();
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (!(trace[i].intensity > 0)) continue;
    filled[i] = trace[i].intensity;
    if (previous < trace.size() && i > previous + 1) {
      const double t0 = trace[previous].time;
      const double span = trace[i].time - t0;
      for (std::size_t k = previous + 1; k < i; ++k) {
        const double f = span > 0 ? (trace[k].time - t0) / span : 0.5;
        filled[k] = trace[previous].intensity + f * (trace[i].intensity - trace[previous].intensity);
      }
    }
    previous = i;
  }
  return filled;
}

// Median of a list (the lower middle value of an even count); 0 for none.
double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Jaggedness: the scan-to-scan departure relative to the level, as a standard
// deviation (1.4826 MAD). Measured in the logarithm, as the departure of each
// point from the cubic through its four neighbours (which has 1 + 34/36 times
// the variance of the point), over the points whose four neighbours have
// centroids: a Gaussian peak is a parabola in the logarithm and its flanks
// close to straight lines, which the cubic follows, so the trace's own peaks
// do not count as noise. (The departure from the two neighbours' mean took
// the curvature of every narrow peak for jitter, the more so the fewer
// spectra the peak spans.)
double jaggedness(const std::vector<double>& filled) {
  std::vector<double> departures;
  for (std::size_t i = 2; i + 2 < filled.size(); ++i) {
    bool present = true;
    for (std::size_t k = i - 2; k <= i + 2; ++k) present = present && filled[k] > 0;
    if (!present) continue;
    const auto log = [&](std::size_t k) { return std::log(filled[k]); };
    departures.push_back(std::fabs(log(i) - (4 * (log(i - 1) + log(i + 1)) - log(i - 2) - log(i + 2)) / 6));
  }
  if (departures.size() < 3) return 0;
  return 1.4826 * median(departures) / std::sqrt(1 + 34.0 / 36);
}

// The trace's own scan-to-scan noise in counts where it is low: the same
// measure as the jaggedness, not relative to the level, over the centroids at
// or under the median of the trace's centroids whose neighbours have one too.
// A background ion that jumps between 2e4 and 2e5 from scan to scan has bumps
// of that size that are no peaks. A trace of fewer such points is mostly a
// peak, whose own slopes are no noise: 0.
double absoluteJitter(const std::vector<double>& filled) {
  std::vector<double> present;
  for (double value : filled) {
    if (value > 0) present.push_back(value);
  }
  const double middle = median(present);
  std::vector<double> departures;
  for (std::size_t i = 1; i + 1 < filled.size(); ++i) {
    if (!(filled[i] > 0) || !(filled[i - 1] > 0) || !(filled[i + 1] > 0) || filled[i] > middle) continue;
    departures.push_back(std::fabs(filled[i] - 0.5 * (filled[i - 1] + filled[i + 1])));
  }
  const std::size_t enough = 10;
  if (departures.size() < enough) return 0;
  return 1.4826 * median(departures) / std::sqrt(1.5);
}

struct NoiseModel {
  double floor = 0;
  double relative = 0;
  double share = 1;   // noise of the smoothed trace over that of the raw trace
  double jitter = 0;  // counts: the least noise a feature's S/N is measured against
  double at(double level) const { return std::max(floor, relative * std::max(level, 0.0)); }
  // The noise a rise of the smoothed trace is measured against: the floor (a
  // level under which the instrument reports nothing clear, not a scatter) or
  // the jaggedness's share that is left after smoothing.
  double smoothedAt(double level) const { return std::max(floor, share * relative * std::max(level, 0.0)); }
};

// Positions of the local maxima of `s`: a rise to it and no rise after it
// (the first point of a plateau); the trace's ends count when they fall away.
std::vector<std::size_t> localMaxima(const std::vector<double>& s) {
  std::vector<std::size_t> maxima;
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!(s[i] > 0)) continue;
    const bool rises = i == 0 || s[i] > s[i - 1];
    if (!rises) continue;
    std::size_t j = i + 1;
    while (j < n && s[j] == s[i]) ++j;
    if (j == n || s[j] < s[i]) maxima.push_back(i);
  }
  return maxima;
}

// The higher of the two valleys that separate maximum `m` from a higher point
// (or the trace's end) on either side. A side that runs into an end where the
// trace is cut off (it still has signal there: the run starts or ends during
// an elution) is no valley: then only the other side counts.
double keyValley(const std::vector<double>& s, std::size_t m, bool cutStart, bool cutEnd) {
  if (s.size() < 2) return 0;
  bool leftOpen = true, rightOpen = true;
  double leftMin = s[m];
  for (std::size_t i = m; i-- > 0;) {
    if (s[i] > s[m]) {
      leftOpen = false;
      break;
    }
    leftMin = std::min(leftMin, s[i]);
  }
  double rightMin = s[m];
  for (std::size_t i = m + 1; i < s.size(); ++i) {
    if (s[i] > s[m]) {
      rightOpen = false;
      break;
    }
    rightMin = std::min(rightMin, s[i]);
  }
  const bool noLeft = m == 0 || (leftOpen && cutStart);
  const bool noRight = m + 1 == s.size() || (rightOpen && cutEnd);
  if (noLeft && noRight) return std::min(leftMin, rightMin);
  if (noLeft) return rightMin;
  if (noRight) return leftMin;
  return std::max(leftMin, rightMin);
}

std::size_t lowestBetween(const std::vector<double>& s, std::size_t from, std::size_t to) {
  std::size_t best = from;
  for (std::size_t i = from; i <= to; ++i) {
    if (s[i] < s[best]) best = i;
  }
  return best;
}

// Walks from the apex by `step` (+1 or -1) to the edge, not past `limit`.
// When `cutAtLimit` (the limit is the trace's end where the run starts or
// ends during an elution) and the walk reaches it over no rise of a peak of
// its own, the edge is that end: a dip a few scans before the cut is no edge.
std::size_t walkToEdge(const std::vector<double>& s, const std::vector<double>& baseline,
                       const std::vector<double>& filled, const NoiseModel& noise, double tolerance,
                       std::size_t apex, std::size_t limit, int step, bool cutAtLimit) {
  std::size_t lowest = apex;
  std::size_t i = apex;
  while (i != limit) {
    i = step > 0 ? i + 1 : i - 1;
    if (s[i] <= s[lowest]) {
      lowest = i;
    } else if (s[i] > s[lowest] + tolerance * noise.at(s[lowest])) {
      return lowest;
    }
    if (!(filled[lowest] > 0)) return lowest;  // the trace has ended
    if (s[lowest] - baseline[lowest] <= noise.at(baseline[lowest])) return lowest;
  }
  return cutAtLimit ? limit : lowest;
}

double lineAt(double t, double t0, double y0, double t1, double y1) {
  if (!(t1 > t0)) return 0.5 * (y0 + y1);
  return y0 + (t - t0) / (t1 - t0) * (y1 - y0);
}

// Time where the parabola through the apex and its neighbours tops, within them.
double refinedApexTime(const std::vector<TracePoint>& trace, const std::vector<double>& s, std::size_t apex) {
  if (apex == 0 || apex + 1 >= s.size()) return trace[apex].time;
  const double x0 = trace[apex - 1].time, x1 = trace[apex].time, x2 = trace[apex + 1].time;
  const double y0 = s[apex - 1], y1 = s[apex], y2 = s[apex + 1];
  const double d1 = (y1 - y0) / (x1 - x0);
  const double d2 = (y2 - y1) / (x2 - x1);
  const double curvature = (d2 - d1) / (x2 - x0);
  if (!(curvature < 0) || !std::isfinite(curvature)) return x1;
  // y = y0 + d1 (x - x0) + curvature (x - x0)(x - x1): its derivative is 0 at
  double top = 0.5 * (x0 + x1) - d1 / (2 * curvature);
  return std::min(std::max(top, x0), x2);
}

// The level a trace holds beyond the far edge `edge` of a peak cut off by the
// run, when that edge is the bottom of a dip the peak only climbs back out of:
// over `reach` seconds beyond the edge (walking away from the cut by `step`)
// the smoothed trace never falls under the edge and stands somewhere as high
// as the peak's apex; the level is the highest it stands there. An ion present
// all along and suppressed for a few scans by a strong co-eluting compound
// does that; a compound eluting as the run starts or ends does not (beyond its
// far edge the trace stays low, or a peak of its own comes and goes): -1.
double levelBeyondDip(const std::vector<TracePoint>& trace, const std::vector<double>& s, std::size_t apex,
                      std::size_t edge, int step, double reach) {
  double level = -1;
  std::size_t i = edge;
  while (step < 0 ? i > 0 : i + 1 < s.size()) {
    i = step < 0 ? i - 1 : i + 1;
    if (std::fabs(trace[i].time - trace[edge].time) > reach) break;
    if (s[i] < s[edge]) return -1;
    if (s[i] >= s[apex]) level = std::max(level, s[i]);
  }
  return level;
}

// A shoulder: a bump the curvature pass found beside a higher neighbour with no
// dip between them. The line under it on that side drops to the baseline at
// the split (a perpendicular drop): from the split's own level, on the
// neighbour's flank, the shoulder rises by nothing. Its apex is where the
// curvature response tops.
struct Shoulder {
  bool left = false, right = false;
  const std::vector<double>* baseline = nullptr;
  const std::vector<double>* response = nullptr;
};

void measure(const std::vector<TracePoint>& trace, const std::vector<double>& filled,
             const std::vector<double>& s, const NoiseModel& noise, bool cutStart, bool cutEnd, double reach,
             const Shoulder& shoulder, ResolvedPeak& peak) {
  const std::size_t l = peak.left, r = peak.right;
  const double tl = trace[l].time, tr = trace[r].time;
  // The line joins the edges at the lower of the smoothed and the raw trace:
  // where the trace has ended, the smoothing's spill is no baseline. An edge
  // where the trace is cut off mid-elution says nothing of the baseline: the
  // line is then level with the other edge. Where the other edge is the bottom
  // of a dip and the trace beyond it held the peak's height, the peak is the
  // ion's own level coming back, and the line is level with that: no rise.
  double yl = std::min(s[l], filled[l]), yr = std::min(s[r], filled[r]);
  const bool cutLeft = cutStart && l == 0, cutRight = cutEnd && r + 1 == s.size();
  if (cutLeft != cutRight) {
    const double level = cutLeft ? levelBeyondDip(trace, s, peak.apex, r, +1, reach)
                                 : levelBeyondDip(trace, s, peak.apex, l, -1, reach);
    if (level >= 0) {
      yl = yr = level;
    } else if (cutLeft) {
      yl = yr;
    } else {
      yr = yl;
    }
  }
  if (shoulder.left) yl = std::min(yl, (*shoulder.baseline)[l]);
  if (shoulder.right) yr = std::min(yr, (*shoulder.baseline)[r]);
  const auto line = [&](std::size_t i) { return lineAt(trace[i].time, tl, yl, tr, yr); };
  peak.startTime = tl;
  peak.endTime = tr;
  const bool onFlank = (shoulder.left || shoulder.right) && shoulder.response;
  // Within the edges: the parabola through a bump next to an edge may top beyond it.
  peak.apexTime =
      std::min(std::max(refinedApexTime(trace, onFlank ? *shoulder.response : s, peak.apex), tl), tr);
  double weighted = 0, weight = 0;
  peak.mzMin = 0;
  peak.mzMax = 0;
  for (std::size_t i = l; i <= r; ++i) {
    const TracePoint& point = trace[i];
    if (i > l) {
      const double dt = point.time - trace[i - 1].time;
      peak.area += 0.5 * dt * (filled[i] + filled[i - 1]);
      peak.areaCorrected += 0.5 * dt * (filled[i] - line(i) + filled[i - 1] - line(i - 1));
    }
    if (!(point.intensity > 0)) continue;
    ++peak.points;
    peak.height = std::max(peak.height, point.intensity);
    weighted += point.mz * point.intensity;
    weight += point.intensity;
    if (peak.mzMin == 0 || point.mz < peak.mzMin) peak.mzMin = point.mz;
    if (point.mz > peak.mzMax) peak.mzMax = point.mz;
  }
  peak.areaCorrected = std::max(0.0, peak.areaCorrected);
  peak.mz = weight > 0 ? weighted / weight : 0;

  const double apexLine = line(peak.apex);
  const double rise = s[peak.apex] - apexLine;
  peak.noise = std::max(noise.smoothedAt(apexLine), noise.jitter);
  peak.sn = peak.noise > 0 ? rise / peak.noise : 0;
  // Full width at half the rise above the line, interpolated between points.
  double left = tl, right = tr;
  for (std::size_t i = peak.apex; i > l; --i) {
    const double above = s[i - 1] - line(i - 1);
    if (above < 0.5 * rise) {
      const double upper = s[i] - line(i);
      const double f = (upper - 0.5 * rise) / (upper - above);
      left = trace[i].time - f * (trace[i].time - trace[i - 1].time);
      break;
    }
  }
  for (std::size_t i = peak.apex; i < r; ++i) {
    const double above = s[i + 1] - line(i + 1);
    if (above < 0.5 * rise) {
      const double upper = s[i] - line(i);
      const double f = (upper - 0.5 * rise) / (upper - above);
      right = trace[i].time + f * (trace[i + 1].time - trace[i].time);
      break;
    }
  }
  peak.fwhm = rise > 0 ? right - left : 0;

  // Shape: correlation with a Gaussian of the same apex and width.
  const double sigma = peak.fwhm / 2.354820045;
  const std::size_t n = r - l + 1;
  if (n >= 3 && sigma > 0) {
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (std::size_t i = l; i <= r; ++i) {
      const double z = (trace[i].time - peak.apexTime) / sigma;
      const double x = std::exp(-0.5 * z * z);
      const double y = filled[i] - line(i);
      sx += x;
      sy += y;
      sxx += x * x;
      syy += y * y;
      sxy += x * y;
    }
    const double count = static_cast<double>(n);
    const double cov = sxy - sx * sy / count;
    const double vx = sxx - sx * sx / count;
    const double vy = syy - sy * sy / count;
    const double r2 = vx > 0 && vy > 0 ? cov / std::sqrt(vx * vy) : 0;
    peak.shape = std::min(1.0, std::max(0.0, r2));
  }
}

// Standard deviation of binomially smoothed white noise, relative to the noise.
double smoothingNoiseShare(std::size_t points) {
  // An impulse far enough from the ends that the kernel is never cut there.
  const std::size_t half = points / 2;
  std::vector<double> unit(4 * half + 1, 0.0);
  unit[2 * half] = 1;
  double sum = 0;
  for (double w : binomialSmooth(unit, points)) sum += w * w;
  return std::sqrt(sum);
}

// Negated second derivative of a Gaussian of `sigma` points, shifted to sum to
// 0: its response to a constant or a straight line is 0, to a tail that curves
// upward (convex) negative, and to a bump of about that width positive. With
// its response to a Gaussian of height 1 and that width (`unit`), and the root
// of its squared weights (`share`: how much of a point's noise it passes).
struct CurvatureKernel {
  std::vector<double> weights;
  double unit = 0;
  double share = 0;
};

CurvatureKernel curvatureKernel(double sigma) {
  const std::size_t half = static_cast<std::size_t>(std::ceil(4 * sigma));
  CurvatureKernel kernel;
  std::vector<double>& w = kernel.weights;
  w.resize(2 * half + 1);
  std::vector<double> gaussian(w.size());
  double sum = 0;
  for (std::size_t j = 0; j < w.size(); ++j) {
    const double z = (static_cast<double>(j) - static_cast<double>(half)) / sigma;
    gaussian[j] = std::exp(-0.5 * z * z);
    w[j] = (1 - z * z) * gaussian[j];
    sum += w[j];
  }
  for (double& weight : w) weight -= sum / static_cast<double>(w.size());
  for (std::size_t j = 0; j < w.size(); ++j) {
    kernel.share += w[j] * w[j];
    kernel.unit += w[j] * gaussian[j];
  }
  kernel.share = std::sqrt(kernel.share);
  return kernel;
}

// The kernel applied at every point, the trace held at its end values beyond them.
std::vector<double> curvatureResponse(const std::vector<double>& values, const std::vector<double>& kernel) {
  const std::size_t n = values.size(), half = kernel.size() / 2;
  std::vector<double> out(n, 0.0);
  const std::size_t width = kernel.size();
  for (std::size_t i = 0; i < n; ++i) {
    double sum = 0;
    if (i >= half && i + width - half <= n) {
      // Inside: no end to hold (the same terms in the same order).
      const double* v = values.data() + (i - half);
      for (std::size_t j = 0; j < width; ++j) sum += kernel[j] * v[j];
    } else {
      for (std::size_t j = 0; j < width; ++j) {
        const std::size_t k = i + j < half ? 0 : std::min(n - 1, i + j - half);
        sum += kernel[j] * values[k];
      }
    }
    out[i] = sum;
  }
  return out;
}

// Sigma in points of the steeper flank of the peak at `apex`: the points from
// the apex to where the smoothed trace falls to half its rise over the
// baseline, over 1.1774 (half the fwhm of a Gaussian in sigmas). A tailing
// peak's tail says nothing of how narrow a compound elutes; 0 when neither
// flank falls to half within the trace.
double flankSigma(const std::vector<double>& s, const std::vector<double>& baseline, std::size_t apex) {
  const double half = baseline[apex] + 0.5 * (s[apex] - baseline[apex]);
  double best = 0;
  for (int step : {-1, +1}) {
    std::size_t i = apex;
    std::size_t count = 0;
    bool reached = false;
    while (step < 0 ? i > 0 : i + 1 < s.size()) {
      i = step < 0 ? i - 1 : i + 1;
      ++count;
      if (s[i] <= half) {
        reached = true;
        break;
      }
    }
    if (!reached) continue;
    const double sigma = static_cast<double>(count) / 1.1774;
    if (best == 0 || sigma < best) best = sigma;
  }
  return best;
}

// Maxima the valley test passes over: a weaker compound on the flank or the
// tail of a stronger one of the same m/z whose smoothed trace dips too little
// between them (or not at all: a shoulder) for a valley of three noise levels.
// They stand out in the trace's curvature instead: the response of the raw
// trace to the negated second derivative of a Gaussian as wide as the trace's
// sharpest peak flank, where a straight or upward-curving tail gives nothing
// or less than nothing. A bump is kept where that response is at least
// `minProminence` times its own noise (the raw noise at the smoothed level
// times the root of the sum of the squared weights), the response falls to at
// least one noise level below 0 between it and every higher maximum it lies
// beside (the flank curves upward there, as it does in a valley), its height
// (the response over that of a Gaussian of height 1) is at least
// `minRelativeProminence` of the smoothed trace's height over the baseline
// there, and it lies at least two sigmas from every maximum already kept.
// Traces whose highest peak is wider than 16 points a sigma (a background
// hump, not an elution) are left as they are.
// The least shape (see ResolvedPeak::shape) of a bump found by the curvature
// pass: an isomer on the flank of a tailing peak measured 0.42 to 0.63 (its
// piece starts high, at the split), the pieces of jagged tails and of plateaus
// at the threshold of an Orbitrap run 0 to 0.2.
constexpr double kLeastBumpShape = 0.3;

struct Curvature {
  std::vector<std::size_t> maxima;
  std::vector<double> response;  // empty when the trace has no peak to take a width from
};

// The bumps of one kernel width: candidates by falling response (the strongest
// bump of a cluster first), each tested against the maxima kept so far, which
// it joins when it passes.
void curvatureBumps(const std::vector<double>& filled, const std::vector<double>& s,
                    const std::vector<double>& baseline, const NoiseModel& noise, double sigma,
                    const CurvatureKernel& kernel, const std::vector<double>& r,
                    const ResolverSettings& settings, const std::vector<TracePoint>* measured,
                    std::vector<std::size_t>& apexes, std::vector<std::size_t>& found) {
  const double unit = kernel.unit, share = kernel.share;
  if (!(unit > 0)) return;
  const std::size_t n = s.size();
  const auto rNoise = [&](std::size_t i) { return share * std::max(noise.at(s[i]), noise.jitter); };
  const double apart = 2 * sigma;
  std::vector<std::size_t> candidates;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (r[i] > r[i - 1] && r[i] >= r[i + 1] && r[i] >= settings.minProminence * rNoise(i))
      candidates.push_back(i);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [&](std::size_t a, std::size_t b) { return r[a] > r[b]; });
  for (std::size_t c : candidates) {
    if (!(filled[c] > 0)) continue;
    // Where it is given, the bump and both its neighbours must be measured, not
    // bridged: a kernel this narrow answers the corners of a line drawn over a
    // missing centroid as it answers a bump.
    if (measured && !((*measured)[c - 1].intensity > 0 && (*measured)[c].intensity > 0 &&
                      (*measured)[c + 1].intensity > 0))
      continue;
    bool near = false;
    for (std::size_t m : apexes) {
      if (std::fabs(static_cast<double>(m) - static_cast<double>(c)) < apart) near = true;
    }
    if (near) continue;
    // The neighbouring kept maxima on each side, and the response between.
    bool separated = true, beside = false;
    for (int step : {-1, +1}) {
      std::size_t m = n;
      for (std::size_t a : apexes) {
        const bool side = step < 0 ? a < c : a > c;
        if (side && (m == n || (step < 0 ? a > m : a < m))) m = a;
      }
      if (m == n || s[m] <= s[c]) continue;
      beside = true;
      const std::size_t from = std::min(m, c), to = std::max(m, c);
      double lowest = r[from];
      std::size_t at = from;
      for (std::size_t i = from; i <= to; ++i) {
        if (r[i] < lowest) {
          lowest = r[i];
          at = i;
        }
      }
      if (lowest > -rNoise(at)) separated = false;
    }
    if (!beside || !separated) continue;
    if (r[c] / unit < settings.minRelativeProminence * (s[c] - baseline[c])) continue;
    found.push_back(c);
    apexes.push_back(c);
  }
}

Curvature curvatureMaxima(const std::vector<TracePoint>& trace, const std::vector<double>& filled,
                          const std::vector<double>& s, const std::vector<double>& baseline,
                          const NoiseModel& noise, const std::vector<std::size_t>& kept,
                          const ResolverSettings& settings) {
  Curvature result;
  if (kept.empty()) return result;
  std::size_t top = kept[0];
  for (std::size_t m : kept) {
    if (s[m] - baseline[m] > s[top] - baseline[top]) top = m;
  }
  const double sigma = flankSigma(s, baseline, top);
  if (!(sigma >= 1) || sigma > 16) return result;
  const CurvatureKernel kernel = curvatureKernel(sigma);
  result.response = curvatureResponse(filled, kernel.weights);
  std::vector<std::size_t> apexes = kept;
  curvatureBumps(filled, s, baseline, noise, sigma, kernel, result.response, settings, nullptr, apexes,
                 result.maxima);
  // A weaker compound may elute narrower than the flank measured (which the
  // smoothing widens, too): on the falling flank of a broad or tailing peak a
  // bump of half that width curves downward only within a kernel of about its
  // own width, while the wider kernel still sees the flank curving upward
  // there. Never narrower than 1.5 points: a kernel of 1 point answers the
  // scan-to-scan jumps of a jagged trace (every second scan high).
  const double narrow = std::max(1.5, 0.5 * sigma);
  if (settings.narrowCurvature && sigma - narrow >= 0.5) {
    const CurvatureKernel narrowKernel = curvatureKernel(narrow);
    const std::vector<double> response = curvatureResponse(filled, narrowKernel.weights);
    curvatureBumps(filled, s, baseline, noise, narrow, narrowKernel, response, settings, &trace, apexes,
                   result.maxima);
  }
  return result;
}
}  // namespace

std::vector<double> binomialSmooth(const std::vector<double>& values, std::size_t points) {
  const std::size_t half = points / 2;
  if (half == 0 || values.size() < 2) return values;
  std::vector<double> kernel(1, 1.0);
  for (std::size_t k = 0; k < 2 * half; ++k) {
    std::vector<double> next(kernel.size() + 1, 0.0);
    for (std::size_t j = 0; j < kernel.size(); ++j) {
      next[j] += kernel[j];
      next[j + 1] += kernel[j];
    }
    kernel.swap(next);
  }
  const std::size_t n = values.size();
  std::vector<double> out(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    double sum = 0, weight = 0;
    for (std::size_t j = 0; j < kernel.size(); ++j) {
      if (i + j < half || i + j - half >= n) continue;
      sum += kernel[j] * values[i + j - half];
      weight += kernel[j];
    }
    out[i] = sum / weight;
  }
  return out;
}

std::vector<double> movingOpening(const std::vector<double>& values, const std::vector<double>& times,
                                  double window) {
  const std::size_t n = values.size();
  const double half = 0.5 * window;
  // One pass of a moving extreme over [t - half, t + half] with a monotone deque.
  const auto moving = [&](const std::vector<double>& in, bool minimum) {
    std::vector<double> out(n, 0.0);
    std::deque<std::size_t> kept;
    std::size_t next = 0;
    const auto better = [minimum](double a, double b) { return minimum ? a <= b : a >= b; };
    for (std::size_t i = 0; i < n; ++i) {
      while (next < n && times[next] <= times[i] + half) {
        while (!kept.empty() && better(in[next], in[kept.back()])) kept.pop_back();
        kept.push_back(next++);
      }
      while (times[kept.front()] < times[i] - half) kept.pop_front();
      out[i] = in[kept.front()];
    }
    return out;
  };
  if (n == 0) return {};
  return moving(moving(values, true), false);
}

bool onPersistentBackground(const std::vector<double>& s, const std::vector<double>& baseline,
                            const std::vector<double>& times, std::size_t apex,
                            const ResolverSettings& settings, TraceEnds ends) {
  const double level = baseline[apex];
  if (!(settings.minRiseOverBackground > 0) || !(level > 0)) return false;
  if (s[apex] - level >= settings.minRiseOverBackground * level) return false;
  double from = times[apex] - settings.backgroundReach, to = times[apex] + settings.backgroundReach;
  // Where the run starts or ends within the reach, the level must hold up to there, and over the whole reach
  // on the other side.
  const bool clippedFront = times.front() > from, clippedBack = times.back() < to;
  if ((clippedFront && !ends.runStart) || (clippedBack && !ends.runEnd) || (clippedFront && clippedBack))
    return false;
  from = std::max(from, times.front());
  to = std::min(to, times.back());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (times[i] >= from && times[i] <= to && baseline[i] < 0.5 * level) return false;
  }
  return true;
}

std::vector<ResolvedPeak> resolvePeaks(const std::vector<TracePoint>& trace, double noiseFloor,
                                       const ResolverSettings& settings, TraceEnds ends) {
  std::vector<ResolvedPeak> peaks;
  const std::size_t n = trace.size();
  if (n < 2) return peaks;
  const std::vector<double> filled = fillGaps(trace);
  const std::vector<double> s = binomialSmooth(filled, settings.smoothPoints);
  std::vector<double> times(n);
  for (std::size_t i = 0; i < n; ++i) times[i] = trace[i].time;
  const std::vector<double> baseline = movingOpening(s, times, settings.baselineWindow);
  NoiseModel noise;
  noise.floor = noiseFloor;
  noise.relative = jaggedness(filled);
  noise.jitter = absoluteJitter(filled);

  // Maxima that stand out from their valleys. Prominences and rises are of the
  // smoothed trace, whose noise is the raw noise times the root of the sum of
  // the squared kernel weights (0.52 for 5 points).
  const double smoothedShare = smoothingNoiseShare(settings.smoothPoints);
  noise.share = smoothedShare;
  std::vector<std::size_t> kept;
  const bool cutStart = ends.runStart && filled.front() > 0, cutEnd = ends.runEnd && filled.back() > 0;
  for (std::size_t m : localMaxima(s)) {
    const double valley = keyValley(s, m, cutStart, cutEnd);
    const double prominence = s[m] - valley;
    if (prominence < settings.minProminence * smoothedShare * noise.at(valley)) continue;
    if (prominence < settings.minRelativeProminence * (s[m] - baseline[m])) continue;
    kept.push_back(m);
  }
  const Curvature curvature = curvatureMaxima(trace, filled, s, baseline, noise, kept, settings);
  kept.insert(kept.end(), curvature.maxima.begin(), curvature.maxima.end());
  std::vector<std::size_t> bumps = curvature.maxima;
  std::sort(bumps.begin(), bumps.end());
  std::sort(kept.begin(), kept.end());
  // Split points between neighbours (where the smoothed trace has no dip
  // between them, a shoulder, where it curves upward most), then edges within them.
  const auto splitAndMeasure = [&](std::vector<ResolvedPeak>& measured) {
    measured.clear();
    std::vector<std::size_t> splits;
    for (std::size_t k = 0; k + 1 < kept.size(); ++k) {
      std::size_t split = lowestBetween(s, kept[k], kept[k + 1]);
      if ((split == kept[k] || split == kept[k + 1]) && !curvature.response.empty()) {
        split = lowestBetween(curvature.response, kept[k], kept[k + 1]);
      }
      splits.push_back(split);
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {
      ResolvedPeak peak;
      peak.apex = kept[k];
      const std::size_t low = k == 0 ? 0 : splits[k - 1];
      const std::size_t high = k + 1 == kept.size() ? n - 1 : splits[k];
      const double tolerance = settings.edgeTolerance * smoothedShare;
      peak.left = walkToEdge(s, baseline, filled, noise, tolerance, peak.apex, low, -1, cutStart && k == 0);
      peak.right = walkToEdge(s, baseline, filled, noise, tolerance, peak.apex, high, +1,
                              cutEnd && k + 1 == kept.size());
      // A bump of the curvature pass on a slope rises towards its stronger
      // neighbour at once: its edge on that side is the split.
      if (peak.left == peak.apex && k > 0) peak.left = low;
      if (peak.right == peak.apex && k + 1 < kept.size()) peak.right = high;
      Shoulder shoulder;
      if (std::binary_search(bumps.begin(), bumps.end(), peak.apex)) {
        shoulder.left = k > 0 && s[kept[k - 1]] > s[peak.apex];
        shoulder.right = k + 1 < kept.size() && s[kept[k + 1]] > s[peak.apex];
        shoulder.baseline = &baseline;
        shoulder.response = &curvature.response;
      }
      measure(trace, filled, s, noise, cutStart, cutEnd, 0.5 * settings.baselineWindow, shoulder, peak);
      measured.push_back(peak);
    }
  };
  // A bump of the curvature pass must show a peak's shape of its own between
  // its edges: the kernels also answer the jumps of a jagged tail (every
  // second scan high, which the narrower one sees most), whose pieces correlate
  // with no peak. Nor is a bump a peak of its own when the split towards its
  // neighbour falls on the bump itself (it sits on the rising flank, below the
  // trace's dip beyond its top): it has no extent on that side. Those are taken
  // back, and the trace split again without them.
  std::vector<ResolvedPeak> measured;
  for (;;) {
    splitAndMeasure(measured);
    std::vector<std::size_t> shapeless;
    for (const ResolvedPeak& peak : measured) {
      if (std::binary_search(bumps.begin(), bumps.end(), peak.apex) &&
          (peak.shape < kLeastBumpShape || peak.left == peak.apex || peak.right == peak.apex))
        shapeless.push_back(peak.apex);
    }
    if (shapeless.empty()) break;
    const auto taken = [&](std::size_t m) {
      return std::binary_search(shapeless.begin(), shapeless.end(), m);
    };
    kept.erase(std::remove_if(kept.begin(), kept.end(), taken), kept.end());
    bumps.erase(std::remove_if(bumps.begin(), bumps.end(), taken), bumps.end());
  }
  for (const ResolvedPeak& peak : measured) {
    if (onPersistentBackground(s, baseline, times, peak.apex, settings, ends)) continue;
    peaks.push_back(peak);
  }
  return peaks;
}
