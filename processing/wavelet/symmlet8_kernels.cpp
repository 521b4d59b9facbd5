// Symmlet-8 analysis and synthesis levels on plain arrays, several outputs at a time.
#include "processing/wavelet/symmlet8_kernels.h"

#include <algorithm>
#include <cstddef>

#include "processing/wavelet/symmlet8_filter.h"
#include "processing/wavelet/vector_kernels.h"

namespace {

using symmlet8::kHigh;
using symmlet8::kLow;

// Approximation and detail of the eight samples s[0..7] (s[m] = x[2i+m]),
// products added left to right.
inline void analyseOne(const double* s, double& a, double& d) {
  a = kLow[0] * s[0];
  d = kHigh[0] * s[0];
  for (std::size_t m = 1; m < 8; ++m) {
    a += kLow[m] * s[m];
    d += kHigh[m] * s[m];
  }
}

// Outputs i = from .. to-1 from x[2i .. 2i+7] (no wrap-around). The
// approximations may overwrite x in place: output i is written at i, below
// every sample that a later output reads.
void analyseRange(double* x, double* detail, std::size_t from, std::size_t to) {
  std::size_t i = from;
  for (const symmlet8::LaneKernels* kernels : symmlet8::laneKernels()) i = kernels->analyse(x, detail, i, to);
  for (; i < to; ++i) {
    double a = 0;
    double d = 0;
    analyseOne(x + 2 * i, a, d);
    x[i] = a;
    detail[i] = d;
  }
}

// Entry 2k of a synthesis level: the contributions a[i]*L[m] + d[i]*H[m] of
// i = k-3, k-2, k-1, k (taps 6, 4, 2, 0) added to 0.0 in that order; entry
// 2k+1 the same with taps 7, 5, 3, 1. ai[j], di[j] hold a and d at i = k-3+j.
inline void synthesiseOne(const double* ai, const double* di, double& even, double& odd) {
  even = 0.0;
  odd = 0.0;
  for (std::size_t j = 0; j < 4; ++j) {
    even += ai[j] * kLow[6 - 2 * j] + di[j] * kHigh[6 - 2 * j];
    odd += ai[j] * kLow[7 - 2 * j] + di[j] * kHigh[7 - 2 * j];
  }
}

// Entries 2k and 2k+1 for k = from .. last-1 (from >= 3, no wrap-around),
// written over x from the top down: pair k reads a[k-3 .. k] = x[k-3 .. k],
// all below the entries written so far.
void synthesiseRange(double* x, const double* detail, std::size_t from, std::size_t last) {
  std::size_t k = last;
  for (const symmlet8::LaneKernels* kernels : symmlet8::laneKernels())
    k = kernels->synthesise(x, detail, from, k);
  for (; k > from; --k) {
    const std::size_t pair = k - 1;
    double even = 0;
    double odd = 0;
    synthesiseOne(x + pair - 3, detail + pair - 3, even, odd);
    x[2 * pair] = even;
    x[2 * pair + 1] = odd;
  }
}

}  // namespace

namespace symmlet8 {

void fillRunEdges(double* x, std::size_t begin, std::size_t end, double value) {
  if (end - begin <= 2 * kRunEdge) {
    std::fill(x + begin, x + end, value);
    return;
  }
  std::fill(x + begin, x + begin + kRunEdge, value);
  std::fill(x + end - kRunEdge, x + end, value);
}

void analyseLevel(double* x, std::size_t len, double* detail, const std::vector<ConstantRun>& inputRuns,
                  std::vector<ConstantRun>& outputRuns) {
  const std::size_t half = len / 2;
  // The last three outputs wrap around to x[0 ..]; they are computed first,
  // while those samples are still in place.
  double a[3];
  double d[3];
  for (std::size_t j = 0; j < 3; ++j) {
    const std::size_t i = half - 3 + j;
    double s[8];
    for (std::size_t m = 0; m < 8; ++m) {
      const std::size_t at = 2 * i + m;  // below 2 * len: len >= 8
      s[m] = x[at < len ? at : at - len];
    }
    analyseOne(s, a[j], d[j]);
  }

  // Outputs whose eight inputs all lie in one constant stretch are equal.
  outputRuns.clear();
  for (const ConstantRun& run : inputRuns) {
    if (run.end > len || run.end < 8) continue;
    const std::size_t first = (run.begin + 1) / 2;   // 2i >= begin
    const std::size_t last = (run.end - 8) / 2 + 1;  // 2i + 7 <= end - 1
    if (last >= first + 2) outputRuns.push_back({first, last});
  }
  std::size_t from = 0;
  for (const ConstantRun& run : outputRuns) {
    analyseRange(x, detail, from, run.begin + 1);
    // The next level reads only the edges of this run.
    fillRunEdges(x, run.begin + 1, run.end, x[run.begin]);
    fillRunEdges(detail, run.begin + 1, run.end, detail[run.begin]);
    from = run.end;
  }
  analyseRange(x, detail, from, half - 3);
  for (std::size_t j = 0; j < 3; ++j) {
    x[half - 3 + j] = a[j];
    detail[half - 3 + j] = d[j];
  }
}

void synthesiseLevel(double* x, const double* detail, std::size_t half, std::size_t first, std::size_t last) {
  last = std::min(last, half);
  if (first >= last) return;
  // Pairs 0..2 also receive the wrapped taps of the last three i, which come
  // after the unwrapped ones because their i is larger. Their inputs are read
  // before the pairs above them overwrite x.
  double low[6];
  const std::size_t h = half;
  if (first < 3) {
    const double a[6] = {x[h - 3], x[h - 2], x[h - 1], x[0], x[1], x[2]};
    const double d[6] = {detail[h - 3], detail[h - 2], detail[h - 1], detail[0], detail[1], detail[2]};
    // Pair p takes, in increasing i, the unwrapped i = 0 .. p (taps 2(p-i)
    // for entry 2p, one more for 2p+1), then the wrapped i = h-3+p .. h-1,
    // held at a[p .. 2] (taps 2(p+3-j) and one more).
    for (std::size_t p = 0; p < 3; ++p) {
      for (std::size_t parity = 0; parity < 2; ++parity) {
        double s = 0.0;
        for (std::size_t i = 0; i <= p; ++i) {
          const std::size_t tap = 2 * (p - i) + parity;
          s += a[3 + i] * kLow[tap] + d[3 + i] * kHigh[tap];
        }
        for (std::size_t j = p; j < 3; ++j) {
          const std::size_t tap = 2 * (p + 3 - j) + parity;
          s += a[j] * kLow[tap] + d[j] * kHigh[tap];
        }
        low[2 * p + parity] = s;
      }
    }
  }
  synthesiseRange(x, detail, std::max<std::size_t>(first, 3), last);
  for (std::size_t k = first; k < std::min<std::size_t>(last, 3); ++k) {
    x[2 * k] = low[2 * k];
    x[2 * k + 1] = low[2 * k + 1];
  }
}

void forward(double* x, double* coefficients, std::size_t n, WaveletWorkspace& ws,
             const std::vector<ConstantRun>& inputRuns) {
  ws.detailRuns.clear();
  ws.levelRuns.assign(inputRuns.begin(), inputRuns.end());
  std::size_t len = n;
  for (; len > 8; len /= 2) {
    // The details of this level are final; its approximations are the next
    // level's input.
    analyseLevel(x, len, coefficients + len / 2, ws.levelRuns, ws.nextRuns);
    for (const ConstantRun& run : ws.nextRuns)
      ws.detailRuns.push_back({len / 2 + run.begin, len / 2 + run.end});
    ws.levelRuns.swap(ws.nextRuns);
  }
  std::copy(x, x + std::min(len, n), coefficients);
}

void inverse(double* coefficients, double* x, std::size_t n, std::size_t keepBegin, std::size_t keepEnd,
             const double* threshold, const std::vector<ConstantRun>& runs) {
  const std::size_t low0 = keepBegin;
  const std::size_t high0 = std::min(keepEnd, n);
  if (low0 >= high0) return;
  // From the finest level down: the pairs each level must rebuild so that the
  // next finer level (or the caller) gets the entries it reads, and the
  // coefficients those pairs read. Pair k reads a[k-3 .. k] and d[k-3 .. k];
  // pairs 0..2 also read the last three, so they need everything.
  struct Span {
    std::size_t first, last;  // pairs to rebuild
    std::size_t low, high;    // approximations and details read
  };
  Span spans[64];
  int levels = 0;
  std::size_t low = low0;
  std::size_t high = high0;
  for (std::size_t half = n / 2; half >= 8; half /= 2) {
    Span& span = spans[levels++];
    span.first = low / 2;
    span.last = std::min(half, (high + 1) / 2);
    span.low = span.first >= 3 ? span.first - 3 : 0;
    span.high = span.first >= 3 ? span.last : half;
    low = span.low;
    high = span.high;
  }
  // The coarsest approximations (or, without any level, the kept entries).
  if (threshold != nullptr) shrink(coefficients, low, high, *threshold);
  std::copy(coefficients + low, coefficients + high, x + low);
  // Then from the coarsest level up, shrinking each level's details just
  // before their one use.
  std::size_t half = 8;
  for (int level = levels - 1; level >= 0; --level, half *= 2) {
    const Span& span = spans[level];
    // The part of a run that this level reads, from the run's first entry
    // (not shrunk yet: a run lies within one level).
    for (const ConstantRun& run : runs) {
      const std::size_t from = std::max(run.begin, half + span.low);
      const std::size_t to = std::min(run.end, half + span.high);
      if (from < to) std::fill(coefficients + from, coefficients + to, coefficients[run.begin]);
    }
    if (threshold != nullptr) shrink(coefficients + half, span.low, span.high, *threshold);
    synthesiseLevel(x, coefficients + half, half, span.first, span.last);
  }
}

}  // namespace symmlet8
