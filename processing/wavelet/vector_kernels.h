#ifndef TORVA_PROCESSING_WAVELET_VECTOR_KERNELS_H
#define TORVA_PROCESSING_WAVELET_VECTOR_KERNELS_H

// The vector kernels of the wavelet denoising and the choice among them. The
// kernels are written once (symmlet8_lanes.cpp) and built once per instruction
// set: two lanes with SSE2, which every x86-64 processor has, four with AVX2
// and eight with AVX-512F, each wider set used only where the processor
// reports it. Every lane does the very multiplications and additions of the
// scalar form in the same order, so each width gives the same bits and the
// build is the same for every x86-64 machine.

#include <cstddef>

namespace symmlet8 {

// What a kernel's visit adds to the threshold statistics (see LaneKernels::visit).
struct MagnitudeVisit {
  std::size_t positive = 0;  // positive magnitudes counted so far
  bool anyPositive = false;  // some visited magnitude was positive
  double largest = 0;        // the largest and smallest of those
  double smallest = 0;
};

// What a kernel's visit of a window of magnitudes adds to the threshold
// statistics (see LaneKernels::window).
struct WindowVisit {
  std::size_t positive = 0;  // positive magnitudes counted so far
  std::size_t above = 0;     // those at or above the window
};

// Bins of one histogram table of the threshold's rank search (the top 12 bits
// of a magnitude); the search keeps kHistogramTables tables of them side by
// side, and a bin's count is the sum over the tables.
constexpr std::size_t kHistogramBins = 4096;
constexpr std::size_t kHistogramTables = 4;

// The most lanes of any width: a kernel that appends to a list writes one
// whole vector, so the list needs room for this many entries past its end.
constexpr std::size_t kMostLanes = 8;

// The kernels of one vector width. Each works in whole vectors, from `from`
// while a vector fits below `to` (the synthesis: down from `last` while one
// fits above `from`), and returns where it stopped, for a narrower width or
// the scalar loop to go on.
struct LaneKernels {
  // Analysis outputs i from x[2i .. 2i+7] (no wrap-around): approximations to
  // x[i], details to detail[i]; output i is written below every sample that a
  // later output reads, so x may be overwritten in place.
  std::size_t (*analyse)(double* x, double* detail, std::size_t from, std::size_t to);
  // Synthesis pairs k (entries 2k and 2k+1 of x) from a[k-3 .. k] = x[k-3 ..
  // k] and detail[k-3 .. k], from the top down (from >= 3, no wrap-around).
  std::size_t (*synthesise)(double* x, const double* detail, std::size_t from, std::size_t last);
  // Soft thresholding of values[from ..] at a finite T, as symmlet8::shrink.
  std::size_t (*shrink)(double* values, std::size_t from, std::size_t to, double T);
  // Where the width has them (else nullptr), two steps of the threshold's
  // rank search. visit: the positive magnitudes of values[from ..], each
  // counted in its bin of one of the histogram tables, their number added to
  // out.positive, their largest and smallest in `out`. collect: the positive
  // magnitudes of values[from ..] in bin `bin` appended in order at
  // candidates[found] (room for one vector more).
  std::size_t (*visit)(const double* values, std::size_t from, std::size_t to, std::size_t* histogram,
                       MagnitudeVisit& out);
  std::size_t (*collect)(const double* values, std::size_t from, std::size_t to, std::size_t bin,
                         double* candidates, std::size_t& found);
  // The statistics in one visit when the rank is expected in the window
  // [low, high) (0 < low < high): the positive magnitudes of values[from ..]
  // and those >= high counted in `out`, those in the window appended in order
  // at candidates[found] (room for one vector more).
  std::size_t (*window)(const double* values, std::size_t from, std::size_t to, double low, double high,
                        double* candidates, std::size_t& found, WindowVisit& out);
};

// The kernels to run one after another, widest first; none where the build
// has no vector kernels.
class LaneChain {
 public:
  const LaneKernels* const* begin() const { return kernels_; }
  const LaneKernels* const* end() const { return kernels_ + count_; }
  // The widest kernels, or nullptr.
  const LaneKernels* widest() const { return count_ > 0 ? kernels_[0] : nullptr; }
  void append(const LaneKernels* kernels) { kernels_[count_++] = kernels; }

 private:
  const LaneKernels* kernels_[3] = {nullptr, nullptr, nullptr};
  std::size_t count_ = 0;
};

// The kernels in use now.
LaneChain laneKernels();

// The instruction sets the kernels are built for, narrowest first.
enum class VectorSet { kSse2, kAvx2, kAvx512 };

// Whether the kernels can use `set` here: the build has kernels for it and the
// processor can run them. SSE2 always: a build without vector kernels runs the
// scalar form under every limit.
bool vectorSetAvailable(VectorSet set);

// The widest set the kernels may use (by default the widest there is); the
// results are the same with every set. Returns the previous limit. Safe while
// other threads run the kernels: each call of a kernel takes one width or
// another.
VectorSet limitVectorSet(VectorSet widest);
// The widest set the kernels use now: the widest available within the limit.
VectorSet vectorSetInUse();

// Sets the widest set the kernels may use for the lifetime of the object, then
// restores the previous limit.
class VectorSetLimit {
 public:
  explicit VectorSetLimit(VectorSet widest) : previous_(limitVectorSet(widest)) {}
  ~VectorSetLimit() { limitVectorSet(previous_); }
  VectorSetLimit(const VectorSetLimit&) = delete;
  VectorSetLimit& operator=(const VectorSetLimit&) = delete;

 private:
  VectorSet previous_;
};

// The kernels built for each instruction set (on x86-64 builds).
extern const LaneKernels kSse2Kernels;
extern const LaneKernels kAvx2Kernels;
extern const LaneKernels kAvx512Kernels;

}  // namespace symmlet8

#endif
