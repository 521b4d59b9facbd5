#include "util/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "util/beside_task.h"

// An item that throws stops the loop; the exception reaches the caller intact
// once every worker has stopped, whatever the number of workers, and no item
// runs twice. How many items other workers finish while the first throw
// unwinds depends on timing, so only the batch's own worker, alone, is
// checked to stop right at the failing item.
TEST(ParallelFor, ItemExceptionIsRethrownToTheCaller) {
  for (std::size_t workers : {std::size_t{1}, std::size_t{4}}) {
    std::vector<std::atomic<int>> runs(1000);
    std::atomic<int> running{0};
    try {
      parallelFor(runs.size(), workers, [&](std::size_t i, std::size_t) {
        ++running;
        ++runs[i];
        --running;
        if (i == 7) throw std::runtime_error("item 7");
      });
      ADD_FAILURE() << "no exception with " << workers << " workers";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "item 7") << workers << " workers";
    }
    EXPECT_EQ(running.load(), 0) << "an item still ran after the loop returned, " << workers << " workers";
    for (std::size_t i = 0; i < runs.size(); ++i) ASSERT_LE(runs[i].load(), 1) << i;
    EXPECT_EQ(runs[7].load(), 1);
  }
  // One worker: the items after the failing one are never handed out.
  ParallelBatch batch;
  std::vector<int> done;
  batch.start(1000, 1, [&done](std::size_t i, std::size_t) {
    if (i == 7) throw std::runtime_error("item 7");
    done.push_back(static_cast<int>(i));
  });
  EXPECT_THROW(batch.finish(), std::runtime_error);
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
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

// Items handed out in runs: each item once, within the count, consecutive items of a run on one worker,
// for counts that are and are not whole runs, no items, and runs of 0 (taken as 1).
TEST(ParallelFor, RunsOfItemsEachOnce) {
  for (const std::size_t workers : {std::size_t{1}, std::size_t{3}}) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{64}, std::size_t{1000}}) {
      for (const std::size_t run : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
        std::vector<std::atomic<int>> runs(count);
        std::vector<std::size_t> workerOf(count);
        parallelForRuns(count, workers, run, [&](std::size_t i, std::size_t worker) {
          ASSERT_LT(i, count);
          ++runs[i];
          workerOf[i] = worker;
        });
        for (std::size_t i = 0; i < count; ++i) {
          ASSERT_EQ(runs[i].load(), 1) << i;
          if (run > 1 && i % run != 0) {
            EXPECT_EQ(workerOf[i], workerOf[i - 1]) << i;
          }
        }
      }
    }
  }
}

// A task beside the caller's work runs once: on a thread of its own with two or more workers, on the
// caller's own by finish() with one; finish() passes on what it threw, and one never finished is waited for.
TEST(BesideTask, RunsOnceAndPassesOnItsException) {
  const std::thread::id caller = std::this_thread::get_id();
  for (std::size_t workers : {std::size_t{1}, std::size_t{2}}) {
    SCOPED_TRACE(workers);
    setWorkerCount(workers);
    std::atomic<int> runs{0};
    std::thread::id ranOn;
    BesideTask task([&] {
      ranOn = std::this_thread::get_id();
      ++runs;
    });
    task.finish();
    task.finish();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(ranOn == caller, workers == 1);
    BesideTask failing([] { throw std::runtime_error("beside"); });
    EXPECT_THROW(failing.finish(), std::runtime_error);
    {
      BesideTask unfinished([&] { ++runs; });
    }
    EXPECT_EQ(runs.load(), workers == 1 ? 1 : 2);
  }
  setWorkerCount(0);
}
