#pragma once

#include <cstdint>
#include <vector>

#include "estimator/random_source.h"

// The seeds of an experiment's N samples, drawn in sample order (none when N <= 0) from the
// process's generator or from a run's own. Drawing them all first, on the calling thread, lets
// the samples run anywhere.
std::vector<std::uint64_t> drawExperimentSeeds(int N);
std::vector<std::uint64_t> drawExperimentSeeds(int N, SampleSeedSource& source);
