#ifndef RELMERGE_RELATIONS_PARALLEL_H_
#define RELMERGE_RELATIONS_PARALLEL_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

// The processors this process may run on, at least 1.
size_t usableProcessors();

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
  std::vector<std::thread> threads;
  size_t wanted = std::min(workers, count);
  threads.reserve(wanted);
  for (size_t worker = 1; worker < wanted; ++worker) {
    try {
      threads.emplace_back(work, worker);
    } catch (const std::exception&) {
      break;
    }
  }
  work(0);
  for (std::thread& thread : threads) thread.join();
}

#endif  // RELMERGE_RELATIONS_PARALLEL_H_
