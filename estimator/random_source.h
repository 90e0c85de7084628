#pragma once

#include <cstdint>
#include <vector>

// The process's one random generator. The driver seeds it once; it is drawn from only on the
// thread that runs the estimators, between parallel loops.
void seedRandomSource(std::uint64_t seed);

// A uniformly distributed integer in [0, bound], without modulo bias.
std::uint64_t uniformUpTo(std::uint64_t bound);

// Uniform random permutation of `values` by the forward Fisher-Yates method.
void shuffleUniformly(std::vector<int>& values);
