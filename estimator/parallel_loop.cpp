#include "estimator/parallel_loop.h"

#ifdef VELMORA_PLAIN_THREADS
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
#else
#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>
#endif

namespace {

#ifdef VELMORA_PLAIN_THREADS
// For ThreadSanitizer builds only. The task scheduler's library is not instrumented, so the
// sanitizer cannot see its hand-overs and would report each as a race; plain threads, started
// here and joined before returning, keep the contract with synchronisation it can see. Each
// thread takes the next position until none is left or a body has failed.

// The limit of the runWithWorkerLimit call in progress on this thread; 0: none. The loops are
// started from the thread that runs the estimate (walks run side by side build their levels on
// one core), so a limit held per thread covers them.
thread_local int workerLimit = 0;

int threadCount() {
  const int all = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
  return workerLimit > 0 ? std::min(workerLimit, all) : all;
}

void runLimited(int threads, const std::function<void()>& body) {
  struct Restore {
    int previous;
    ~Restore() { workerLimit = previous; }
  } restore{workerLimit};
  workerLimit = threads;
  body();
}

void runOnWorkers(int count, const std::function<void(int)>& body) {
  const int workers = std::min(count, threadCount());
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;
  std::mutex failureMutex;
  auto work = [&] {
    for (int p = next++; p < count && !failed; p = next++) {
      try {
        body(p);
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (!failure)
          failure = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < workers; ++t)
    threads.emplace_back(work);
  work();
  for (std::thread& thread : threads)
    thread.join();
  if (failure)
    std::rethrow_exception(failure);
}

void runEachOnAThread(int tasks, const std::function<void(int)>& body) {
  runOnWorkers(tasks, body);  // one position per thread when tasks <= threadCount()
}
#else
// Inside a task arena this is the arena's concurrency, else the machine's.
int threadCount() {
  return tbb::this_task_arena::max_concurrency();
}

// An arena of `threads` slots: the loops started inside it run on at most that many threads.
void runLimited(int threads, const std::function<void()>& body) {
  tbb::task_arena arena(std::min(threads, tbb::info::default_concurrency()));
  arena.execute(body);
}

void runOnWorkers(int count, const std::function<void(int)>& body) {
  // The scheduler cancels the remaining work and rethrows a task's exception on this thread.
  tbb::parallel_for(
      tbb::blocked_range<int>(0, count),
      [&body](const tbb::blocked_range<int>& range) {
        for (int p = range.begin(); p != range.end(); ++p)
          body(p);
      },
      tbb::auto_partitioner());
}

// One task per position, so that every free thread takes part.
void runEachOnAThread(int tasks, const std::function<void(int)>& body) {
  tbb::parallel_for(
      tbb::blocked_range<int>(0, tasks, 1),
      [&body](const tbb::blocked_range<int>& range) {
        for (int w = range.begin(); w != range.end(); ++w)
          body(w);
      },
      tbb::simple_partitioner());
}
#endif

}  // namespace

void parallelFor(int count, const std::function<void(int)>& body) {
  if (count <= 0)
    return;
  if (count == 1) {
    body(0);
    return;
  }
  runOnWorkers(count, body);
}

int workerCount() {
  return threadCount();
}

void runTasks(int tasks, const std::function<void(int)>& body) {
  if (tasks > 0)
    runEachOnAThread(tasks, body);
}

void runWithWorkerLimit(int threads, const std::function<void()>& body) {
  runLimited(std::max(threads, 1), body);
}
