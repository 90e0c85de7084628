#pragma once

#include <cstdint>
#include <vector>

// The seeds of an experiment's N samples, drawn from the run's generator in sample order (none
// when N <= 0). Drawing them all first, on the calling thread, lets the samples run anywhere.
std::vector<std::uint64_t> drawExperimentSeeds(int N);
