#pragma once

#include <functional>

#include <tbb/concurrent_vector.h>

// A thin layer over the task scheduler, so that the estimators depend on what they need from
// parallelism and nothing more.

// Runs body(p) for every p in [0, count) on the worker threads and returns when all are done.
// count <= 0 runs nothing and count == 1 runs on the calling thread. An exception thrown by a
// body is rethrown on the calling thread.
void parallelFor(int count, const std::function<void(int)>& body);

// An append-only vector whose push_back may be called from several threads at once.
template <typename T>
class ConcurrentAppendVector {
 public:
  void append(T&& value) { items_.push_back(std::move(value)); }
  std::size_t size() const { return items_.size(); }
  T& operator[](std::size_t index) { return items_[index]; }

 private:
  tbb::concurrent_vector<T> items_;
};
