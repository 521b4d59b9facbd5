// The choice of vector kernels: the processor is asked once, at run time.
#include "processing/vector_kernels.h"

#include <atomic>

#include "util/cpu_features.h"

namespace {

using symmlet8::VectorSet;

std::atomic<VectorSet> widestWanted{VectorSet::kAvx512};

// The widest set that the build has kernels for and the processor can run.
VectorSet widestAvailable() {
#if defined(TORVA_X86_VECTORS)
  // The AVX-512 kernels use AVX-512F alone.
  return cpuFeatures().avx512f ? VectorSet::kAvx512
         : cpuFeatures().avx2  ? VectorSet::kAvx2
                               : VectorSet::kSse2;
#else
  return VectorSet::kSse2;
#endif
}

}  // namespace

namespace symmlet8 {

bool vectorSetAvailable(VectorSet set) { return set <= widestAvailable(); }

VectorSet limitVectorSet(VectorSet widest) {
  return widestWanted.exchange(widest, std::memory_order_relaxed);
}

VectorSet vectorSetInUse() {
  const VectorSet wanted = widestWanted.load(std::memory_order_relaxed);
  const VectorSet available = widestAvailable();
  return wanted < available ? wanted : available;
}

LaneChain laneKernels() {
  LaneChain chain;
#if defined(TORVA_X86_VECTORS)
  const VectorSet set = vectorSetInUse();
  if (set >= VectorSet::kAvx512) chain.append(&kAvx512Kernels);
  if (set >= VectorSet::kAvx2) chain.append(&kAvx2Kernels);
  chain.append(&kSse2Kernels);
#endif
  return chain;
}

}  // namespace symmlet8
