#ifndef TORVA_INPUT_JOB_THREAD_H
#define TORVA_INPUT_JOB_THREAD_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The second thread of a parse: runs deferred jobs in the order they came.
// Jobs are handed over in batches (256 jobs or 4 MiB of their input), so that
// the two threads meet on the lock once per batch rather than per job; at most
// two batches wait, so the parser cannot run far ahead of the jobs (and hold
// their input) when the jobs are the slower side. A job that throws stops the
// rest: they are dropped, and `error` holds its exception.
class JobThread {
 public:
  JobThread();  // throws std::system_error when no thread can be started
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Parser side: queues `job`, which holds about `bytes` of input.
  void push(std::function<void()> job, std::size_t bytes);
  // Runs everything handed over or queued, then stops the thread.
  void finish();
  // Stops without running what has not started (the parse is being left by
  // an exception of its own).
  void abandon();
  // A job has thrown.
  bool failed() const { return failed_.load(std::memory_order_acquire); }
  // Parser side: the last hand-over found the jobs behind (as many batches
  // waiting as may), so the parser had to wait for them.
  bool behind() const { return behind_; }

  // The first exception a job threw; read after finish().
  std::exception_ptr error;

 private:
  using Batch = std::vector<std::function<void()>>;
  void handOver();
  void run();

  Batch filling_;  // parser side only
  std::size_t fillingBytes_ = 0;
  bool behind_ = false;  // parser side only
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable room_;
  std::deque<Batch> waiting_;
  bool closing_ = false;
  std::atomic<bool> failed_{false};
  std::thread thread_;  // last: starts once the rest is ready
};

#endif
