#pragma once

#include <cstdint>

#include "graph/instance_reader.h"

// A random 3-regular multigraph on `vertices` (even) vertices from the configuration model:
// the 3 * vertices edge ends paired by a shuffle seeded with `seed`. Loops and parallel edges
// are kept; it need not be connected.
EdgeList randomCubicMultigraph(int vertices, std::uint64_t seed);

// The natural logarithm of the number of spanning trees of a connected multigraph on the ids
// 0 .. vertices - 1, by the matrix-tree theorem: the log-determinant of the Laplacian without its
// last row and column, from a Cholesky factorisation in long double (O(vertices^3)). Loops do
// not count. Not-a-number when the graph is not connected.
double logSpanningTreeCount(const EdgeList& edges, int vertices);
