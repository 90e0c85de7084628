#pragma once

#include <chrono>

// Measures elapsed wall-clock time on a monotonic clock. Processor time would add up the time
// of every worker thread and make a multi-core run look slower than it is.
class Stopwatch {
 public:
  Stopwatch();
  float elapsedSeconds() const;

 private:
  std::chrono::steady_clock::time_point start_;
};
