#pragma once

#include <cstdint>

// The run's generator. The driver seeds it once; it hands out one seed per sample, in sample
// order, on the thread that runs the experiments, and each sample's walk draws from a stream
// seeded with it (random_stream.h).
void seedRandomSource(std::uint64_t seed);

// The seed of the next sample's stream.
std::uint64_t drawSampleSeed();
