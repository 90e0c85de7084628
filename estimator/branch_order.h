#pragma once

#include "graph/graph.h"
#include "graph/instance_reader.h"

// The order in which the reduced walk branches on edges. It always branches on the live edge
// with the smallest id, so renumbering the input edges chooses the order.
//
// The walk's variance depends on it: what a deletion or contraction forces (series and parallel
// merges, bridges) is summed exactly, and an order that works along a narrow front keeps the
// edited part of the graph next to what remains, so that more of the tree is forced. Measured
// at B = 1 with the tilt the pilot chooses, at (1, 1), (2, 1), (1, 2), (3, 3), (2, 0) and (0, 2)
// on the bench graphs (bench/RESULTS.md), breadth-first was the best order or level with the
// best at every point: the instance order's relative variance per sample was 1.2 to 2 times
// higher on the random 3-regular graph and up to 1.3 times on the grid (whose instance order
// already runs row by row); reverse Cuthill-McKee came out level with breadth-first; and the
// dynamic rule of the edge whose ends have the least degree sum (afresh at every node, at
// O(edges) a node) was never better and up to 4 times worse, at (0, 2) on the grid. Taking the
// edges by their earlier end rather than their later one was up to twice as bad at (1, 1) and
// (1, 2): an edge is best branched on once both its ends have been reached.
enum class BranchOrder {
  Input,         // the instance's own order
  BreadthFirst,  // vertices breadth-first from the lowest id of each component; edges by their
                 // later end, then their earlier end
  CuthillMcKee,  // the same from a far vertex, neighbours by degree, vertices reversed
};

// The edges in the order `order` gives, on vertex ids 0 .. vertexCount - 1.
// O(vertices + edges log edges).
EdgeList orderedForBranching(const EdgeList& edges, int vertexCount, BranchOrder order);

// A graph's current edges, on its vertex ids, in the order `order` gives: the edge list of a
// reduced root. O(vertex ids + edges log edges).
EdgeList branchOrderedEdges(const Graph& graph, BranchOrder order);
