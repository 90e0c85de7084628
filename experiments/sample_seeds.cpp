#include "experiments/sample_seeds.h"

#include "estimator/random_source.h"

std::vector<std::uint64_t> drawExperimentSeeds(int N) {
  std::vector<std::uint64_t> seeds(N > 0 ? N : 0);
  for (std::uint64_t& seed : seeds)
    seed = drawSampleSeed();
  return seeds;
}
