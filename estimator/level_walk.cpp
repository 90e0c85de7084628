#include "estimator/level_walk.h"

#include "estimator/random_source.h"

void selectCandidates(CandidateList& candidates, int budget) {
  if (static_cast<double>(candidates.size()) <= static_cast<double>(budget))
    return;
  shuffleUniformly(candidates);
  const auto keep = static_cast<std::size_t>(static_cast<unsigned>(budget));
  if (candidates.size() > keep)
    candidates.resize(keep);
}

void descendOneLevel(TreeLevel& level, CandidateList& candidates, int budget, int mcore,
                     double& levelWeight) {
  // Each kept child stands for c / (kept) candidates: the weight is updated before the cut.
  const double c = static_cast<double>(candidates.size());
  const double k = static_cast<double>(level.size());
  levelWeight = c / k * levelWeight;
  selectCandidates(candidates, budget);
  expandLevel(level, candidates, static_cast<int>(candidates.size()), mcore);
}
