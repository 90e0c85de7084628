#pragma once

#include <cstddef>
#include <cstdint>

#include "graph/graph.h"
#include "graph/instance_reader.h"

// The graph of an edge list with as many vertices as it has distinct ids (which may have gaps),
// built as the library builds it.
Graph graphOf(const EdgeList& edges);

// The rows x columns grid, its vertices numbered row by row; each vertex's edge to the right
// comes before its edge down.
EdgeList gridEdges(int rows, int columns);

// The complete graph on `vertices` vertices, its edges {u, v} with u < v in lexicographic order.
EdgeList completeGraph(int vertices);

// The cycle 0 - 1 - ... - (vertices - 1) - 0.
EdgeList cycleEdges(int vertices);

// `edges` edges whose ends are drawn uniformly from 0 .. vertices - 1, as random() % vertices;
// loops and parallel edges as they fall, and some ids may stay unused.
template <typename Random>
EdgeList randomMultigraph(int vertices, int edges, Random& random) {
  EdgeList list(static_cast<std::size_t>(edges));
  for (auto& [u, v] : list) {
    u = static_cast<int>(random() % static_cast<unsigned>(vertices));
    v = static_cast<int>(random() % static_cast<unsigned>(vertices));
  }
  return list;
}

// A random multigraph of 1 to maxEdges edges on 1 to maxVertices vertices, the two counts drawn
// first.
template <typename Random>
EdgeList randomMultigraphUpTo(int maxEdges, int maxVertices, Random& random) {
  const int edges = static_cast<int>(random() % static_cast<unsigned>(maxEdges)) + 1;
  const int vertices = static_cast<int>(random() % static_cast<unsigned>(maxVertices)) + 1;
  return randomMultigraph(vertices, edges, random);
}

// A random 3-regular multigraph on `vertices` (even) vertices from the configuration model:
// the 3 * vertices edge ends paired by a shuffle seeded with `seed`. Loops and parallel edges
// are kept; it need not be connected.
EdgeList randomCubicMultigraph(int vertices, std::uint64_t seed);
