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

  // Insertion in two steps, so that the copying may run side by side:
  // reserve makes room for an entry of the given lengths exactly as insert
  // would and returns its position; fill then stores the traces there. Fill
  // entries only after the last reserve of a group, and only if the group's
  // entries together fit the budget (then none of them is evicted by
  // another); fills of different positions may run at the same time.
  std::size_t reserve(std::uint64_t key, std::size_t rawLength, std::size_t processedLength);
  void fill(std::size_t position, const std::vector<double>& raw, const std::vector<double>& processed);
  // Bytes of the traces of an entry of these lengths.
  static std::size_t entryBytes(std::size_t rawLength, std::size_t processedLength) {
    return (rawLength + processedLength) * sizeof(double);
  }
  std::size_t byteBudget() const { return byteBudget_; }

 private:
  struct Entry {
    std::uint64_t key = 0;
    std::size_t bytes = 0;  // as reserved
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
