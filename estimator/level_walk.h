#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/level_leaf_sums.h"
#include "estimator/random_stream.h"
#include "estimator/tree_level.h"
#include "estimator/walk_levels.h"
#include "estimator/wide_float.h"

// One walk of the deletion-contraction tree at a time: the state of a sample, reused from one
// sample to the next so that, once its levels have reached their largest size, a walk
// allocates nothing.
//
// From the root, one depth at a time: list the children of the kept nodes (c candidates for k
// nodes), multiply the level weight W by c / k, keep a uniform random subset of at most B
// candidates, build them, and add each leaf's monomial, weighted W / (kept nodes), to the
// sample. Each kept child stands for the c / kept candidates it was drawn from, so every node of
// the full tree counts once in expectation and the sample is unbiased; with a budget that never
// binds it is the exact deletion-contraction sum.
class LevelWalk {
 public:
  // `mcore` non-zero builds large levels on all cores. `memoryLimit` bounds the bytes of graphs
  // the walk may hold at once.
  LevelWalk(int budget, int mcore, std::size_t memoryLimit = defaultMemoryLimit());

  // One sample of T(G; x, y) from a walk seeded with `seed`; at x == 0 (y == 0) subtrees of
  // nodes with a bridge (loop) are cut off.
  WideFloat samplePoint(const Graph& root, double x, double y, std::uint64_t seed);

  // One sample of every coefficient t_ij, and, when neither x nor y is -1, of T(G; x, y) from
  // the same walk in *point. Nothing is pruned.
  CoefficientMatrix sampleCoefficients(const Graph& root, double x, double y, std::uint64_t seed,
                                       WideFloat* point);

  // True when some level of the last sample had more candidates than the budget, so that the
  // sample is random rather than the exact sum.
  bool budgetBound() const { return budgetBound_; }
  // Another thread's flag that ends the walk (walk_levels.h).
  void stopWhen(const std::atomic<bool>* stop) { levels_.stopWhen(stop); }
  // Tree nodes built by this walk over all its samples.
  std::int64_t nodesBuilt() const { return nodesBuilt_; }

  // Three quarters of the machine's physical memory.
  static std::size_t defaultMemoryLimit() { return defaultWalkMemoryLimit(); }

 private:
  // Makes a copy of the root the only node of the level and classifies it.
  void start(const Graph& root, std::uint64_t seed);
  // Weight update, selection and building of one depth; the new level replaces the old.
  void descend();
  void selectCandidates();

  int budget_;
  int mcore_;
  std::size_t memoryLimit_;
  WalkLevels<Graph> levels_;
  CandidateList candidates_;
  LevelLeafSums leafSums_;
  WideFloat levelWeight_ = 1.0;
  RandomStream random_;
  bool budgetBound_ = false;
  std::int64_t nodesBuilt_ = 0;
};
