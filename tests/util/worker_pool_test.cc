#include "util/worker_pool.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "sanitizers.h"

namespace {

// A moment far later than any pool needs to get its work done, so that a pool that would
// hang fails the case instead.
std::chrono::steady_clock::time_point longFromNow() {
  return std::chrono::steady_clock::now() + std::chrono::seconds(30);
}

// Waits until `ready` holds; false when it still does not at `giveUp`.
template <typename Ready>
bool waitUntil(Ready ready, std::chrono::steady_clock::time_point giveUp) {
  while (!ready()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

TEST(WorkerPool, EveryTaskRunsOnceWithinTheBudget) {
  for (size_t workers : {1, 2, 3, 8}) {
    workerPoolStruct pool(workers);
    EXPECT_EQ(workers, poolWorkers(pool));
    // One pool serves batch after batch.
    for (size_t count : {0, 1, 2, 7, 300}) {
      std::vector<std::atomic<int>> runs(count);
      std::atomic<size_t> running{0};
      std::atomic<size_t> mostRunning{0};
      forEachTask(pool, count, [&](size_t task) {
        size_t now = ++running;
        size_t most = mostRunning.load();
        while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
        }
        ++runs[task];
        --running;
      });
      for (size_t task = 0; task < count; ++task) {
        EXPECT_EQ(1, runs[task]) << workers << " workers, task " << task << " of " << count;
      }
      EXPECT_LE(mostRunning.load(), workers) << workers << " workers, " << count << " tasks";
    }
  }
}

// Tasks are handed out in ascending order, each to a worker that runs it to its end: a task
// that waits for the tasks before it is never kept waiting for good, however few the workers.
TEST(WorkerPool, TaskMayWaitForTheTasksBeforeIt) {
  constexpr size_t kTasks = 40;
  for (size_t workers : {1, 2, 3, 8}) {
    workerPoolStruct pool(workers);
    std::vector<std::atomic<bool>> begun(kTasks);
    std::atomic<size_t> keptWaiting{0};
    auto giveUp = longFromNow();
    forEachTask(pool, kTasks, [&](size_t task) {
      begun[task] = true;
      bool earlierBegun = waitUntil(
          [&] {
            return std::all_of(begun.begin(), begun.begin() + static_cast<ptrdiff_t>(task),
                               [](const std::atomic<bool>& b) { return b.load(); });
          },
          giveUp);
      if (!earlierBegun) ++keptWaiting;
    });
    EXPECT_EQ(0u, keptWaiting.load()) << workers << " workers";
  }
}

// A job beside the caller does not hold the caller up, and a batch handed over while it keeps
// a worker busy is done by the others; the job runs once, by a worker or by the caller.
TEST(WorkerPool, BesideJobRunsWhileTheCallerGoesOn) {
  for (size_t workers : {1, 2, 3}) {
    workerPoolStruct pool(workers);
    std::atomic<bool> batchDone{false};
    std::atomic<int> jobRuns{0};
    std::atomic<bool> jobSawBatch{false};
    besideJobStruct job(pool, [&] {
      ++jobRuns;
      jobSawBatch = waitUntil([&] { return batchDone.load(); }, longFromNow());
    });
    std::vector<std::atomic<int>> runs(20);
    forEachTask(pool, runs.size(), [&](size_t task) { ++runs[task]; });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](auto& n) { return n == 1; }))
        << workers << " workers";
    batchDone = true;
    waitFor(job);
    EXPECT_EQ(1, jobRuns) << workers << " workers";
    EXPECT_TRUE(jobSawBatch) << workers << " workers";
  }
}

// A job beside the caller waits for the caller's next batch, and a worker takes it only when
// no task of that batch is left to take: the work that holds the caller up goes first.
TEST(WorkerPool, BesideJobWaitsForTheNextBatchAndYieldsToIt) {
  constexpr size_t kTasks = 20;
  for (size_t workers : {2, 3}) {
    workerPoolStruct pool(workers);
    std::atomic<bool> jobBegun{false};
    std::atomic<size_t> begun{0};
    size_t begunBeforeJob = 0;
    besideJobStruct job(pool, [&] {
      begunBeforeJob = begun.load();
      jobBegun = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(jobBegun) << workers << " workers";
    forEachTask(pool, kTasks, [&](size_t) {
      ++begun;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    waitFor(job);
    // Every task is handed out by then; each other worker may hold one it has not begun.
    EXPECT_GE(begunBeforeJob, kTasks - (workers - 1)) << workers << " workers";
  }
}

// A batch of one task, which the caller runs itself, lets a worker take the job beside it.
TEST(WorkerPool, BesideJobRunsBesideALoneTask) {
  workerPoolStruct pool(2);
  std::atomic<bool> jobBegun{false};
  besideJobStruct job(pool, [&] { jobBegun = true; });
  bool sawJob = false;
  forEachTask(pool, 1,
              [&](size_t) { sawJob = waitUntil([&] { return jobBegun.load(); }, longFromNow()); });
  waitFor(job);
  EXPECT_TRUE(sawJob);
}

// The address space this process holds now, in bytes.
rlim_t addressSpaceNow() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// A thread needs room for its stack; where there is none, the pool is the caller alone, and
// it does every task and every job.
TEST(WorkerPoolDeathTest, CallerWorksAloneWhenNoThreadStarts) {
  if (kSanitized) GTEST_SKIP() << "under a sanitizer the address space cannot be limited";
  // A fresh process: stacks of threads that have ended are kept for new threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto runWithoutRoom = [] {
    rlim_t room = addressSpaceNow() + (rlim_t{1} << 20);
    struct rlimit limit = {room, room};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    workerPoolStruct pool(8);
    std::vector<int> runs(100, 0);
    bool elsewhere = false;
    pthread_t caller = pthread_self();
    forEachTask(pool, runs.size(), [&](size_t task) {
      ++runs[task];
      if (pthread_equal(pthread_self(), caller) == 0) elsewhere = true;
    });
    int jobRuns = 0;
    besideJobStruct job(pool, [&jobRuns] { ++jobRuns; });
    waitFor(job);
    bool once = std::all_of(runs.begin(), runs.end(), [](int n) { return n == 1; });
    _exit(poolWorkers(pool) == 1 && once && !elsewhere && jobRuns == 1 ? 0 : 1);
  };
  EXPECT_EXIT(runWithoutRoom(), ::testing::ExitedWithCode(0), "");
}

// A task that hands work to the pool would spend a budget that its caller has already spent.
TEST(WorkerPoolDeathTest, TaskThatHandsWorkToThePoolIsStopped) {
#ifdef NDEBUG
  GTEST_SKIP() << "asserts are compiled out of this build";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (size_t workers : {1, 3}) {
    auto nested = [workers] {
      workerPoolStruct pool(workers);
      forEachTask(pool, 4, [&pool](size_t) { forEachTask(pool, 2, [](size_t) {}); });
    };
    EXPECT_DEATH(nested(), "hands work to the pool") << workers << " workers";
    auto nestedBeside = [workers] {
      workerPoolStruct pool(workers);
      besideJobStruct job(pool, [&pool] { forEachTask(pool, 2, [](size_t) {}); });
      waitFor(job);
    };
    EXPECT_DEATH(nestedBeside(), "hands work to the pool") << workers << " workers";
  }
}

}  // namespace
