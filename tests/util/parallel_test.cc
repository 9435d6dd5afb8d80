#include "util/parallel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <vector>

#include "sanitizers.h"

namespace {

TEST(Parallel, EveryTaskRunsOnceOnAWorkerOfItsOwn) {
  for (size_t workers : {1, 2, 3, 8}) {
    for (size_t count : {0, 1, 2, 7, 300}) {
      std::vector<std::atomic<int>> runs(count);
      std::vector<std::atomic<int>> busy(workers);
      std::atomic<bool> overlapped{false};
      forEachTaskInParallel(workers, count, [&](size_t worker, size_t task) {
        ASSERT_LT(worker, workers);
        // A worker runs one task at a time.
        if (busy[worker]++ != 0) overlapped = true;
        ++runs[task];
        --busy[worker];
      });
      for (size_t task = 0; task < count; ++task) {
        EXPECT_EQ(1, runs[task]) << workers << " workers, task " << task << " of " << count;
      }
      EXPECT_FALSE(overlapped) << workers << " workers";
    }
  }
}

// The address space this process holds now, in bytes.
rlim_t addressSpaceNow() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// A thread needs room for its stack; where there is none, this thread does all the tasks.
TEST(ParallelDeathTest, TasksRunHereWhenNoThreadStarts) {
  if (kSanitized) GTEST_SKIP() << "under a sanitizer the address space cannot be limited";
  // A fresh process: stacks of threads that have ended are kept for new threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto runWithoutRoom = [] {
    std::vector<int> runs(100, 0);
    std::atomic<bool> elsewhere{false};
    rlim_t room = addressSpaceNow() + (rlim_t{1} << 20);
    struct rlimit limit = {room, room};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    forEachTaskInParallel(8, runs.size(), [&](size_t worker, size_t task) {
      ++runs[task];
      if (worker != 0) elsewhere = true;
    });
    bool once = std::all_of(runs.begin(), runs.end(), [](int n) { return n == 1; });
    _exit(once && !elsewhere ? 0 : 1);
  };
  EXPECT_EXIT(runWithoutRoom(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
