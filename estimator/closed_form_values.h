#pragma once

#include <optional>

#include "estimator/wide_float.h"
#include "graph/graph.h"

// Points where the Tutte polynomial of any graph has a closed form, so a value there needs no
// walk. The graph is its current edges (m of them, loops included) and the vertices they touch
// (n of them, in k components, of rank r = n - k): graph/components.h.

// True when (x - 1) * (y - 1), rounded as a double product, is exactly 1: the hyperbola on
// which T(G; x, y) = x^m (x - 1)^(r - m). Points whose coordinates are binary fractions lie on
// it exactly when the test says so, such as (2, 2), (3, 1.5), (0.5, -1), (0, 0) and (-1, 0.5);
// x = 1 never does. A point such as (1.1, 11), whose coordinates a double cannot hold, passes or
// fails by the rounding of its product.
bool onUnitHyperbola(double x, double y);

// T(G; x, y) where it has a closed form, and nothing elsewhere:
// - (1, 1): the number of spanning trees (maximal spanning forests),
// estimator/spanning_tree_count.h;
// - the hyperbola above, which holds (2, 2) = 2^m: x^m (x - 1)^(r - m), from x alone (so at a
//   point that passes the test only by rounding it is the value at (x, x / (x - 1))). At x = 0
//   it is 0^m (-1)^(r - m): 0 for a graph with edges, 1 for one without.
// Each value is the exact one rounded once (at (1, 1)) or after a few dozen roundings of
// 2^-53 each (powers and a quotient), beyond a double's range too.
// Cost: O(m + vertex ids) on the hyperbola; at (1, 1) that of countSpanningTrees.
std::optional<WideFloat> closedFormValue(const Graph& graph, double x, double y);
