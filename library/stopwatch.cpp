#include "library/stopwatch.h"

Stopwatch::Stopwatch() : start_(std::chrono::steady_clock::now()) {}

float Stopwatch::elapsedSeconds() const {
  const std::chrono::duration<float> elapsed = std::chrono::steady_clock::now() - start_;
  return elapsed.count();
}
