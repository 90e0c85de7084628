#pragma once

#include "graph/instance_reader.h"

// The natural logarithm of the number of spanning trees of a connected multigraph on the ids
// 0 .. vertices - 1, by the matrix-tree theorem: the log-determinant of the Laplacian without its
// last row and column, from a Cholesky factorisation in long double (O(vertices^3)). Loops do
// not count. Not-a-number when the graph is not connected.
double logSpanningTreeCount(const EdgeList& edges, int vertices);
