#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"
#include "graph/graph.h"

// One unbiased sample of every coefficient of T(G; x, y), from a walk that keeps at most
// `budget` nodes per depth and prunes nothing. When neither x nor y is -1, appends exactly one
// sample of T(G; x, y) from the same walk to `pointSamples`.
// Sets *budgetCut when the budget cut some level; leaves it alone otherwise.
CoefficientMatrix estimateCoefficients(int budget, Graph graph, int mcore, int x, int y,
                                       std::vector<WideFloat>& pointSamples,
                                       bool* budgetCut = nullptr);
