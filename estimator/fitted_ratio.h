#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "estimator/resistance_guide.h"
#include "estimator/wide_float.h"
#include "graph/reduced_graph.h"

// A per-node choice for the reduced walk fitted to one graph and point: the chance of taking
// the deletion child at a branch edge e is a logistic function of a few cheap features of e at
// the node,
//   p = sigma(theta . phi(e)),
// clamped to [kFittedChanceFloor, 1 - kFittedChanceFloor]. Any theta leaves the walk unbiased
// (each child is divided by the chance it had); theta only moves the variance. The features:
//   0  1;
//   1  log |a / b|, the branch edge's own factors (what its series and parallel merges gathered);
//   2  log of the shorted resistance ratio (resistance_guide.h, radius < 0), 0 where it cannot
//      say: what the edge's ends' other edges tell of connectivity;
//   3  the triangles through e, capped at 3: a short cycle a deletion keeps and a contraction
//      turns into a parallel pair;
//   4  the ends' degrees beyond 3 each (every vertex of an inner node has at least 3);
//   5  the depth fraction, 1 - (edges left) / (edges at the root);
//   6  feature 1 times feature 5, so that the weight of the factors may drift with depth.
// theta = (log tau, 1, 0, ...) is the constant tilt tau, and (log tau, 1, 1, 0, ...) the tilt
// with the shorted guide on top: the walks the pilot chooses between are points of the family,
// so a fit (ratio_fit.h) starts from the pilot's choice.
// Cost per node: O(degree of the branch edge's ends).
constexpr int kRatioFeatureCount = 7;
using RatioFeatures = std::array<double, kRatioFeatureCount>;
using RatioWeights = std::array<double, kRatioFeatureCount>;

// The chance the fitted choice never goes below on either side, so that neither child's chance
// rounds to 0 (which would drop its subtree and bias the walk). It lies far below the chances the
// constant tilt itself gives: chains of series merges give factors a / b far from 1 at points
// such as (3, 3), and a floor of 10^-3, above the tilt's own chance there, made the spread of
// log |sample| five times the tilt's on a 3-regular graph of 1,000 vertices.
constexpr double kFittedChanceFloor = 1e-12;

// The weights of the constant tilt, with or without the shorted guide on top.
RatioWeights constantTiltWeights(double tilt, bool shortedGuide);

// theta . phi, clamped to the logits of the floor and its complement.
double fittedLogit(const RatioWeights& weights, const RatioFeatures& features);

class RatioFeatureReader {
 public:
  // The features of the branch edge of an inner node whose a and b are both non-zero, in a walk
  // whose root had `rootEdges` edges.
  RatioFeatures read(const ReducedGraph<WideFloat>& node, int rootEdges);

 private:
  int commonNeighbours(const Graph& topology, int u, int v);

  ResistanceGuide shorted_{-1};
  std::vector<std::uint32_t> marks_;
  std::uint32_t stamp_ = 0;
};

// One choice of a recorded walk (ReducedWalk::recordChoices): the branch edge's features and
// whether the deletion child was taken.
struct RecordedChoice {
  RatioFeatures features;
  bool deleted;
};
