#pragma once

#include <vector>

#include "graph/graph.h"
#include "graph/instance_reader.h"

// A block of a graph: a maximal 2-connected piece of its current edges (parallel edges stay
// together), a bridge, or a loop, on the dense ids 0 .. vertexCount - 1 of its own vertices.
// T(G) is the product of T over the blocks, since blocks meet in cut vertices only.
struct GraphBlock {
  int vertexCount = 0;
  EdgeList edges;
};

// The blocks of the graph's current edges, by the depth-first search of Hopcroft and Tarjan
// (without recursion): O(vertex ids + edges).
std::vector<GraphBlock> blocksOf(const Graph& graph);
