#ifndef RELMERGE_UTIL_PARALLEL_H_
#define RELMERGE_UTIL_PARALLEL_H_

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "util/worker_pool.h"

// Calls work(context, worker) once for each worker in [0, wanted), worker 0 on this thread and
// the others on threads of their own, and returns when all calls have. Where no further thread
// can be started, the workers that have none are left out: work must not count on them.
void runWorkers(size_t wanted, void (*work)(void* context, size_t worker), void* context);

// Calls task(worker, i) once for every i in [0, count), on up to `workers` threads of which
// this one is worker 0; tasks are handed out in order as workers come free. Returns when all
// are done. Where no further thread can be started the tasks run on fewer: the work is the
// same either way.
template <typename Task>
void forEachTaskInParallel(size_t workers, size_t count, Task&& task) {
  std::atomic<size_t> next{0};
  auto work = [&next, count, &task](size_t worker) {
    for (size_t i = next.fetch_add(1, std::memory_order_relaxed); i < count;
         i = next.fetch_add(1, std::memory_order_relaxed)) {
      task(worker, i);
    }
  };
  using workType = decltype(work);
  runWorkers(
      std::min(workers, count),
      [](void* context, size_t worker) { (*static_cast<workType*>(context))(worker); }, &work);
}

#endif  // RELMERGE_UTIL_PARALLEL_H_
