#include "processing/trace_cache.h"

#include <cstring>

#include "util/same_bits.h"

TraceCache::TraceCache(std::size_t byteBudget) : byteBudget_(byteBudget) {}

std::uint64_t TraceCache::hash(const std::vector<double>& raw) {
  // FNV-1a over 64-bit words in four interleaved streams (word i goes to
  // stream i % 4), so that the multiplications do not wait on each other;
  // then the streams are folded in order and a final avalanche step follows.
  const std::uint64_t prime = 1099511628211ULL;
  std::uint64_t h[4] = {1469598103934665603ULL ^ raw.size(), 0x9e3779b97f4a7c15ULL, 0xc2b2ae3d27d4eb4fULL,
                        0x165667b19e3779f9ULL};
  const std::size_t size = raw.size();
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    std::uint64_t bits[4];
    std::memcpy(bits, raw.data() + i, sizeof bits);
    for (std::size_t s = 0; s < 4; ++s) h[s] = (h[s] ^ bits[s]) * prime;
  }
  for (std::size_t s = 0; i < size; ++i, ++s) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, raw.data() + i, sizeof bits);
    h[s] = (h[s] ^ bits) * prime;
  }
  std::uint64_t folded = h[0];
  for (std::size_t s = 1; s < 4; ++s) folded = (folded ^ h[s]) * prime;
  folded ^= folded >> 33;
  folded *= 0xff51afd7ed558ccdULL;
  folded ^= folded >> 33;
  return folded;
}

const std::vector<double>* TraceCache::find(std::uint64_t key, const std::vector<double>& raw) const {
  const auto range = index_.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) {
    const Entry& entry = entries_[it->second];
    if (sameBits(entry.raw, raw)) {
      return &entry.processed;
    }
  }
  return nullptr;
}

void TraceCache::insert(std::uint64_t key, const std::vector<double>& raw,
                        const std::vector<double>& processed) {
  fill(reserve(key, raw.size(), processed.size()), raw, processed);
}

std::size_t TraceCache::reserve(std::uint64_t key, std::size_t rawLength, std::size_t processedLength) {
  const std::size_t size = entryBytes(rawLength, processedLength);
  while (count_ > 0 && bytes_ + size > byteBudget_) evictOldest();

  std::size_t position = 0;
  if (count_ < entries_.size()) {
    position = (oldest_ + count_) % entries_.size();
  } else {
    // The ring is full with room in the budget: grow it, keeping the order.
    std::vector<Entry> grown;
    grown.reserve(entries_.size() * 2 + 1);
    for (std::size_t i = 0; i < count_; ++i)
      grown.push_back(std::move(entries_[(oldest_ + i) % entries_.size()]));
    grown.resize(entries_.size() * 2 + 1);
    entries_ = std::move(grown);
    oldest_ = 0;
    index_.clear();
    for (std::size_t i = 0; i < count_; ++i) index_.emplace(entries_[i].key, i);
    position = count_;
  }
  Entry& entry = entries_[position];
  entry.key = key;
  entry.bytes = size;
  index_.emplace(key, position);
  bytes_ += size;
  ++count_;
  return position;
}

void TraceCache::fill(std::size_t position, const std::vector<double>& raw,
                      const std::vector<double>& processed) {
  Entry& entry = entries_[position];
  entry.raw.assign(raw.begin(), raw.end());
  entry.processed.assign(processed.begin(), processed.end());
}

void TraceCache::evictOldest() {
  Entry& entry = entries_[oldest_];
  const auto range = index_.equal_range(entry.key);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == oldest_) {
      index_.erase(it);
      break;
    }
  }
  bytes_ -= entry.bytes;
  std::vector<double>().swap(entry.raw);
  std::vector<double>().swap(entry.processed);
  oldest_ = (oldest_ + 1) % entries_.size();
  --count_;
}
