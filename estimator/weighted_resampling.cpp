#include "estimator/weighted_resampling.h"

#include <algorithm>
#include <functional>

namespace {

// The threshold c with sum min(1, |w| / c) = budget, for n > budget non-zero weights: with the
// magnitudes in decreasing order, the largest L of them are at least c, and c is the sum of the
// others over budget - L. c only falls as L grows, and L stays below budget since the last
// magnitude is positive.
WideFloat keepThreshold(const std::vector<WeightedCandidate>& candidates, std::size_t budget) {
  thread_local std::vector<WideFloat> magnitudes, tails;
  magnitudes.clear();
  for (const WeightedCandidate& candidate : candidates)
    magnitudes.push_back(abs(candidate.weight));
  std::sort(magnitudes.begin(), magnitudes.end(), std::greater<>());
  // Sums of the tails, from the smallest up, so that no cancellation enters them.
  tails.assign(magnitudes.size() + 1, 0.0);
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

// The case of a walk with budget 1, without the sorting: one candidate in proportion to |w|,
// carrying the sum of all |w| with its own sign.
bool keepOne(std::vector<WeightedCandidate>& candidates, RandomStream& random) {
  WideFloat total = 0.0;
  for (const WeightedCandidate& candidate : candidates)
    total += abs(candidate.weight);
  const WideFloat point = total * random.uniformUnit();
  WideFloat reached = 0.0;
  std::size_t chosen = candidates.size() - 1;
  for (std::size_t k = 0; k + 1 < candidates.size(); ++k) {
    reached += abs(candidates[k].weight);
    if (reached > point) {
      chosen = k;
      break;
    }
  }
  const WeightedCandidate kept = candidates[chosen];
  candidates.assign(1, {kept.code, kept.weight, total / abs(kept.weight)});
  return true;
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
  if (budget == 1)
    return keepOne(candidates, random);
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
