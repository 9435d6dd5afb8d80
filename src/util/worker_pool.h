#ifndef RELMERGE_UTIL_WORKER_POOL_H_
#define RELMERGE_UTIL_WORKER_POOL_H_

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

// The processors this process may run on, at least 1.
size_t usableProcessors();

// The tasks task(context, i), i in [0, count), as the pool hands them out.
struct poolJobStruct {
  void (*task)(void* context, size_t i) = nullptr;
  void* context = nullptr;
  size_t count = 0;
  size_t handedOut = 0;  // guarded by the pool's mutex, as are finished and released
  size_t finished = 0;
  bool released = true;  // whether workers may take its tasks yet
};

// Workers started once, which the thread that made the pool lends work to. That thread is
// worker 0: it takes part in the batches it hands over, and it alone hands work over. A task
// that runs on the pool never hands work to the pool (asserted): the work of a run is planned
// in one place, and no worker waits for work queued behind the task it runs.
//
// A free worker takes the next task of the oldest batch, and of the oldest job beside the
// caller only when no batch has a task waiting: a batch holds up its caller, a job beside it
// does not. A job beside the caller waits for the caller's next batch, even one of a single
// task, before any worker may take it: a worker that took it at once would leave that batch,
// which the caller's work usually starts with, to the caller alone.
//
// The tasks of a batch are handed out in ascending order, each to a worker that runs one task
// at a time to its end, so a task may wait for an earlier task of its batch, never for a later
// one.
struct workerPoolStruct {
  // Starts workers - 1 threads. A thread that cannot be started, for want of memory for its
  // stack or of the system's leave, leaves the pool smaller: the work is the same.
  explicit workerPoolStruct(size_t workers);
  ~workerPoolStruct();
  workerPoolStruct(const workerPoolStruct&) = delete;
  workerPoolStruct& operator=(const workerPoolStruct&) = delete;

  std::mutex mutex;
  std::condition_variable workQueued;
  std::condition_variable jobFinished;
  // Jobs with tasks not handed out yet, oldest first.
  std::deque<poolJobStruct*> batches;
  std::deque<poolJobStruct*> besides;
  std::vector<pthread_t> threads;
  pthread_t owner;
  bool ownerInTask = false;  // the owner runs a task; read and written by the owner alone
  bool stopping = false;
};

// The threads that share a batch: the pool's and the caller's.
inline size_t poolWorkers(const workerPoolStruct& pool) { return pool.threads.size() + 1; }

// Runs the tasks of `job`, on the pool's workers and this thread, and returns when all are done.
void runBatch(workerPoolStruct& pool, poolJobStruct& job);

// Queues the tasks of `job` to run beside this thread from its next batch on; `job` must outlive
// finishJob.
void startBeside(workerPoolStruct& pool, poolJobStruct& job);

// Runs here what no worker has taken of `job` yet, and returns when all its tasks are done.
void finishJob(workerPoolStruct& pool, poolJobStruct& job);

// Calls task(i) for every i in [0, count), on the pool's workers and this thread, and returns
// when all calls have.
template <typename Task>
void forEachTask(workerPoolStruct& pool, size_t count, Task&& task) {
  using taskType = std::remove_reference_t<Task>;
  poolJobStruct job{[](void* context, size_t i) { (*static_cast<taskType*>(context))(i); }, &task,
                    count};
  runBatch(pool, job);
}

// A job that runs beside the caller: a free worker takes it once the caller hands over its next
// batch, or else the caller, when it waits for it. It is waited for at the latest when it ends.
template <typename Job>
struct besideJobStruct {
  besideJobStruct(workerPoolStruct& pool, Job job) : pool(&pool), job(std::move(job)) {
    startBeside(pool, entry);
  }
  ~besideJobStruct() { finishJob(*pool, entry); }
  besideJobStruct(const besideJobStruct&) = delete;
  besideJobStruct& operator=(const besideJobStruct&) = delete;

  workerPoolStruct* pool;
  Job job;
  poolJobStruct entry{[](void* self, size_t) { static_cast<besideJobStruct*>(self)->job(); }, this,
                      1};
};

// Returns once `beside` has run.
template <typename Job>
void waitFor(besideJobStruct<Job>& beside) {
  finishJob(*beside.pool, beside.entry);
}

#endif  // RELMERGE_UTIL_WORKER_POOL_H_
