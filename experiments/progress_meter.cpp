#include "experiments/progress_meter.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(2);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(250);

std::string duration(double seconds) {
  const long long whole = static_cast<long long>(seconds);
  char text[48];
  if (whole < 60)
    std::snprintf(text, sizeof text, "%lld s", whole);
  else if (whole < 3600)
    std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
  return text;
}

// One write call per update: the line goes out whole, and no stream object is shared with the
// thread that prints the reports.
void writeToTerminal(const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = write(STDERR_FILENO, text.data() + written, text.size() - written);
    if (count <= 0)
      return;
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace

ProgressMeter::ProgressMeter(int experimentCount, int samplesPerExperiment, bool shown)
    : experimentCount_(experimentCount), samplesPerExperiment_(samplesPerExperiment) {
  if (!shown || experimentCount <= 0 || samplesPerExperiment <= 0 || isatty(STDERR_FILENO) == 0)
    return;
  try {
    display_ = std::thread([this] { showUntilStopped(); });
  } catch (const std::system_error&) {
    // No thread to spare: the run goes on without a meter.
  }
}

ProgressMeter::~ProgressMeter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    clear();
  }
  wake_.notify_one();
  if (display_.joinable())
    display_.join();
}

void ProgressMeter::startExperiment() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++experiment_;
  samplesDone_.store(0, std::memory_order_relaxed);
  sampling_ = true;
}

void ProgressMeter::finishExperiment() {
  std::lock_guard<std::mutex> lock(mutex_);
  sampling_ = false;
  clear();
}

void ProgressMeter::showUntilStopped() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, kRedrawPeriod);
    if (!stopping_ && sampling_ && Clock::now() - start_ >= kQuietStart)
      draw(progressLine());
  }
}

std::string ProgressMeter::progressLine() const {
  const long long inExperiment = samplesDone_.load(std::memory_order_relaxed);
  const long long done = (experiment_ - 1) * samplesPerExperiment_ + inExperiment;
  const long long total = experimentCount_ * samplesPerExperiment_;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  std::string line = "experiment " + std::to_string(experiment_) + "/" +
                     std::to_string(experimentCount_) + "  samples " +
                     std::to_string(inExperiment) + "/" + std::to_string(samplesPerExperiment_) +
                     "  " + duration(elapsed) + " elapsed";
  if (done > 0)
    line += "  about " +
            duration(elapsed / static_cast<double>(done) * static_cast<double>(total - done)) +
            " left";
  return line;
}

void ProgressMeter::draw(const std::string& line) {
  // Blanks cover what is left of a longer line drawn before.
  std::string text(1, '\r');
  text += line;
  if (line.size() < shownLength_)
    text.append(shownLength_ - line.size(), ' ');
  writeToTerminal(text);
  shownLength_ = line.size();
}

void ProgressMeter::clear() {
  if (shownLength_ == 0)
    return;
  std::string text(1, '\r');
  text.append(shownLength_, ' ');
  text += '\r';
  writeToTerminal(text);
  shownLength_ = 0;
}
