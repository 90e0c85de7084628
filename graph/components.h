#pragma once

#include <vector>

#include "graph/graph.h"

// The connected components of a graph's current edges. The vertex set is the ids some current
// edge touches: an id whose edges were all deleted drops out, so it adds neither a vertex nor a
// component (the rank n - k is the same either way, but the two counts stay consistent).
struct Components {
  // Per vertex id below the graph's vertexIdLimit(): the component's number, 0 .. count - 1,
  // numbered by first appearance in vertex id order; -1 for ids no current edge touches.
  std::vector<int> componentOf;
  int vertexCount = 0;
  int count = 0;

  // The rank r(G) = n - k of the cycle matroid: the edges of a maximal spanning forest.
  int rank() const { return vertexCount - count; }
};

// O(edges + vertex ids), by union-find over the current edges.
Components findComponents(const Graph& graph);
