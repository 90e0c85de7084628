#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Where every seed comes from. A run is seeded once (from the clock unless the caller gives a
// seed); its generator hands out one seed per sample, in sample order, on the thread that drives
// the run, and each sample's walk draws from a stream seeded with it (random_stream.h). So the
// samples depend on the run's seed alone, not on where or in which order they run.

// A seed that differs between runs, even between runs started within the same second.
std::uint64_t seedFromClock();

// A run's generator. A run that owns one is independent of every other run in the process.
class SampleSeedSource {
 public:
  explicit SampleSeedSource(std::uint64_t runSeed) : engine_(runSeed) {}
  void reseed(std::uint64_t runSeed) { engine_.seed(runSeed); }
  // The seed of the next sample's stream.
  std::uint64_t next() { return engine_(); }
  // Passes over the seeds of `count` samples, as if they had been drawn. Time O(count), about a
  // nanosecond each.
  void skip(std::uint64_t count) { engine_.discard(count); }

 private:
  std::mt19937_64 engine_;
};

// The command-line tool's one run: the driver seeds it once and draws from it.
void seedRandomSource(std::uint64_t seed);

// The seed of the next sample's stream.
std::uint64_t drawSampleSeed();

// The seeds of an experiment's N samples, drawn in sample order (none when N <= 0) from the
// process's generator or from a run's own. Drawing them all first, on the calling thread, lets
// the samples run anywhere.
std::vector<std::uint64_t> drawExperimentSeeds(int N);
std::vector<std::uint64_t> drawExperimentSeeds(int N, SampleSeedSource& source);
