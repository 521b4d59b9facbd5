// The job thread beside the XML parser.
#include "input/job_thread.h"

#include <utility>

namespace {

constexpr std::size_t kBatch = 256;
constexpr std::size_t kBatchBytes = std::size_t(4) << 20;
constexpr std::size_t kMaxWaiting = 2;

}  // namespace

JobThread::JobThread() : thread_([this] { run(); }) { filling_.reserve(kBatch); }

JobThread::~JobThread() { finish(); }

void JobThread::push(std::function<void()> job, std::size_t bytes) {
  filling_.push_back(std::move(job));
  fillingBytes_ += bytes;
  if (filling_.size() >= kBatch || fillingBytes_ >= kBatchBytes) handOver();
}

void JobThread::finish() {
  if (!thread_.joinable()) return;
  handOver();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  work_.notify_one();
  thread_.join();
}

void JobThread::abandon() {
  filling_.clear();
  failed_.store(true, std::memory_order_release);
  room_.notify_all();
  finish();
}

void JobThread::handOver() {
  fillingBytes_ = 0;
  if (filling_.empty()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  behind_ = waiting_.size() >= kMaxWaiting;
  room_.wait(lock, [this] { return waiting_.size() < kMaxWaiting || failed(); });
  if (failed()) {
    filling_.clear();  // never to run
    return;
  }
  waiting_.push_back(std::move(filling_));
  filling_ = Batch();
  filling_.reserve(kBatch);
  lock.unlock();
  work_.notify_one();
}

void JobThread::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    work_.wait(lock, [this] { return !waiting_.empty() || closing_; });
    if (waiting_.empty()) return;
    Batch batch = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    room_.notify_one();
    for (std::function<void()>& job : batch) {
      if (failed()) break;
      try {
        job();
      } catch (...) {
        error = std::current_exception();
        failed_.store(true, std::memory_order_release);
      }
    }
    batch.clear();  // the jobs' input goes on this thread
    lock.lock();
    if (failed()) room_.notify_one();  // a parser waiting for room stops waiting
  }
}
