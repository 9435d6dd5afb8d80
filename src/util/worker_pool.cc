#include "util/worker_pool.h"

#include <sched.h>

#include <algorithm>
#include <cassert>

namespace {

void leaveQueue(std::deque<poolJobStruct*>& queue, const poolJobStruct& job) {
  auto queued = std::find(queue.begin(), queue.end(), &job);
  if (queued != queue.end()) queue.erase(queued);
}

// The next task of `job`, which has one left; a queued job leaves its queue with its last.
size_t takeTask(workerPoolStruct& pool, poolJobStruct& job) {
  size_t task = job.handedOut++;
  if (job.handedOut == job.count) {
    leaveQueue(pool.batches, job);
    leaveQueue(pool.besides, job);
  }
  return task;
}

// Lets workers take the jobs beside the caller, and answers how many tasks of them wait.
size_t releaseBesides(workerPoolStruct& pool) {
  size_t waiting = 0;
  for (poolJobStruct* job : pool.besides) {
    job->released = true;
    waiting += job->count - job->handedOut;
  }
  return waiting;
}

// The job a free worker takes a task of next, or null.
poolJobStruct* nextJob(const workerPoolStruct& pool) {
  if (!pool.batches.empty()) return pool.batches.front();
  return pool.besides.empty() || !pool.besides.front()->released ? nullptr : pool.besides.front();
}

void endTask(workerPoolStruct& pool, poolJobStruct& job) {
  if (++job.finished == job.count) pool.jobFinished.notify_one();
}

void* workOnPool(void* context) {
  workerPoolStruct& pool = *static_cast<workerPoolStruct*>(context);
  std::unique_lock<std::mutex> lock(pool.mutex);
  for (;;) {
    pool.workQueued.wait(lock, [&pool] { return pool.stopping || nextJob(pool) != nullptr; });
    if (nextJob(pool) == nullptr) return nullptr;
    poolJobStruct& job = *nextJob(pool);
    size_t task = takeTask(pool, job);
    lock.unlock();
    job.task(job.context, task);
    lock.lock();
    endTask(pool, job);
  }
}

// Work is handed over by the thread that made the pool, outside any task.
[[maybe_unused]] bool mayHandOver(const workerPoolStruct& pool) {
  return pthread_equal(pthread_self(), pool.owner) != 0 && !pool.ownerInTask;
}

}  // namespace

size_t usableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  return static_cast<size_t>(std::max(CPU_COUNT(&set), 1));
}

workerPoolStruct::workerPoolStruct(size_t workers) : owner(pthread_self()) {
  // A thread that cannot be started is an error code here rather than an exception.
  threads.reserve(workers > 1 ? workers - 1 : 0);
  for (size_t i = 1; i < workers; ++i) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, workOnPool, this) != 0) break;
    threads.push_back(thread);
  }
}

workerPoolStruct::~workerPoolStruct() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  workQueued.notify_all();
  for (pthread_t thread : threads) pthread_join(thread, nullptr);
}

void startBeside(workerPoolStruct& pool, poolJobStruct& job) {
  assert(mayHandOver(pool) && "a task on the pool hands work to the pool");
  if (job.count == 0) return;
  std::lock_guard<std::mutex> lock(pool.mutex);
  job.released = false;
  pool.besides.push_back(&job);
}

void runBatch(workerPoolStruct& pool, poolJobStruct& job) {
  assert(mayHandOver(pool) && "a task on the pool hands work to the pool");
  size_t wanted = 0;
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    // This thread takes a task too: a job of one task is not queued at all.
    if (job.count > 1) pool.batches.push_back(&job);
    wanted = (job.count > 1 ? job.count - 1 : 0) + releaseBesides(pool);
  }
  for (size_t i = 0; i < std::min(wanted, pool.threads.size()); ++i) pool.workQueued.notify_one();
  finishJob(pool, job);
}

void finishJob(workerPoolStruct& pool, poolJobStruct& job) {
  assert(mayHandOver(pool) && "a task on the pool waits for work of the pool");
  std::unique_lock<std::mutex> lock(pool.mutex);
  while (job.handedOut < job.count) {
    size_t task = takeTask(pool, job);
    lock.unlock();
    pool.ownerInTask = true;
    job.task(job.context, task);
    pool.ownerInTask = false;
    lock.lock();
    endTask(pool, job);
  }
  pool.jobFinished.wait(lock, [&job] { return job.finished == job.count; });
}
