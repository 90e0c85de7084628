#include "estimator/reduced_walk.h"

#include <cmath>
#include <utility>

#include "estimator/branch_order.h"
#include "estimator/child_builder.h"

ReducedNode reducedRoot(const Graph& graph, double x, double y, BranchOrder order) {
  ReducedNode root(graph.vertexIdLimit(), branchOrderedEdges(graph, order), {1.0, 1.0, x, y});
  root.renumberInBranchOrder();
  return root;
}

ReducedWalk::ReducedWalk(int budget, int mcore, double tilt, std::size_t memoryLimit)
    : budget_(budget), mcore_(mcore), tilt_(tilt), memoryLimit_(memoryLimit) {}

void ReducedWalk::guideByResistance(double power, int radius) {
  guidePower_ = power;
  if (power == 0.0)
    guide_.reset();
  else
    guide_.emplace(radius);
}

WideFloat ReducedWalk::sample(const ReducedNode& root, std::uint64_t seed) {
  random_.reseed(seed);
  budgetBound_ = false;
  sum_ = 0.0;
  if (root.isLeaf())
    return root.weight();
  if (root.weight().isZero())
    return 0.0;
  levels_.resize(levels_.current, 1);
  levels_.current[0] = root;
  rootEdges_ = root.edgeCount();
  while (!levels_.current.empty()) {
    listCandidates();
    if (resampleToBudget(candidates_, nodesKeptPerDepth(budget_), random_))
      budgetBound_ = true;
    if (choicePending_) {
      recorded_->back().deleted = candidates_.front().code % 2 == 0;
      choicePending_ = false;
    }
    descend();
  }
  return sum_;
}

void ReducedWalk::listCandidates() {
  candidates_.clear();
  for (int k = 0; k < static_cast<int>(levels_.current.size()); ++k) {
    const ReducedNode& node = levels_.current[k];
    const EdgeFactors<WideFloat>& branch = node.factors(node.branchEdge());
    if (fitted_) {
      listFittedCandidates(k);
      continue;
    }
    const double tilt = guide_ ? tilt_ * guide_->deletionRatio(node, guidePower_) : tilt_;
    const WideFloat deleted = node.weight() * branch.a * tilt;
    const WideFloat contracted = node.weight() * branch.b;
    if (!deleted.isZero())
      candidates_.push_back({2 * k, deleted});
    if (!contracted.isZero())
      candidates_.push_back({2 * k + 1, contracted});
  }
}

// The two children's magnitudes, |weight| (|a| + |b|) split as the fitted chance says, so that
// B = 1 takes the deletion child with that chance; a child of weight 0 is not a candidate, and
// the other is then taken for sure.
void ReducedWalk::listFittedCandidates(int k) {
  const ReducedNode& node = levels_.current[k];
  const EdgeFactors<WideFloat>& branch = node.factors(node.branchEdge());
  if (node.weight().isZero() || (branch.a.isZero() && branch.b.isZero()))
    return;
  const WideFloat size = abs(node.weight()) * (abs(branch.a) + abs(branch.b));
  if (branch.a.isZero() || branch.b.isZero()) {
    candidates_.push_back({branch.a.isZero() ? 2 * k + 1 : 2 * k, size});
    return;
  }
  const RatioFeatures features = features_.read(node, rootEdges_);
  // Each chance from its own side, so that the smaller keeps its digits.
  const double logit = fittedLogit(*fitted_, features);
  candidates_.push_back({2 * k, size / (1.0 + std::exp(-logit))});
  candidates_.push_back({2 * k + 1, size / (1.0 + std::exp(logit))});
  if (recorded_ != nullptr && budget_ == 1) {
    recorded_->push_back({features, false});
    choicePending_ = true;
  }
}

void ReducedWalk::descend() {
  const int count = static_cast<int>(candidates_.size());
  levels_.checkBeforeBuilding(count, memoryLimit_);
  levels_.resize(levels_.next, count);
  const bool inParallel = mcore_ != 0 && !levels_.current.empty() &&
                          worthBuildingInParallel(levels_.current.front().workSlots(), count);
  buildChildren(
      levels_.current, count, true, inParallel, levels_.next,
      [&](int p) { return candidates_[p].code / 2; },
      [&](ReducedNode& child, int p) {
        if (candidates_[p].code % 2 == 0) {
          child.deleteBranchEdge();
        } else {
          child.contractBranchEdge();
        }
        // The edit multiplies by a or b; the scale divides by the chance of the tilted
        // candidate, so the tilt cancels.
        child.setWeight(child.weight() * candidates_[p].scale);
      });
  nodesBuilt_ += count;
  gatherLevel(count);
}

// Leaves are summed in level order, so the sample does not depend on the threads that built
// them; inner nodes with a non-zero weight become the next level, keeping their buffers.
void ReducedWalk::gatherLevel(int built) {
  std::vector<ReducedNode>& next = levels_.next;
  std::size_t inner = 0;
  for (int p = 0; p < built; ++p) {
    ReducedNode& child = next[p];
    if (child.weight().isZero())
      continue;
    if (child.isLeaf()) {
      sum_ += child.weight();
      continue;
    }
    if (inner != static_cast<std::size_t>(p))
      std::swap(next[inner], child);
    ++inner;
  }
  levels_.resize(next, inner);
  levels_.advance();
}
