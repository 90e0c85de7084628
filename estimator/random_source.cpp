#include "estimator/random_source.h"

#include <random>

namespace {

std::mt19937_64& generator() {
  static std::mt19937_64 engine(0);
  return engine;
}

}  // namespace

void seedRandomSource(std::uint64_t seed) {
  generator().seed(seed);
}

std::uint64_t drawSampleSeed() {
  return generator()();
}
