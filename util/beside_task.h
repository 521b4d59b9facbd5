#ifndef TORVA_UTIL_BESIDE_TASK_H
#define TORVA_UTIL_BESIDE_TASK_H

#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

#include "util/parallel_for.h"

// A piece of work done beside the caller's own: on a thread of its own when the run has more than one
// worker, else (or when no thread is to be had) by finish() on the caller's. finish() returns once it is
// done and rethrows what it threw; a task left unfinished (by an exception elsewhere) is waited for.
class BesideTask {
 public:
  explicit BesideTask(std::function<void()> work) : work_(std::move(work)) {
    if (workerCount() < 2) return;
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // finish() does it.
    }
  }
  BesideTask(const BesideTask&) = delete;
  BesideTask& operator=(const BesideTask&) = delete;
  ~BesideTask() {
    if (thread_.joinable()) thread_.join();
  }

  void finish() {
    if (thread_.joinable()) {
      thread_.join();
    } else if (work_) {
      run();
    }
    work_ = nullptr;
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  }

 private:
  void run() {
    try {
      work_();
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  std::function<void()> work_;
  std::exception_ptr failure_;
  std::thread thread_;
};

#endif
