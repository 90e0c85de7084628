#pragma once

#include <functional>

// A thin layer over the task scheduler, so that the estimators depend on what they need from
// parallelism and nothing more.

// Runs body(p) for every p in [0, count) on the worker threads and returns when all are done.
// count <= 0 runs nothing and count == 1 runs on the calling thread. An exception thrown by a
// body is rethrown on the calling thread.
void parallelFor(int count, const std::function<void(int)>& body);
