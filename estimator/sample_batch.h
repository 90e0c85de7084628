#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "estimator/branch_order.h"
#include "estimator/coefficient_matrix.h"
#include "estimator/fitted_ratio.h"
#include "estimator/wide_float.h"
#include "graph/graph.h"

// Which walk draws the samples: the level walk of the command-line tool, or the reduced walk,
// which sums the forced parts of the tree exactly (point samples only).
enum class WalkKind { Level, Reduced };

// What every walk of a batch shares: the budget, the `mcore` setting, the point (-1 in either
// coordinate: no point), the bytes of graphs all walks together may hold (0: three quarters of
// the machine's memory), and the walk.
struct WalkSettings {
  int budget;
  int mcore;
  double x;
  double y;
  std::size_t memoryLimit = 0;
  WalkKind walk = WalkKind::Level;
  BranchOrder order = BranchOrder::BreadthFirst;  // the reduced walk's
  double tilt = 1.0;                              // the reduced walk's (reduced_walk.h)
  // The reduced walk's: 0, or the power of the resistance ratio by which each node's choice is
  // tilted besides `tilt` (ReducedWalk::guideByResistance; a linear solve per node).
  double resistancePower = 0.0;
  // 0: the whole graph's network; r > 0: each edge's r-neighbourhood; r < 0: the edge's ends
  // with the rest of the graph shorted (resistance_guide.h)
  int resistanceRadius = 0;
  // The reduced walk's: when given, each node's deletion chance is the fitted ratio of these
  // weights (fitted_ratio.h), in place of `tilt` and the resistance guide.
  std::optional<RatioWeights> fittedRatio = std::nullopt;
  // When another thread sets it, every walk of the batch throws WalkStopped at its next depth.
  const std::atomic<bool>* stop = nullptr;
};

// Point samples of a batch, in the order of their seeds.
struct PointSamples {
  std::vector<WideFloat> values;
  bool budgetBound = false;  // some level of some sample had more candidates than the budget
  std::int64_t nodesBuilt = 0;
};

// Coefficient samples of a batch, in the order of their seeds; `points` holds one value per
// sample when a point is given, none otherwise.
struct CoefficientSamples {
  std::vector<CoefficientMatrix> tables;
  std::vector<WideFloat> points;
  bool budgetBound = false;
  std::int64_t nodesBuilt = 0;
};

// Called once after each finished sample, from whichever thread ran it.
using SampleHook = std::function<void()>;

// One sample per seed, each from a walk seeded with it, so the samples do not depend on where
// or in which order they run. With mcore non-zero the samples run side by side on all cores
// when their levels are too small to share out; large levels are built on all cores instead,
// one sample after another, which keeps the memory of one walk.
PointSamples estimatePointSamples(const Graph& root, const WalkSettings& settings,
                                  const std::vector<std::uint64_t>& seeds,
                                  const SampleHook& afterEachSample = {});
// The level walk only: the reduced walk's leaves sum monomials into one value, so it throws
// std::invalid_argument.
CoefficientSamples estimateCoefficientSamples(const Graph& root, const WalkSettings& settings,
                                              const std::vector<std::uint64_t>& seeds,
                                              const SampleHook& afterEachSample = {});
