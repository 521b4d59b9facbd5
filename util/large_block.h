#ifndef TORVA_UTIL_LARGE_BLOCK_H
#define TORVA_UTIL_LARGE_BLOCK_H

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// Room for `count` doubles, not initialised, freed when the last owner lets go. A block of a quarter
// megabyte or more comes straight from the system, whole huge pages aligned and advised as such, where the
// system offers them on request: one page fault per 2 MiB filled instead of one per 4 KiB (on a virtual
// machine a page fault may cost some microseconds; a huge page, cleared, far less than the 64 small ones
// of a quarter megabyte) and fewer misses of the address cache after. Smaller blocks come from the heap.
inline std::shared_ptr<double> largeDoubleBlock(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t bytes = (count > 0 ? count : 1) * sizeof(double);
  if (bytes < kHugePage / 8)
    return std::shared_ptr<double>(new double[bytes / sizeof(double)], std::default_delete<double[]>());
  const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t mapped = whole + kHugePage;  // room to align the start
  void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(base);
  const std::uintptr_t aligned = (address + kHugePage - 1) / kHugePage * kHugePage;
  madvise(reinterpret_cast<void*>(aligned), whole, MADV_HUGEPAGE);  // a hint
  try {
    return std::shared_ptr<double>(reinterpret_cast<double*>(aligned),
                                   [base, mapped](double*) { munmap(base, mapped); });
  } catch (...) {
    munmap(base, mapped);
    throw;
  }
}

#endif
