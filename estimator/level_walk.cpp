#include "estimator/level_walk.h"

#include <algorithm>

#include "estimator/random_source.h"

bool selectCandidates(CandidateList& candidates, int budget) {
  if (static_cast<double>(candidates.size()) <= static_cast<double>(budget))
    return false;
  shuffleUniformly(candidates);
  const auto keep = static_cast<std::size_t>(static_cast<unsigned>(budget));
  const bool cut = candidates.size() > keep;
  if (cut)
    candidates.resize(keep);
  // The kept sample in parent order: consecutive children then read the same or neighbouring
  // parents, and each worker mostly reads parents it built itself, still in its own cache.
  std::sort(candidates.begin(), candidates.end());
  return cut;
}

bool startWalk(TreeLevel& level, Graph& root) {
  if (!root.classified)
    root.classifyEdges();
  if (root.ordinaryCount() == 0)
    return true;
  startLevel(level, root);
  return false;
}

bool descendOneLevel(TreeLevel& level, CandidateList& candidates, int budget, int mcore,
                     WideFloat& levelWeight) {
  // Each kept child stands for c / (kept) candidates: the weight is updated before the cut.
  const double c = static_cast<double>(candidates.size());
  const double k = static_cast<double>(level.size());
  levelWeight = WideFloat(c / k) * levelWeight;
  const bool cut = selectCandidates(candidates, budget);
  expandLevel(level, candidates, static_cast<int>(candidates.size()), mcore);
  return cut;
}
