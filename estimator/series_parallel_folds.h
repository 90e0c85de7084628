#pragma once

#include <cstdint>
#include <vector>

#include "graph/instance_reader.h"

// A 2-connected block with its series and parallel classes folded into composite edges, for the
// frontier engine at integer points: fewer vertices and edges to sweep, and on networks with
// chains of degree-two vertices a far smaller frontier (the orders find better sweeps of what is
// left). A composite edge carries two weights, a while it stays out of A and b once it joins A,
// so that over the folded graph
//   T = sum over A of prod_(e not in A) a_e prod_(e in A) b_e X^(k(A) - k(E)) Y^(|A| - |V| + k(A))
// with X = x - 1 and Y = y - 1.
// A plain edge has a = b = 1. Two edges side by side (parallel) become
//   a = a1 a2,  b = a1 b2 + b1 a2 + b1 b2 Y      (both in: the second closes a cycle),
// and two edges through a vertex w of degree two (series), w removed, become
//   a = a1 a2 X + a1 b2 + b1 a2,  b = b1 b2       (both out: w is a component of its own).
// Both keep each composite edge's value inside a block of A, a + b Y, what the edges it
// stands for would give there.
struct EdgeFold {
  enum class Kind : std::uint8_t { Series, Parallel };
  Kind kind;
  std::uint32_t left, right;  // weight ids of the parts
};

// Weight ids: 0 is a plain edge, k >= 1 the fold folds[k - 1], whose parts have smaller ids.
struct FoldedBlock {
  int vertexCount = 0;
  EdgeList edges;
  std::vector<std::uint32_t> weights;  // one a folded edge
  std::vector<EdgeFold> folds;
};

// Folds parallel edges together and removes vertices of degree two until neither is left or two
// vertices remain (a block that is series-parallel ends as one composite edge). `edges` must be
// a 2-connected block without loops on the ids 0 .. vertexCount - 1, as graph/blocks.h gives
// them. O(edges) expected, by hashing the vertex pairs.
FoldedBlock foldSeriesParallel(int vertexCount, const EdgeList& edges);
