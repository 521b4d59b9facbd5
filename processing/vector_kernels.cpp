// The choice of vector kernels: the processor is asked once, at run time.
#include "processing/vector_kernels.h"

#include <atomic>

namespace {

std::atomic<bool> wideVectorsWanted{true};

bool wideVectorsAvailable() {
#if defined(TORVA_VECTOR_KERNELS)
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
#else
  return false;
#endif
}

}  // namespace

namespace symmlet8 {

bool useWideVectors(bool wanted) { return wideVectorsWanted.exchange(wanted, std::memory_order_relaxed); }

bool wideVectorsInUse() {
  return wideVectorsWanted.load(std::memory_order_relaxed) && wideVectorsAvailable();
}

LaneChain laneKernels() {
  LaneChain chain;
#if defined(TORVA_VECTOR_KERNELS)
  if (wideVectorsInUse()) chain.append(&kAvx2Kernels);
  chain.append(&kSse2Kernels);
#endif
  return chain;
}

}  // namespace symmlet8
