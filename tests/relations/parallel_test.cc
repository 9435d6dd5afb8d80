#include "relations/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

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

}  // namespace
