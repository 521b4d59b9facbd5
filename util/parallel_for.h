#ifndef TORVA_UTIL_PARALLEL_FOR_H
#define TORVA_UTIL_PARALLEL_FOR_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Number of threads that independent pieces of work are spread over. By
// default the machine's hardware threads, at least 1 and at most 16; a run may
// set its own count (the command line's --threads) before any work starts.
// Results never depend on the count, only the time they take.
namespace parallel_detail {
inline std::atomic<std::size_t>& workerSetting() {
  static std::atomic<std::size_t> setting{0};  // 0: the machine's own count
  return setting;
}
}  // namespace parallel_detail

inline std::size_t hardwareWorkerCount() {
  const unsigned hardware = std::thread::hardware_concurrency();
  if (hardware == 0) return 1;
  return hardware > 16 ? 16 : hardware;
}

inline std::size_t workerCount() {
  const std::size_t set = parallel_detail::workerSetting().load(std::memory_order_relaxed);
  return set == 0 ? hardwareWorkerCount() : set;
}

// Sets the number of threads used by workerCount(); 0 restores the default.
inline void setWorkerCount(std::size_t workers) {
  parallel_detail::workerSetting().store(workers, std::memory_order_relaxed);
}

// A parallel loop in two halves, so that the calling thread can do other work
// meanwhile: start() hands the items to workers - 1 threads of their own (as
// workers 1 ..) and returns at once; finish() has the calling thread join in
// as worker 0 and returns once every item is done, rethrowing the first
// exception an item threw. With one worker, finish() does every item.
class ParallelBatch {
 public:
  ParallelBatch() = default;
  ParallelBatch(const ParallelBatch&) = delete;
  ParallelBatch& operator=(const ParallelBatch&) = delete;
  // A batch left unfinished (by an exception elsewhere) stops handing out items and is waited for.
  ~ParallelBatch() {
    failed_ = true;
    join();
  }

  void start(std::size_t count, std::size_t workers, std::function<void(std::size_t, std::size_t)> work) {
    finish();
    work_ = std::move(work);
    count_ = count;
    next_ = 0;
    failed_ = false;
    firstError_ = nullptr;
    if (workers > count) workers = count;
    try {
      for (std::size_t w = 1; w < workers; ++w) threads_.emplace_back([this, w] { run(w); });
    } catch (...) {
      // No more threads to be had: the ones started and finish() do the work.
    }
  }

  void finish() {
    if (!work_) return;
    run(0);
    join();
    work_ = nullptr;
    if (firstError_) std::rethrow_exception(firstError_);
  }

 private:
  void run(std::size_t worker) {
    try {
      for (std::size_t i = next_++; i < count_ && !failed_; i = next_++) work_(i, worker);
    } catch (...) {
      std::lock_guard<std::mutex> guard(errorLock_);
      if (!firstError_) firstError_ = std::current_exception();
      failed_ = true;
    }
  }
  void join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  std::function<void(std::size_t, std::size_t)> work_;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr firstError_;
  std::mutex errorLock_;
  std::vector<std::thread> threads_;
};

// Calls work(i, worker) once for every i in [0, count), spread over at most
// `workers` threads (the calling thread is worker 0). Items are handed out in
// increasing order, but may finish in any order, so each item must write only
// its own results; `worker` names the thread's own scratch buffers. The first
// exception thrown by an item is rethrown here once every thread has stopped.
template <typename Work>
void parallelFor(std::size_t count, std::size_t workers, Work work) {
  if (workers > count) workers = count;
  if (workers <= 1) {
    for (std::size_t i = 0; i < count; ++i) work(i, std::size_t{0});
    return;
  }
  ParallelBatch batch;
  batch.start(count, workers, work);
  batch.finish();
}

// The same, the items handed out in runs of `run` consecutive ones: for many small items whose results lie
// side by side, which handed out one at a time would have the threads take turns at the cache lines of
// their results and of the count of items handed out.
template <typename Work>
void parallelForRuns(std::size_t count, std::size_t workers, std::size_t run, Work work) {
  if (run == 0) run = 1;
  parallelFor((count + run - 1) / run, workers, [&](std::size_t r, std::size_t worker) {
    const std::size_t end = std::min(count, (r + 1) * run);
    for (std::size_t i = r * run; i < end; ++i) work(i, worker);
  });
}

#endif
