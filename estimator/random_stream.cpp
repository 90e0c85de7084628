#include "estimator/random_stream.h"

#include <utility>

namespace {

std::uint64_t splitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The full 128-bit product of two 64-bit words (a compiler extension on every 64-bit target).
__extension__ using Wide = unsigned __int128;

constexpr std::uint64_t rotateLeft(std::uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

}  // namespace

void RandomStream::reseed(std::uint64_t seed) {
  // SplitMix64 never yields four zero words in a row, the one state xoshiro must avoid.
  for (std::uint64_t& word : state_)
    word = splitMix64(seed);
}

RandomStream::result_type RandomStream::operator()() {
  const std::uint64_t result = rotateLeft(state_[1] * 5, 7) * 9;
  const std::uint64_t shifted = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= shifted;
  state_[3] = rotateLeft(state_[3], 45);
  return result;
}

// Lemire's multiply-and-reject: the high word of draw x (bound + 1) is uniform once the few
// low words that would favour some results are rejected. Walks draw mostly among two or a few
// candidates, where this costs a multiplication.
std::uint64_t RandomStream::uniformUpTo(std::uint64_t bound) {
  if (bound == std::numeric_limits<std::uint64_t>::max())
    return (*this)();
  const std::uint64_t range = bound + 1;
  Wide product = static_cast<Wide>((*this)()) * range;
  auto low = static_cast<std::uint64_t>(product);
  if (low < range) {
    const std::uint64_t threshold = (0 - range) % range;  // 2^64 mod range
    while (low < threshold) {
      product = static_cast<Wide>((*this)()) * range;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

void shuffleUniformly(std::vector<int>& values, RandomStream& random) {
  for (std::size_t p = 1; p < values.size(); ++p)
    std::swap(values[p], values[random.uniformUpTo(p)]);
}

void moveUniformSubsetToFront(std::vector<int>& values, std::size_t keep, RandomStream& random) {
  const std::size_t size = values.size();
  for (std::size_t p = 0; p < keep && p + 1 < size; ++p)
    std::swap(values[p], values[p + random.uniformUpTo(size - 1 - p)]);
}
