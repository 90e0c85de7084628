#include "estimator/level_walk.h"

#include <unistd.h>

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

std::size_t LevelWalk::defaultMemoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0)
    return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) / 4 * 3 * static_cast<std::size_t>(pageSize);
}

void LevelWalk::start(const Graph& root, std::uint64_t seed) {
  random_.reseed(seed);
  levelWeight_ = 1.0;
  budgetBound_ = false;
  resizeFromPool(level_, 1);
  level_[0] = root;
  if (!level_[0].classified)
    level_[0].classifyEdges();
}

WideFloat LevelWalk::samplePoint(const Graph& root, double x, double y, std::uint64_t seed) {
  start(root, seed);
  const Graph& top = level_[0];
  if (top.ordinaryCount() == 0)  // the root is a leaf; no pruning test on this path
    return monomialValue(x, y, top.bridgeCount(), top.loopCount(), 1.0) + 0.0;
  WideFloat sum = 0.0;
  // A pruned root lists no children: the walk is over at once and the sample is 0.
  while (!listChildren(level_, candidates_, x, y)) {
    descend();
    const WideFloat nodeWeight = WideFloat(1.0 / static_cast<double>(level_.size())) * levelWeight_;
    for (Graph& node : level_) {
      if (!isPruned(node, x, y) && node.ordinaryCount() == 0)
        sum = monomialValue(x, y, node.bridgeCount(), node.loopCount(), nodeWeight) + sum;
    }
  }
  return sum;
}

CoefficientMatrix LevelWalk::sampleCoefficients(const Graph& root, double x, double y, std::uint64_t seed,
                                                WideFloat* point) {
  start(root, seed);
  const Graph& top = level_[0];
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
  while (!listChildren(level_, candidates_)) {
    descend();
    const WideFloat nodeWeight = WideFloat(1.0 / static_cast<double>(level_.size())) * levelWeight_;
    for (const Graph& node : level_) {
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
  const double k = static_cast<double>(level_.size());
  levelWeight_ = WideFloat(c / k) * levelWeight_;
  selectCandidates();
  const int count = static_cast<int>(candidates_.size());
  checkMemory(count);
  resizeFromPool(next_, count);
  buildChildren(level_, candidates_, count, mcore_, next_);
  std::swap(level_, next_);
  nodesBuilt_ += count;
}

void LevelWalk::selectCandidates() {
  if (static_cast<double>(candidates_.size()) <= static_cast<double>(budget_))
    return;
  // The budget is an unsigned count: a negative budget keeps every candidate.
  const auto keep = static_cast<std::size_t>(static_cast<unsigned>(budget_));
  if (candidates_.size() <= keep)
    return;
  budgetBound_ = true;
  moveUniformSubsetToFront(candidates_, keep, random_);
  candidates_.resize(keep);
  // The kept subset in parent order: a parent's two children are adjacent, so one of them can
  // take the parent's graph, and consecutive children read neighbouring parents.
  std::sort(candidates_.begin(), candidates_.end());
}

void LevelWalk::resizeFromPool(TreeLevel& level, std::size_t size) {
  while (level.size() > size) {
    pool_.push_back(std::move(level.back()));
    level.pop_back();
  }
  while (level.size() < size && !pool_.empty()) {
    level.push_back(std::move(pool_.back()));
    pool_.pop_back();
  }
  level.resize(size);
}

void LevelWalk::checkMemory(std::size_t childCount) const {
  const std::size_t graphs = level_.size() + childCount;
  const std::size_t bytesPerGraph = level_.empty() ? 0 : level_.front().memoryBytes();
  if (bytesPerGraph > 0 && graphs > memoryLimit_ / bytesPerGraph)
    throw WalkMemoryExhausted();
}
