#pragma once

#include <cstddef>
#include <vector>

#include "estimator/random_stream.h"
#include "estimator/wide_float.h"

// A child of the reduced walk's current level before it is built: its code (2k: the deletion
// child of node k, 2k + 1: the contraction child), the weight it carries (non-zero), and the
// factor by which the resampling has scaled that weight for the child it keeps.
struct WeightedCandidate {
  int code;
  WideFloat weight;
  WideFloat scale = 1.0;
};

// Keeps at most `budget` of the candidates, unbiasedly: every candidate's expected kept weight,
// weight times scale, equals its weight. Candidates stay in their order. When there are at most
// `budget` nothing changes. Otherwise a threshold c is found with sum min(1, |w| / c) = budget:
// every candidate with |w| >= c is kept as it is, and the rest are thinned by systematic
// sampling with spacing c (one uniform draw), each kept one carrying c with its own sign. Among
// schemes that keep at most `budget` distinct candidates this one has the least variance
// (Fearnhead and Clifford's optimal resampling); it never keeps a candidate twice, so no budget
// is spent on copies of one subtree. Returns true when some candidate was dropped.
// O(n log n) for n candidates.
bool resampleToBudget(std::vector<WeightedCandidate>& candidates, std::size_t budget,
                      RandomStream& random);
