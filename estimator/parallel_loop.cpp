#include "estimator/parallel_loop.h"

#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

void parallelFor(int count, const std::function<void(int)>& body) {
  if (count <= 0)
    return;
  if (count == 1) {
    body(0);
    return;
  }
  // The scheduler cancels the remaining work and rethrows a task's exception on this thread.
  tbb::parallel_for(
      tbb::blocked_range<int>(0, count),
      [&body](const tbb::blocked_range<int>& range) {
        for (int p = range.begin(); p != range.end(); ++p)
          body(p);
      },
      tbb::auto_partitioner());
}

int workerCount() {
  return tbb::info::default_concurrency();
}

void runTasks(int tasks, const std::function<void(int)>& body) {
  if (tasks <= 0)
    return;
  tbb::parallel_for(
      tbb::blocked_range<int>(0, tasks, 1),
      [&body](const tbb::blocked_range<int>& range) {
        for (int w = range.begin(); w != range.end(); ++w)
          body(w);
      },
      tbb::simple_partitioner());
}
