#pragma once

#include <cstdint>
#include <vector>

#include "estimator/sample_batch.h"
#include "graph/graph.h"

// The reduced walk's tilt (reduced_walk.h) for a graph, a point and a budget, chosen from short
// pilot runs: the pilot seeds are shared out among a ladder of tilts from 1/8 to 8 in steps of
// sqrt(2), each tilt draws its share of samples with `settings` (its walk, budget and cores), and
// the tilt whose samples promise the least work to a given precision wins: the variance of one
// sample about the mean of all pilot samples (every tilt's samples are unbiased), times the
// nodes one sample builds. The choice depends only on the seeds, so it is the same on one core
// or many and on every process that makes it. A graph whose value is 0 or whose root is a leaf
// gets tilt 1. The pilot's samples are for the choice only: a run draws its own afterwards.
double chooseTilt(const Graph& root, const WalkSettings& settings,
                  const std::vector<std::uint64_t>& pilotSeeds);

// The tilts chooseTilt tries.
std::vector<double> tiltLadder();
