#ifndef TORVA_UTIL_LARGE_BLOCK_H
#define TORVA_UTIL_LARGE_BLOCK_H

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// Room for `count` doubles, not initialised, freed when the last owner lets go. A block of several
// megabytes comes straight from the system, aligned to and advised into huge pages where the system
// offers them on request: one page fault per 2 MiB filled instead of one per 4 KiB (on a virtual machine a
// page fault may cost some microseconds) and fewer misses of the address cache after. Smaller blocks come
// from the heap.
inline std::shared_ptr<double> largeDoubleBlock(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t bytes = (count > 0 ? count : 1) * sizeof(double);
  if (bytes < 2 * kHugePage)
    return std::shared_ptr<double>(new double[bytes / sizeof(double)], std::default_delete<double[]>());
  const std::size_t mapped = bytes + kHugePage;
  void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(base);
  const std::uintptr_t aligned = (address + kHugePage - 1) / kHugePage * kHugePage;
  madvise(reinterpret_cast<void*>(aligned), address + mapped - aligned, MADV_HUGEPAGE);  // a hint
  try {
    return std::shared_ptr<double>(reinterpret_cast<double*>(aligned),
                                   [base, mapped](double*) { munmap(base, mapped); });
  } catch (...) {
    munmap(base, mapped);
    throw;
  }
}

#endif
