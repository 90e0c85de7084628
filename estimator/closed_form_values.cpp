#include "estimator/closed_form_values.h"

#include "estimator/spanning_tree_count.h"
#include "graph/components.h"

bool onUnitHyperbola(double x, double y) {
  return (x - 1.0) * (y - 1.0) == 1.0;
}

std::optional<WideFloat> closedFormValue(const Graph& graph, double x, double y) {
  if (x == 1.0 && y == 1.0)
    return countSpanningTrees(graph).value;
  if (!onUnitHyperbola(x, y))
    return std::nullopt;
  // Every subset A of the edges contributes (x - 1)^(r - r(A)) (y - 1)^(|A| - r(A)); with
  // (y - 1) = 1 / (x - 1) that is (x - 1)^(r - |A|), and the sum over A is x^m (x - 1)^(r - m)
  // by the binomial theorem. r <= m, so the second factor is a quotient.
  const int m = graph.edgeCount;
  const int r = findComponents(graph).rank();
  const WideFloat value = power(x, m) / power(x - 1.0, m - r);
  return value.isZero() ? WideFloat(0.0) : value;  // no -0 from a negative divisor
}
