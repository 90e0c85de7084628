#include "estimator/weighted_resampling.h"

#include <algorithm>
#include <functional>

namespace {

// The threshold c with sum min(1, |w| / c) = budget, for n > budget non-zero weights: with the
// magnitudes in decreasing order, the largest L of them are at least c, and c is the sum of the
// others over budget - L. c only falls as L grows, and L stays below budget since the last
// magnitude is positive.
WideFloat keepThreshold(const std::vector<WeightedCandidate>& candidates, std::size_t budget) {
  std::vector<WideFloat> magnitudes;
  magnitudes.reserve(candidates.size());
  for (const WeightedCandidate& candidate : candidates)
    magnitudes.push_back(abs(candidate.weight));
  std::sort(magnitudes.begin(), magnitudes.end(), std::greater<>());
  // Sums of the tails, from the smallest up, so that no cancellation enters them.
  std::vector<WideFloat> tails(magnitudes.size() + 1, 0.0);
  for (std::size_t i = magnitudes.size(); i-- > 0;)
    tails[i] = tails[i + 1] + magnitudes[i];
  std::size_t large = 0;
  WideFloat threshold = tails[0] / static_cast<double>(budget);
  while (large + 1 < budget && magnitudes[large] >= threshold) {
    ++large;
    threshold = tails[large] / static_cast<double>(budget - large);
  }
  return threshold;
}

}  // namespace

bool resampleToBudget(std::vector<WeightedCandidate>& candidates, std::size_t budget,
                      RandomStream& random) {
  if (candidates.size() <= budget)
    return false;
  if (budget == 0) {
    candidates.clear();
    return true;
  }
  const WideFloat threshold = keepThreshold(candidates, budget);
  WideFloat point = threshold * random.uniformUnit();
  WideFloat reached = 0.0;
  std::size_t kept = 0;
  for (const WeightedCandidate& candidate : candidates) {
    const WideFloat magnitude = abs(candidate.weight);
    if (magnitude >= threshold) {
      candidates[kept++] = candidate;
      continue;
    }
    reached += magnitude;
    if (reached > point) {
      candidates[kept++] = {candidate.code, candidate.weight, threshold / magnitude};
      point += threshold;
    }
  }
  candidates.resize(kept);
  return true;
}
