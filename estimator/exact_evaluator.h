#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "estimator/wide_float.h"
#include "graph/graph.h"

// The exact Tutte polynomial of a small multigraph, or its value at one point, by full
// deletion-contraction (estimator/full_expansion.h): the graph's current edges in breadth-first
// branching order, every node reduced as the reduced walk reduces it (loops, bridges, parallel
// and series pairs summed in closed form), and every node's value per unit of weight cached
// under its form, so that a subgraph reached again by another path is not expanded again.
//
// The work grows exponentially with the edges left after the reductions (the "reduced root"),
// so each function first counts them and refuses, before any exponential work, a graph beyond
// its limit. The limits are set by the worst graphs measured (bench/RESULTS.md): random
// 4-regular graphs, whose breadth-first order is the least favourable met, on this project's
// 2-core machine. At the limits below the worst of them took about 2 s for the polynomial (110
// MiB) and about 3 s for a value (145 MiB); most graphs of that size take a tenth of that or
// less, and complete graphs far less (the cache folds their symmetric subgraphs together).

// The polynomial: at most this many edges after reductions...
inline constexpr int kExactPolynomialMaxReducedEdges = 40;
// ...and this many edges in all: the tables of coefficients, and so the cost of every step,
// grow with the edges the reductions folded in (a 40-edge core whose edges are paths of two
// took twice as long and four times the memory of the core itself).
inline constexpr int kExactPolynomialMaxEdges = 64;
// A value: a number per node instead of a table, about five times cheaper.
inline constexpr int kExactValueMaxReducedEdges = 46;

// A graph beyond a limit above. what() names the limit and the graph's size, such as "the exact
// Tutte polynomial takes graphs of at most 40 edges after reductions; this one has 57".
class ExactSizeExceeded : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The coefficients t_ij of T(G; x, y) in decimal: row i for x^i, column j for y^j, i from 0 to
// the rank r of the graph's current edges and j from 0 to their nullity m - r (both degrees are
// reached, so no row or column is all zeros; the graph without edges gives {{"1"}}).
// Throws ExactSizeExceeded beyond kExactPolynomialMaxEdges or kExactPolynomialMaxReducedEdges;
// refusing costs O(m) (the count) and O(edges + vertex ids) (the reductions).
std::vector<std::vector<std::string>> exactTutteCoefficients(const Graph& graph);

// T(G; x, y) by the same recursion on numbers: about five times faster than the polynomial and
// without its tables, so it takes larger graphs. At points with x, y >= 0 every step adds and
// multiplies non-negative numbers, so the relative error is at most one rounding (2^-53) per
// operation on the longest chain from the input factors to the result: about 1e-13 for graphs
// of a few dozen edges. Elsewhere terms of both signs can cancel, and the error is bounded
// relative to the size of the terms instead (on the graphs tested it stayed within a few units
// in the last place of the value). Integer points give exact integers while the partial sums
// stay below 2^53.
// Throws std::invalid_argument when x or y is not finite, ExactSizeExceeded beyond
// kExactValueMaxReducedEdges; refusing costs O(edges + vertex ids).
WideFloat exactTutteValue(const Graph& graph, double x, double y);
