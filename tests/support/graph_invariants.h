#pragma once

#include "graph/graph.h"

// Checks, with non-fatal expectations, what must hold between any two operations on a Graph:
// the edge count matches the edges, every edge is listed at both of its ends and every listing
// names a current edge at that vertex, vertexCount equals the number of vertices (so build the
// graph with the count of distinct ids), and a classified graph's three edge classes partition
// its current edges with exactly the equal-ended edges among the loops.
void expectGraphInvariants(const Graph& g);
