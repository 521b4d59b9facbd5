#ifndef TORVA_COMPOUNDS_EARLY_TRACES_H
#define TORVA_COMPOUNDS_EARLY_TRACES_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "compounds/correlation.h"
#include "compounds/ms1_index.h"
#include "features/feature_finder.h"
#include "records/records.h"

// A feature's trace to read: its m/z and the time range [start, end], seconds.
struct TraceRequest {
  double mz, start, end;
};

// The traces of a run's features read and smoothed ahead, on a thread of their own, while the feature
// detection still works on one: the MS1 indices from the start, then the traces of the candidate peaks it
// tells as soon as it has resolved them (it then removes duplicates and makes its rows). The compound step
// takes a feature's trace from here when one was read for the same request from the same index, which is
// the same to the bit as reading it then, and reads the others itself. Without a thread of its own nothing
// is read ahead.
class EarlyTraces {
 public:
  // Indices of these polarities ('+', '-'); traces `tracePpm` wide, `traceMargin` of a width beyond the
  // edges.
  EarlyTraces(const std::vector<scan>& scans, std::vector<char> polarities, double tracePpm,
              double traceMargin);
  EarlyTraces(const EarlyTraces&) = delete;
  EarlyTraces& operator=(const EarlyTraces&) = delete;
  ~EarlyTraces();

  // Queues the traces of these candidates (those of another polarity than the indices' left out).
  void add(std::vector<FeaturePlace> candidates);
  // Waits until all queued is read; rethrows what the reading threw.
  void finish();

  // After finish(): the index of a polarity given at construction; nullptr for others.
  const Ms1Index* index(char polarity) const;
  // After finish(): the trace read ahead for `request` in the index of `polarity`, its peak marked, and its
  // apex (markPeak), moved out; false when none was read (or it was taken).
  bool take(char polarity, const TraceRequest& request, SmoothedTrace& trace, double& apex);

  // How many traces were read ahead.
  std::size_t readAhead() const { return read_.size(); }

 private:
  struct Key {
    char polarity;
    std::uint64_t mz, start, end;  // the bits of the request's numbers
    bool operator==(const Key& other) const {
      return polarity == other.polarity && mz == other.mz && start == other.start && end == other.end;
    }
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  struct Read {
    SmoothedTrace trace;
    double apex = 0;
    bool taken = false;
  };
  static Key keyOf(char polarity, const TraceRequest& request);
  void run();
  void readBatch(std::vector<FeaturePlace> candidates);

  const std::vector<scan>& scans_;
  const std::vector<char> polarities_;
  const double tracePpm_, traceMargin_;
  std::map<char, Ms1Index> indices_;
  std::vector<Read> read_;
  std::unordered_map<Key, std::size_t, KeyHash> byRequest_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::vector<FeaturePlace>> queue_;  // under mutex_
  bool closed_ = false;                           // under mutex_
  std::exception_ptr failure_;
  std::thread thread_;
};

#endif
