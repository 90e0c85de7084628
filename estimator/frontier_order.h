#pragma once

#include <cstdint>
#include <vector>

#include "estimator/series_parallel_folds.h"
#include "graph/graph.h"

// The sweep of a graph that the frontier engine (estimator/frontier_engine.h) follows: vertices
// one at a time in an order that keeps the frontier small, each vertex's edges back to vertices
// already met right after it (in the order their later end is reached), and every vertex dropped
// from the frontier as soon as its last edge has been taken. The frontier is the list of vertices
// met that still have edges to come; steps name positions in that list as it stands before them.
//
// The engine's states are the partitions of the frontier, so its work grows with the frontier's
// size step by step: the order is the one of a few heuristics (breadth-first from a peripheral
// vertex, and greedy growth that takes next the vertex leaving the smallest frontier, from both
// ends of a long path) with the least predicted work, sum over steps of 4^(frontier size), the
// growth rate of the partitions met on planar frontiers.

// The largest frontier the engine's packed states hold (four bits a vertex in one word).
inline constexpr int kMaxFrontierWidth = 16;

enum class SweepStepKind : std::uint8_t {
  AddVertex,  // appends a vertex to the frontier, alone in its block
  Edge,       // the edge between positions `first` and `second`
  Forget,     // removes position `first`; positions above it move down by one
};

struct SweepStep {
  SweepStepKind kind;
  std::uint8_t first = 0;
  std::uint8_t second = 0;
  // Forget: no vertex is left in the frontier afterwards, so a connected component of the graph
  // is finished.
  bool emptiesFrontier = false;
  // Edge: 0 for a plain edge, else the composite edge's weight id (series_parallel_folds.h).
  // A vertex's composite edges come after its plain ones.
  std::uint32_t weight = 0;
};

struct FrontierPlan {
  std::vector<SweepStep> steps;
  // The frontier's size after each step.
  std::vector<std::uint8_t> sizes;
  // The largest frontier, or kMaxFrontierWidth + 1 when the best order found exceeds the limit
  // (the plan then has no steps).
  int width = 0;
  int vertexCount = 0;  // vertices with at least one edge
  int edgeCount = 0;    // loops and parallel edges included
  int componentCount = 0;
  int rank = 0;  // vertexCount - componentCount
  // Loops are no step of the sweep: each multiplies T by y.
  int loopCount = 0;
  // sum over steps of 4^(frontier size): what the orders were compared by.
  double score = 0.0;
  // The composite edges' folds, when the plan is of a folded block; then the edges and rank of
  // the block before folding, which bound the values' sizes.
  std::vector<EdgeFold> folds;
  int unfoldedEdgeCount = 0;
  int unfoldedRank = 0;
  bool withinWidth() const { return width <= kMaxFrontierWidth; }
};

// The plan of the graph's current edges. An order whose frontier outgrows kMaxFrontierWidth is
// abandoned as soon as it does, so the cost is O(vertices x (neighbours of the frontier) x
// degree) per heuristic, with the frontier below the limit: O(vertices + edges) times a small
// factor, even on graphs far beyond the engine's reach.
FrontierPlan planFrontier(const Graph& graph);
// The plan of a folded block: its composite edges' weights go into their steps.
FrontierPlan planFrontier(const FoldedBlock& block);
