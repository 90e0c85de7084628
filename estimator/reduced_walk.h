#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "estimator/branch_order.h"
#include "estimator/fitted_ratio.h"
#include "estimator/random_stream.h"
#include "estimator/resistance_guide.h"
#include "estimator/walk_levels.h"
#include "estimator/weighted_resampling.h"
#include "estimator/wide_float.h"
#include "graph/graph.h"
#include "graph/reduced_graph.h"

// A node of the reduced walk: a reduced graph whose factors and weight are wide-range numbers,
// so that long chains and large graphs do not overflow.
using ReducedNode = ReducedGraph<WideFloat>;

// The root of the reduced walk at (x, y): the graph's live edges, each carrying (1, 1, x, y),
// reduced. O(vertices + edges) plus the reductions.
ReducedNode reducedRoot(const Graph& graph, double x, double y,
                        BranchOrder order = BranchOrder::BreadthFirst);

// The reduced walk: the deletion-contraction tree of a reduced graph, one depth at a time, each
// node with its own weight. A node's two children carry its weight times the branch edge's a and
// b; when a depth has more than B children with a non-zero weight, B of them are kept by an
// unbiased resampling (resampleToBudget) in proportion to |weight|, the deletion children's
// tilted by a factor tau, and the rest dropped; each kept child's weight is divided by the
// chance it had, so the tilt changes the variance, never the mean. The tilt stands for what
// the two children's own graphs are worth, which a and b leave out: both have one edge less,
// but the deletion child one vertex more, so with log T(H) roughly linear in the edges and
// vertices of H, T(G - e) / T(G / e) is about one factor per vertex, the same at every node.
// Where x is large, bridges make vertices valuable and tau > 1 fits; where y is large, loops
// make contractions valuable and tau < 1 fits (chooseTilt measures it). The kept
// children are built and reduced; a child that is a leaf adds its weight to the sample, and one
// whose weight became 0 (a bridge at x == 0, a loop at y == 0) is dropped, as is its subtree,
// which is worth nothing. With B = 1 each step goes to the deletion child with probability
// |a| / (|a| + |b|) and divides by it; with a budget that never binds the sample is the exact
// sum of the tree.
//
// Like the level walk, one object draws sample after sample, reusing its levels' buffers, and
// each sample draws from a stream of its own seeded with the sample's seed.
class ReducedWalk {
 public:
  // `mcore` non-zero builds large levels on all cores. `memoryLimit` bounds the bytes of nodes
  // the walk may hold at once. A negative budget keeps every child. `tilt` > 0.
  ReducedWalk(int budget, int mcore, double tilt = 1.0,
              std::size_t memoryLimit = defaultWalkMemoryLimit());

  // One sample of the value of `root`: of T(G; x, y) for the root reducedRoot makes.
  WideFloat sample(const ReducedNode& root, std::uint64_t seed);

  // True when some depth of the last sample had more children than the budget.
  bool budgetBound() const { return budgetBound_; }
  // From now on each node's deletion child is tilted, on top of the constant tilt, by the
  // resistance ratio of its branch edge raised to `power` (resistance_guide.h), in the whole
  // graph or, with `radius` > 0, in the edge's neighbourhood: exact at (1, 1) with power 1 and
  // radius 0, where every sample then equals T(1, 1). It costs a linear solve per node; with
  // `radius` < 0, the rest of the graph shorted, only the sum over the ends' edges. Power 0
  // turns it off.
  void guideByResistance(double power, int radius = 0);
  // From now on each node's deletion chance at B = 1 is the fitted one of `weights`
  // (fitted_ratio.h), in place of the constant tilt and the resistance guide; under a larger
  // budget the two children's magnitudes are split in that proportion.
  void guideByFit(const RatioWeights& weights) { fitted_ = weights; }
  // At B = 1: from now on each choice between two children of non-zero weight under the fitted
  // ratio is appended to `choices` (nullptr stops it), for fitting the ratio (ratio_fit.h).
  void recordChoices(std::vector<RecordedChoice>* choices) { recorded_ = choices; }
  // Another thread's flag that ends the walk (walk_levels.h).
  void stopWhen(const std::atomic<bool>* stop) { levels_.stopWhen(stop); }
  // Tree nodes built by this walk over all its samples.
  std::int64_t nodesBuilt() const { return nodesBuilt_; }

 private:
  void listCandidates();
  void listFittedCandidates(int k);
  // Builds the kept children; leaves go into the sample, zero-weight children are dropped.
  void descend();
  void gatherLevel(int built);

  int budget_;
  int mcore_;
  double tilt_;
  std::optional<ResistanceGuide> guide_;
  double guidePower_ = 0.0;
  std::optional<RatioWeights> fitted_;
  RatioFeatureReader features_;
  std::vector<RecordedChoice>* recorded_ = nullptr;
  bool choicePending_ = false;
  int rootEdges_ = 0;
  std::size_t memoryLimit_;
  WalkLevels<ReducedNode> levels_;
  std::vector<WeightedCandidate> candidates_;
  RandomStream random_;
  WideFloat sum_ = 0.0;
  bool budgetBound_ = false;
  std::int64_t nodesBuilt_ = 0;
};
