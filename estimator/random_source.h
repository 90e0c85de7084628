#pragma once

#include <cstdint>
#include <random>

// A run's generator: seeded once with the run's seed, it hands out one seed per sample, in
// sample order, on the thread that drives the run, and each sample's walk draws from a stream
// seeded with it (random_stream.h). A run that owns one is independent of every other run in
// the process.
class SampleSeedSource {
 public:
  explicit SampleSeedSource(std::uint64_t runSeed) : engine_(runSeed) {}
  void reseed(std::uint64_t runSeed) { engine_.seed(runSeed); }
  // The seed of the next sample's stream.
  std::uint64_t next() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

// The command-line tool's one run: the driver seeds it once and draws from it.
void seedRandomSource(std::uint64_t seed);

// The seed of the next sample's stream.
std::uint64_t drawSampleSeed();
