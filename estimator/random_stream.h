#pragma once

#include <cstdint>
#include <limits>
#include <vector>

// The random stream of one walk: xoshiro256** seeded through SplitMix64. Every sample draws
// from a stream of its own, seeded from the run's generator in sample order, so a sample is
// the same whichever thread, process or machine computes it. The state is four words and
// seeding costs four steps of SplitMix64, nothing next to one sample.
class RandomStream {
 public:
  using result_type = std::uint64_t;

  explicit RandomStream(std::uint64_t seed = 0) { reseed(seed); }
  void reseed(std::uint64_t seed);

  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
  result_type operator()();

  // A uniformly distributed integer in [0, bound], without modulo bias.
  std::uint64_t uniformUpTo(std::uint64_t bound);
  // A uniformly distributed double in [0, 1): 53 random bits.
  double uniformUnit() { return static_cast<double>((*this)() >> 11) * 0x1p-53; }

 private:
  std::uint64_t state_[4];
};

// Uniform random permutation of `values` by the forward Fisher-Yates method.
void shuffleUniformly(std::vector<int>& values, RandomStream& random);

// Moves a uniformly chosen subset of `keep` entries (keep <= size) to the front of `values`, in
// random order: the first `keep` steps of a Fisher-Yates shuffle, `keep` draws in all.
void moveUniformSubsetToFront(std::vector<int>& values, std::size_t keep, RandomStream& random);
