#include "estimator/random_source.h"

#include <random>
#include <utility>

namespace {

std::mt19937_64& generator() {
  static std::mt19937_64 engine(0);
  return engine;
}

}  // namespace

void seedRandomSource(std::uint64_t seed) {
  generator().seed(seed);
}

std::uint64_t uniformUpTo(std::uint64_t bound) {
  std::uniform_int_distribution<std::uint64_t> draw(0, bound);
  return draw(generator());
}

void shuffleUniformly(std::vector<int>& values) {
  for (std::size_t p = 1; p < values.size(); ++p) {
    std::size_t r = static_cast<std::size_t>(uniformUpTo(p));
    std::swap(values[p], values[r]);
  }
}
