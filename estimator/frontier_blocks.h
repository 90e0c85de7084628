#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "estimator/frontier_engine.h"
#include "graph/graph.h"

// The frontier engine over a graph's blocks (graph/blocks.h): T(G) is the product of T over
// them, so each block of more than one edge is swept on its own, and each bridge (x) and loop
// (y) is a factor. The width is the largest block's, the work the sum of theirs, and each
// block's values need only the primes of its own bound.
struct BlockSweeps {
  struct Part {
    FrontierPlan plan;
    FrontierCost cost;
  };
  std::vector<Part> parts;
  int bridges = 0;
  int loops = 0;
  // The largest frontier of any part; kMaxFrontierWidth + 1 when one exceeds the engine.
  int width = 0;
  bool withinWidth() const { return width <= kMaxFrontierWidth; }
};

// Whether the blocks' series and parallel classes are folded into composite edges
// (series_parallel_folds.h) before they are planned, for values or for the polynomial (whose
// composite weights are polynomials, so the folds' own work is bounded).
enum class BlockFolding { None, ForValues, ForPolynomial };

// The narrowest plain sweep a block is folded from, where its folded sweep is narrower.
inline constexpr int kFoldFromWidth = 8;

// The plans of every part. O(vertex ids + edges) besides the plans themselves.
BlockSweeps planBlockSweeps(const Graph& graph, BlockFolding folding = BlockFolding::None,
                            int foldFromWidth = kFoldFromWidth);

// Dry runs of the parts in turn, stopping once the states summed over all of them pass
// `stateLimit`: the combined figures (width, states summed, the largest step's states, complete).
FrontierCost dryRunBlockSweeps(BlockSweeps& sweeps, double stateLimit);

// The parts' predicted time summed, and the largest part's memory (one part runs at a time).
// Needs the dry runs.
FrontierEstimate estimateBlockSweeps(const BlockSweeps& sweeps, FrontierTask task, std::int64_t x,
                                     std::int64_t y);

// As the engine's functions of the same names, over the parts, after their dry runs.
FrontierInteger blockIntegerValue(const BlockSweeps& sweeps, std::int64_t x, std::int64_t y);
FrontierRealValue blockRealValue(const BlockSweeps& sweeps, double x, double y);
std::vector<std::vector<FrontierInteger>> blockCoefficients(const BlockSweeps& sweeps);

// Without dry runs: the parts' runs share `stateLimit`, and nothing comes once it is passed or
// a part's tables would pass kFrontierMemoryCap. `statesSpent`, when given, receives the states
// the runs met, those of a run that stopped included.
std::optional<FrontierInteger> blockIntegerValueWithin(const BlockSweeps& sweeps, std::int64_t x,
                                                       std::int64_t y, double stateLimit,
                                                       double* statesSpent = nullptr);
std::optional<FrontierRealValue> blockRealValueWithin(const BlockSweeps& sweeps, double x, double y,
                                                      double stateLimit,
                                                      double* statesSpent = nullptr);
