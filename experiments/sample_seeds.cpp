#include "experiments/sample_seeds.h"

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
