#include "estimator/random_source.h"

namespace {

SampleSeedSource& processSource() {
  static SampleSeedSource source(0);
  return source;
}

}  // namespace

void seedRandomSource(std::uint64_t seed) {
  processSource().reseed(seed);
}

std::uint64_t drawSampleSeed() {
  return processSource().next();
}
