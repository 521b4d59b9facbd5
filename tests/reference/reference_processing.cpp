#include "tests/reference/reference_processing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "processing/symmlet8.h"

namespace reference {

namespace {

// ---- generation ----

double traceSumInWindow(const scan& spectrum, double targetMz, double tolerance) {
  double sum = 0.0;
  for (const datapeak& peak : spectrum.peaks) {
    if (targetMz > peak.mz - tolerance && targetMz < peak.mz + tolerance) sum += peak.intensity;
  }
  return sum;
}

// ---- wavelet ----

bool validLevel(const std::vector<double>& values, int len) {
  return len > 0 && len % 2 == 0 && static_cast<std::size_t>(len) <= values.size();
}

void synthesize(std::vector<double>& values, int half, bool withDetails) {
  const std::size_t h = static_cast<std::size_t>(half);
  const std::size_t len = 2 * h;
  std::vector<double> rebuilt(len, 0.0);
  for (std::size_t i = 0; i < h; ++i) {
    const double a = values[i];
    const double d = withDetails ? values[h + i] : 0.0;
    for (std::size_t m = 0; m < 8; ++m) {
      rebuilt[(2 * i + m) % len] += a * FastSymmlet8::L[m] + d * FastSymmlet8::H[m];
    }
  }
  std::copy(rebuilt.begin(), rebuilt.end(), values.begin());
}

// ---- peak detection ----

const int kDenoisePasses = 10;
const double kDenoiseFraction = 0.15;
const std::size_t kShortestSmoothedTrace = 12;
const int kDropsEndingWalk = 2;
const double kWidestFlank = 30;

struct ApexWalk {
  double highest = 0.0;
  std::size_t index = 0;
  double time = 0;
  std::int32_t scanNumber = 0;
  int drops = 0;

  bool visit(const chrom& X, const std::vector<double>& y, std::size_t k, double cutoff) {
    const double value = y.at(k);
    if (value > highest) {
      highest = value;
      index = k;
      time = X.times.at(k);
      scanNumber = X.scanNumbers.at(k);
    } else if (value < highest) {
      ++drops;
    } else if (highest < cutoff) {
      return false;
    }
    return drops < kDropsEndingWalk;
  }
};

std::ptrdiff_t seedIndex(const chrom& X, std::size_t points) {
  for (std::size_t k = 0; k < X.times.size() && k < points; ++k) {
    if (X.times[k] == X.seedTime) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

std::ptrdiff_t peakStart(const std::vector<double>& y, const std::vector<double>& raw,
                         const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return -1;
  if (apex == 1) return 0;
  const std::size_t n = y.size();
  std::size_t left = apex;
  for (;;) {
    if (left + 1 >= n) return static_cast<std::ptrdiff_t>(left) - 1;
    const bool descends = y.at(left) > y.at(left - 1) && raw.at(left) > floor &&
                          t.at(apex) - t.at(left) <= kWidestFlank;
    if (!descends) return static_cast<std::ptrdiff_t>(left) - 1;
    --left;
    if (left <= 1) return static_cast<std::ptrdiff_t>(left) - 1;
  }
}

std::size_t peakEnd(const std::vector<double>& y, const std::vector<double>& raw,
                    const std::vector<double>& t, std::size_t apex, double floor) {
  if (apex == 0) return 1;
  const std::size_t n = y.size();
  std::size_t right = apex;
  for (;;) {
    if (right + 1 >= n) return right + 1;
    const bool descends = y.at(right) > y.at(right + 1) && raw.at(right) > floor &&
                          t.at(right) - t.at(apex) <= kWidestFlank;
    if (!descends) return right + 1;
    ++right;
  }
}

void featureMass(const fileHandle& run, const channel& ch, chrom& X, std::size_t start,
                 std::size_t end, double tolerance) {
  double sum = 0.0;
  long long count = 0;
  for (std::size_t k = start; k < end; ++k) {
    if (k >= ch.scans.size() || ch.scans[k] >= run.scans.size()) continue;
    for (const datapeak& peak : run.scans[ch.scans[k]].peaks) {
      if (peak.mz > X.mz - tolerance && peak.mz < X.mz + tolerance) {
        sum += peak.mz;
        ++count;
      }
    }
  }
  if (count > 0) X.peakMz = sum / count;
}

void markNoPeak(chrom& X) {
  X.apexIntensity = 0;
  X.apexTime = 0;
  X.apexScan = 0;
  X.peakMz = X.mz;
}

}  // namespace

void pickPeaks(const filterer& params, scan* spectrum, std::vector<datapeak>& out) {
  if (spectrum == nullptr) return;
  const double intensityFloor = static_cast<double>(params.cutoff);
  for (datapeak& peak : spectrum->peaks) {
    if (!(peak.intensity > intensityFloor)) continue;
    if (!(peak.intensity > 0.025 * spectrum->totIonCurrent)) continue;
    peak.rt = spectrum->rt;
    out.push_back(peak);
  }
}

void generateXIC(const filterer& params, fileHandle& run) {
  for (channel& ch : run.channels) {
    if (ch.scans.empty()) continue;
    const std::size_t spectrumCount = ch.scans.size();
    bool targetsUsed = false;
    for (std::size_t pass = 0; pass < spectrumCount && !targetsUsed; ++pass) {
      scan& seedSpectrum = run.scans.at(ch.scans.at(pass));
      std::vector<datapeak> seeds = run.targetPeaks;
      if (seeds.empty()) {
        pickPeaks(params, &seedSpectrum, seeds);
      } else {
        targetsUsed = true;
      }
      for (const datapeak& seed : seeds) {
        chrom X;
        X.mz = seed.mz;
        X.seedIntensity = seed.intensity;
        X.seedTime = seedSpectrum.rt;
        X.seedScan = static_cast<std::int32_t>(seedSpectrum.num);
        for (std::size_t index : ch.scans) {
          const scan& spectrum = run.scans.at(index);
          X.times.push_back(spectrum.rt);
          X.scanNumbers.push_back(static_cast<std::int32_t>(spectrum.num));
          const double sum = traceSumInWindow(spectrum, seed.mz, params.massWindowAt(seed.mz));
          X.intensities.push_back(sum);
          X.totalIntensity += sum;
        }
        if (targetsUsed) {
          // A target is seeded where its trace is first at its highest.
          std::size_t best = 0;
          for (std::size_t k = 1; k < X.intensities.size(); ++k) {
            if (X.intensities[k] > X.intensities[best]) best = k;
          }
          X.seedTime = X.times[best];
          X.seedScan = X.scanNumbers[best];
        }
        ch.chroms.push_back(std::move(X));
      }
    }
  }
}

void SGsmooth(int window, chrom& X) {
  static const int c7[] = {-2, 3, 6, 7, 6, 3, -2};
  static const int c17[] = {-21, -6, 7, 18, 27, 34, 39, 42, 43, 42, 39, 34, 27, 18, 7, -6, -21};
  static const int c25[] = {-253, -138, -33, 62,  147, 222, 287, 342, 387, 422, 447, 462, 467,
                            462,  447,  422, 387, 342, 287, 222, 147, 62,  -33, -138, -253};
  std::vector<double>& x = X.intensities;
  const std::size_t n = x.size();
  if (n < 12) return;
  const int* c = window <= 5 ? c7 : (window <= 10 ? c17 : c25);
  const std::size_t h = window <= 5 ? 3 : (window <= 10 ? 8 : 12);
  const double divisor = window <= 5 ? 21.0 : (window <= 10 ? 323.0 : 5175.0);
  if (n > 2 * h) {
    std::vector<double> smoothed(x);
    for (std::size_t i = h; i + h < n; ++i) {
      double sum = 0.0;
      for (std::size_t j = 0; j <= 2 * h; ++j) sum += static_cast<double>(c[j]) * x[i - h + j];
      smoothed[i] = sum / divisor;
    }
    x.swap(smoothed);
  }
  for (double& value : x) {
    if (value < 0) value = 0;
  }
}

void trapizoid(chrom& X, int start, int end) {
  const std::vector<double>& t = X.times;
  const std::vector<double>& y = X.intensities;
  if (start == end) {
    X.area = y.at(static_cast<std::size_t>(start));
  } else if (end >= start + 2) {
    double sum = 0.0;
    for (int k = start + 1; k < end; ++k) {
      const std::size_t at = static_cast<std::size_t>(k);
      sum += (y.at(at) + y.at(at - 1)) * (t.at(at) - t.at(at - 1));
    }
    X.area = 0.5 * sum;
  } else {
    X.area = 0;
  }
}

void transform(std::vector<double>& values, int n) {
  for (int len = n; len > 8; len /= 2) transformLevel(values, len);
}

void transformLevel(std::vector<double>& values, int len) {
  if (!validLevel(values, len)) return;
  const std::size_t length = static_cast<std::size_t>(len);
  const std::size_t half = length / 2;
  std::vector<double> out(length);
  for (std::size_t i = 0; i < half; ++i) {
    double a = FastSymmlet8::L[0] * values[(2 * i) % length];
    double d = FastSymmlet8::H[0] * values[(2 * i) % length];
    for (std::size_t m = 1; m < 8; ++m) {
      const double x = values[(2 * i + m) % length];
      a += FastSymmlet8::L[m] * x;
      d += FastSymmlet8::H[m] * x;
    }
    out[i] = a;
    out[half + i] = d;
  }
  std::copy(out.begin(), out.end(), values.begin());
}

void invTransform(std::vector<double>& values, int n) {
  for (int half = 8; 2 * half <= n; half *= 2) invTransformLevel(values, half);
}

void invTransformLevel(std::vector<double>& values, int half) {
  if (half <= 0 || !validLevel(values, 2 * half)) return;
  synthesize(values, half, true);
}

void expand(std::vector<double>& values, int count) {
  if (!validLevel(values, count)) return;
  synthesize(values, count / 2, false);
}

void threshold(std::vector<double>& values, int pad, double fraction) {
  const std::size_t size = values.size();
  const double n = static_cast<double>(size);
  const double statisticsEnd = n - std::floor(pad * 0.5);
  std::vector<double> magnitudes;
  for (std::size_t i = 0; i < size && static_cast<double>(i) < statisticsEnd; ++i) {
    const double magnitude = std::fabs(values[i]);
    if (!std::isnan(magnitude)) magnitudes.push_back(magnitude);
  }
  std::sort(magnitudes.begin(), magnitudes.end(), GreaterThanS());
  while (!magnitudes.empty() && magnitudes.back() == 0) magnitudes.pop_back();
  const std::size_t m = magnitudes.size();
  if (m < 2) return;
  const double rank = std::trunc(static_cast<double>(m) * fraction) - 1;
  if (!(rank >= 0) || rank >= static_cast<double>(m)) return;
  const double T = std::sqrt(2 * std::log(n)) * magnitudes[static_cast<std::size_t>(rank)];
  for (double& value : values) {
    const double g = std::fabs(value) - T;
    if (value > 0) {
      value = 1.0 * (std::fabs(g) + g) * 0.5;
    } else if (value < 0) {
      value = -1.0 * (std::fabs(g) + g) * 0.5;
    }
  }
}

void waveletDenoise(double fraction, int passes, chrom& X) {
  std::vector<double>& x = X.intensities;
  const double originalLength = static_cast<double>(x.size());
  if (passes == 0) return;
  for (int pass = 0;; ++pass) {
    const std::size_t n = x.size();
    int p = 0;
    while (std::pow(2.0, p) < static_cast<double>(n)) ++p;
    const std::size_t padded = static_cast<std::size_t>(std::pow(2.0, p));
    x.resize(padded, 0.0);
    transform(x, static_cast<int>(padded));
    threshold(x, static_cast<int>(padded - n), fraction);
    invTransform(x, static_cast<int>(padded));
    x.resize(n);
    if (pass > 0) {
      const std::size_t shift = static_cast<std::size_t>(originalLength / pass);
      x.erase(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(shift, x.size())));
    }
    if (pass + 1 >= passes) break;
    const std::size_t nextShift = static_cast<std::size_t>(originalLength / (pass + 1));
    if (nextShift > 0 && !x.empty()) {
      const double first = x.front();
      x.insert(x.begin(), nextShift, first);
    }
  }
}

void processXIC(const filterer& params, fileHandle& run) {
  const double cutoffLevel = static_cast<double>(params.cutoff);
  const double edgeFloor = static_cast<double>(params.cutoff / 500);
  for (channel& ch : run.channels) {
    for (chrom& X : ch.chroms) {
      X.apexTime = 0;
      X.apexIntensity = 0;
      chrom W = X;

      if (params.skipDenoise == 0) waveletDenoise(kDenoiseFraction, kDenoisePasses, X);
      if (X.intensities.size() >= kShortestSmoothedTrace) SGsmooth(5, X);

      const std::vector<double>& y = X.intensities;
      const std::size_t n = y.size();
      const std::ptrdiff_t seed = seedIndex(X, n);
      if (seed < 0) {
        markNoPeak(X);
        continue;
      }
      const std::size_t e = static_cast<std::size_t>(seed);

      ApexWalk left;
      left.index = e;
      for (std::size_t k = e + 1; k-- > 0;) {
        if (!left.visit(X, y, k, cutoffLevel)) break;
      }
      ApexWalk right;
      right.index = e;
      for (std::size_t k = e; k < n; ++k) {
        if (!right.visit(X, y, k, cutoffLevel)) break;
      }

      const ApexWalk* chosen = &right;
      if (left.index != e) {
        if (right.index == e || e - left.index <= right.index - e) chosen = &left;
      }
      W.apexIntensity = chosen->highest;
      W.apexTime = chosen->time;
      W.apexScan = chosen->scanNumber;
      W.peakMz = X.mz;

      if (W.apexIntensity == 0 || X.mz == 0) {
        markNoPeak(X);
        continue;
      }

      const std::size_t apex = chosen->index;
      const std::ptrdiff_t start = peakStart(y, W.intensities, X.times, apex, edgeFloor);
      const std::size_t S = start < 0 ? 0 : static_cast<std::size_t>(start);
      const std::size_t E = peakEnd(y, W.intensities, X.times, apex, edgeFloor);
      trapizoid(W, static_cast<int>(S), static_cast<int>(E));

      X = W;
      X.startScan = X.scanNumbers.at(S);
      X.endScan = X.scanNumbers.at(E - 1);
      X.apexScan = X.scanNumbers.at(apex);
      featureMass(run, ch, X, S, E, params.massWindowAt(X.mz));
    }
  }
}

}  // namespace reference
