#include "estimator/level_walk.h"

#include <algorithm>

#include "estimator/random_source.h"

void selectCandidates(CandidateList& candidates, int budget) {
  if (static_cast<double>(candidates.size()) <= static_cast<double>(budget))
    return;
  shuffleUniformly(candidates);
  const auto keep = static_cast<std::size_t>(static_cast<unsigned>(budget));
  if (candidates.size() > keep)
    candidates.resize(keep);
  // The kept sample in parent order: consecutive children then read the same or neighbouring
  // parents, and each worker mostly reads parents it built itself, still in its own cache.
  std::sort(candidates.begin(), candidates.end());
}

bool startWalk(TreeLevel& level, Graph& root) {
  if (!root.classified)
    root.classifyEdges();
  if (root.ordinaryCount() == 0)
    return true;
  startLevel(level, root);
  return false;
}

void descendOneLevel(TreeLevel& level, CandidateList& candidates, int budget, int mcore,
                     WideFloat& levelWeight) {
  // Each kept child stands for c / (kept) candidates: the weight is updated before the cut.
  const double c = static_cast<double>(candidates.size());
  const double k = static_cast<double>(level.size());
  levelWeight = WideFloat(c / k) * levelWeight;
  selectCandidates(candidates, budget);
  expandLevel(level, candidates, static_cast<int>(candidates.size()), mcore);
}
