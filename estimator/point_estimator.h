#pragma once

#include "estimator/wide_float.h"
#include "graph/graph.h"

// One unbiased sample of T(G; x, y) from a walk of the deletion-contraction tree that keeps at
// most `budget` nodes per depth. At x == 0 (y == 0) subtrees rooted at a node with a bridge
// (loop) are cut off, since they contribute nothing there.
// Sets *budgetCut when the budget cut some level (a walk that cuts nothing gives the exact value);
// leaves it alone otherwise.
WideFloat estimatePoint(int budget, int mcore, Graph graph, int x, int y,
                        bool* budgetCut = nullptr);
