#include "estimator/level_walk.h"

#include <algorithm>
#include <cmath>

namespace {

// The value of a leaf with `bridges` bridges and `loops` loops at (x, y), weighted. The order
// of the products is fixed: it decides the rounding of every printed figure.
WideFloat monomialValue(double x, double y, int bridges, int loops, WideFloat weight) {
  return (power(x, bridges) * weight) * power(y, loops);
}

}  // namespace

LevelWalk::LevelWalk(int budget, int mcore, std::size_t memoryLimit)
    : budget_(budget), mcore_(mcore), memoryLimit_(memoryLimit) {}

void LevelWalk::start(const Graph& root, std::uint64_t seed) {
  random_.reseed(seed);
  levelWeight_ = 1.0;
  budgetBound_ = false;
  levels_.resize(levels_.current, 1);
  levels_.current[0] = root;
  if (!levels_.current[0].classified)
    levels_.current[0].classifyEdges();
}

WideFloat LevelWalk::samplePoint(const Graph& root, double x, double y, std::uint64_t seed) {
  start(root, seed);
  const Graph& top = levels_.current[0];
  if (top.ordinaryCount() == 0)  // the root is a leaf; no pruning test on this path
    return monomialValue(x, y, top.bridgeCount(), top.loopCount(), 1.0) + 0.0;
  WideFloat sum = 0.0;
  // A pruned root lists no children: the walk is over at once and the sample is 0.
  while (!listChildren(levels_.current, candidates_, x, y)) {
    descend();
    const WideFloat nodeWeight =
        WideFloat(1.0 / static_cast<double>(levels_.current.size())) * levelWeight_;
    for (Graph& node : levels_.current) {
      if (!isPruned(node, x, y) && node.ordinaryCount() == 0)
        sum = monomialValue(x, y, node.bridgeCount(), node.loopCount(), nodeWeight) + sum;
    }
  }
  return sum;
}

CoefficientMatrix LevelWalk::sampleCoefficients(const Graph& root, double x, double y,
                                                std::uint64_t seed, WideFloat* point) {
  start(root, seed);
  const Graph& top = levels_.current[0];
  CoefficientMatrix table{{}, top.edgeCount};
  const bool wantsPoint = x != -1 && y != -1;
  if (top.ordinaryCount() == 0) {
    table.entries.push_back({top.bridgeCount(), top.loopCount(), 1.0});
    if (wantsPoint)
      *point = monomialValue(x, y, top.bridgeCount(), top.loopCount(), 1.0) + 0.0;
    return table;
  }
  WideFloat pointSum = 0.0;
  leafSums_.reset(table.edgeCount);
  while (!listChildren(levels_.current, candidates_)) {
    descend();
    const WideFloat nodeWeight =
        WideFloat(1.0 / static_cast<double>(levels_.current.size())) * levelWeight_;
    for (const Graph& node : levels_.current) {
      if (node.ordinaryCount() > 0)
        continue;
      leafSums_.add(node.bridgeCount(), node.loopCount(), nodeWeight);
      if (wantsPoint) {
        pointSum = monomialValue(x, y, node.bridgeCount(), node.loopCount(), nodeWeight) + pointSum;
      }
    }
    leafSums_.moveInto(table.entries);
  }
  if (wantsPoint)
    *point = pointSum;
  return table;
}

void LevelWalk::descend() {
  // Each kept child stands for c / (kept) candidates: the weight is updated before the cut.
  const double c = static_cast<double>(candidates_.size());
  const double k = static_cast<double>(levels_.current.size());
  levelWeight_ = WideFloat(c / k) * levelWeight_;
  selectCandidates();
  const int count = static_cast<int>(candidates_.size());
  levels_.checkBeforeBuilding(count, memoryLimit_);
  levels_.resize(levels_.next, count);
  buildChildren(levels_.current, candidates_, count, mcore_, levels_.next);
  levels_.advance();
  nodesBuilt_ += count;
}

void LevelWalk::selectCandidates() {
  const std::size_t keep = nodesKeptPerDepth(budget_);
  if (candidates_.size() <= keep)
    return;
  budgetBound_ = true;
  moveUniformSubsetToFront(candidates_, keep, random_);
  candidates_.resize(keep);
  // The kept subset in parent order: a parent's two children are adjacent, so one of them can
  // take the parent's graph, and consecutive children read neighbouring parents.
  std::sort(candidates_.begin(), candidates_.end());
}
