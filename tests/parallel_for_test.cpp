#include "util/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// An item that throws stops the loop; the exception reaches the caller intact
// once every worker has stopped, whatever the number of workers. Items take a
// millisecond each: a first throw can take longer than a thousand empty items
// (the unwinder reads its tables), and the other workers must not be able to
// finish the list while it does.
TEST(ParallelFor, ItemExceptionIsRethrownToTheCaller) {
  for (std::size_t workers : {std::size_t{1}, std::size_t{4}}) {
    std::atomic<std::size_t> done{0};
    try {
      parallelFor(1000, workers, [&done](std::size_t i, std::size_t) {
        if (i == 7) throw std::runtime_error("item 7");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++done;
      });
      ADD_FAILURE() << "no exception with " << workers << " workers";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "item 7") << workers << " workers";
    }
    EXPECT_LT(done.load(), 999u) << "the loop went on after the failure, " << workers << " workers";
  }
}

// A batch started aside runs every item once, on distinct workers, while the
// caller does other work; finish() waits for it and passes on an item's
// exception; a batch left unfinished is waited for when it goes away.
TEST(ParallelFor, BatchStartedAsideFinishesEveryItemOnce) {
  for (std::size_t workers : {std::size_t{1}, std::size_t{3}}) {
    std::vector<std::atomic<int>> runs(500);
    std::atomic<std::size_t> highestWorker{0};
    ParallelBatch batch;
    batch.start(runs.size(), workers, [&](std::size_t i, std::size_t worker) {
      ++runs[i];
      std::size_t seen = highestWorker.load();
      while (worker > seen && !highestWorker.compare_exchange_weak(seen, worker)) {
      }
    });
    batch.finish();
    for (std::size_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i].load(), 1) << i;
    EXPECT_LT(highestWorker.load(), workers);

    batch.start(100, workers, [](std::size_t i, std::size_t) {
      if (i == 42) throw std::runtime_error("item 42");
    });
    EXPECT_THROW(batch.finish(), std::runtime_error) << workers << " workers";
    {
      ParallelBatch unfinished;
      unfinished.start(100, workers, [&](std::size_t i, std::size_t) { ++runs[i]; });
    }
  }
}
