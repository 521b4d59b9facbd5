#ifndef TORVA_PROCESSING_TRACE_CACHE_H
#define TORVA_PROCESSING_TRACE_CACHE_H

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// Processed (denoised and smoothed) traces remembered by their raw trace, so
// that chromatograms whose raw traces are identical bit for bit are processed
// once. Lookups hash the raw trace and then compare it bit for bit, so a hit
// always belongs to an identical trace. The cache holds at most `byteBudget`
// bytes of traces (at least one entry) and forgets the oldest entry first.
class TraceCache {
 public:
  explicit TraceCache(std::size_t byteBudget);

  // Hash of the bit patterns of a trace, its length included.
  static std::uint64_t hash(const std::vector<double>& raw);

  // The processed trace stored for `raw` (whose hash is `key`), or nullptr.
  // The pointer stays valid until the next insert.
  const std::vector<double>* find(std::uint64_t key, const std::vector<double>& raw) const;
  void insert(std::uint64_t key, const std::vector<double>& raw, const std::vector<double>& processed);

 private:
  struct Entry {
    std::uint64_t key = 0;
    std::vector<double> raw;
    std::vector<double> processed;
  };
  void evictOldest();

  std::size_t byteBudget_;
  std::size_t bytes_ = 0;
  std::vector<Entry> entries_;                                 // ring of entries in insertion order
  std::size_t oldest_ = 0;                                     // ring position of the oldest entry
  std::size_t count_ = 0;                                      // live entries
  std::unordered_multimap<std::uint64_t, std::size_t> index_;  // key -> ring position
};

#endif
