#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// Shows how far a run has got, on one line of standard error rewritten in place: the
// experiment, the samples it has drawn, the time spent and the time the run still needs. Only
// when standard error is a terminal, and only once the run has lasted two seconds, so short
// runs and runs whose messages go to a file or a pipe show nothing. Standard output is never
// touched.
//
// The drivers call startExperiment and finishExperiment on their own thread, around the
// samples of an experiment; finishExperiment clears the line, so that a report printed on the
// same terminal is never mixed with it. tickSample may be called from any thread and costs one
// atomic increment: the clock is read, and the line drawn, only by the meter's own thread,
// a few times a second.
class ProgressMeter {
 public:
  // `shown` false makes a meter that shows nothing (the processes of a run other than its
  // leader count their samples but never draw).
  ProgressMeter(int experimentCount, int samplesPerExperiment, bool shown = true);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void startExperiment();
  void tickSample() { samplesDone_.fetch_add(1, std::memory_order_relaxed); }
  void finishExperiment();

 private:
  using Clock = std::chrono::steady_clock;

  void showUntilStopped();
  std::string progressLine() const;
  void draw(const std::string& line);
  void clear();

  const long long experimentCount_;
  const long long samplesPerExperiment_;
  const Clock::time_point start_ = Clock::now();
  std::atomic<long long> samplesDone_{0};  // in the current experiment

  std::mutex mutex_;  // guards everything below and the terminal line
  std::condition_variable wake_;
  long long experiment_ = 0;  // 1-based once started
  bool sampling_ = false;
  bool stopping_ = false;
  std::size_t shownLength_ = 0;  // of the line on the terminal; 0 when none is shown
  std::thread display_;
};
