#include "estimator/random_source.h"

#include <chrono>

namespace {

SampleSeedSource& processSource() {
  static SampleSeedSource source(0);
  return source;
}

}  // namespace

std::uint64_t seedFromClock() {
  return static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

void seedRandomSource(std::uint64_t seed) {
  processSource().reseed(seed);
}

std::uint64_t drawSampleSeed() {
  return processSource().next();
}

std::vector<std::uint64_t> drawExperimentSeeds(int N) {
  std::vector<std::uint64_t> seeds(N > 0 ? N : 0);
  for (std::uint64_t& seed : seeds)
    seed = drawSampleSeed();
  return seeds;
}

std::vector<std::uint64_t> drawExperimentSeeds(int N, SampleSeedSource& source) {
  std::vector<std::uint64_t> seeds(N > 0 ? N : 0);
  for (std::uint64_t& seed : seeds)
    seed = source.next();
  return seeds;
}
