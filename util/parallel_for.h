#ifndef TORVA_UTIL_PARALLEL_FOR_H
#define TORVA_UTIL_PARALLEL_FOR_H

#include <atomic>
#include <cstddef>
#include <exception>
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
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  const auto run = [&](std::size_t worker) {
    try {
      for (std::size_t i = next++; i < count && !failed; i = next++) work(i, worker);
    } catch (...) {
      std::lock_guard<std::mutex> guard(errorLock);
      if (!firstError) firstError = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(workers - 1);
  try {
    for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(run, w);
  } catch (...) {
    // No more threads to be had: the ones started and this one do the work.
  }
  run(0);
  for (std::thread& thread : threads) thread.join();
  if (firstError) std::rethrow_exception(firstError);
}

#endif
