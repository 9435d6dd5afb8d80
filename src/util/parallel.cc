#include "util/parallel.h"

#include <pthread.h>

#include <vector>

namespace {

struct workerStruct {
  void (*work)(void*, size_t) = nullptr;
  void* context = nullptr;
  size_t worker = 0;
  pthread_t thread{};
};

void* startWorker(void* started) {
  auto* worker = static_cast<workerStruct*>(started);
  worker->work(worker->context, worker->worker);
  return nullptr;
}

}  // namespace

void runWorkers(size_t wanted, void (*work)(void* context, size_t worker), void* context) {
  // A thread that cannot be started, for want of memory for its stack or of the system's
  // leave, is an error code here rather than an exception: the work goes to fewer threads.
  std::vector<workerStruct> others(wanted > 1 ? wanted - 1 : 0);
  size_t started = 0;
  for (; started < others.size(); ++started) {
    workerStruct& other = others[started];
    other = {work, context, started + 1, {}};
    if (pthread_create(&other.thread, nullptr, startWorker, &other) != 0) break;
  }
  work(context, 0);
  for (size_t i = 0; i < started; ++i) pthread_join(others[i].thread, nullptr);
}
