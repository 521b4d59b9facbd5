#ifndef TORVA_UTIL_CPU_FEATURES_H
#define TORVA_UTIL_CPU_FEATURES_H

// The one place that asks the processor what it offers beyond what every
// build may assume. Only x86-64 builds with the vector code
// (TORVA_X86_VECTORS, CMake option TORVA_VECTOR_CODE) ask; elsewhere every
// answer is no and the plain paths run. The processor is asked once.
struct CpuFeatures {
  bool avx2 = false;
  // AVX-512F; the processor's answer includes whether the system saves the
  // 512-bit registers.
  bool avx512f = false;
};

inline const CpuFeatures& cpuFeatures() {
  static const CpuFeatures features = [] {
    CpuFeatures found;
#if defined(TORVA_X86_VECTORS)
    found.avx2 = __builtin_cpu_supports("avx2") != 0;
    found.avx512f = __builtin_cpu_supports("avx512f") != 0;
#endif
    return found;
  }();
  return features;
}

#endif
