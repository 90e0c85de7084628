#pragma once

#include <functional>

// A thin layer over the task scheduler, so that the estimators depend on what they need from
// parallelism and nothing more.

// Runs body(p) for every p in [0, count) on the worker threads and returns when all are done.
// count <= 0 runs nothing and count == 1 runs on the calling thread. An exception thrown by a
// body is rethrown on the calling thread.
void parallelFor(int count, const std::function<void(int)>& body);

// The number of threads the loops may use, the calling thread included.
int workerCount();

// Runs body() on the calling thread with the loops it starts limited to at most `threads`
// threads (the calling thread included; at least 1, and never more than the machine's), and
// rethrows its exception. The limit belongs to this call alone: estimates run side by side from
// several threads each keep their own, and the loops of other callers keep every core.
void runWithWorkerLimit(int threads, const std::function<void()>& body);

// Runs body(w) for w in [0, tasks), each as a task of its own, so that as many threads as are
// free take part; returns when all are done and rethrows a task's exception. Meant for bodies
// that share out work among themselves.
void runTasks(int tasks, const std::function<void(int)>& body);
