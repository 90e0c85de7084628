#pragma once

#include "estimator/tree_level.h"
#include "estimator/wide_float.h"

// Starts a walk at `root`: classifies it and returns true when it is a leaf, so that there is
// nothing to walk. Otherwise makes it the only node of the empty `level`.
bool startWalk(TreeLevel& level, Graph& root);

// One descent step shared by both estimators: updates the level weight W = c / k * W with c
// candidates and k nodes, keeps a uniform random sample of at most `budget` candidates when
// there are more, and builds the kept children into the level. Returns true when the budget cut
// the level (some candidate was dropped).
bool descendOneLevel(TreeLevel& level, CandidateList& candidates, int budget, int mcore,
                     WideFloat& levelWeight);

// Cuts the candidate list to a uniform random sample of `budget` entries, listed in increasing
// order, when it is longer; a list of at most `budget` entries keeps its order.
// The budget is taken as an unsigned count, so a negative budget keeps every candidate.
// Returns true when it dropped a candidate.
bool selectCandidates(CandidateList& candidates, int budget);
