#include "estimator/exact_evaluator.h"

#include <cmath>

#include "estimator/branch_order.h"
#include "estimator/full_expansion.h"
#include "estimator/integer_polynomial.h"
#include "graph/components.h"
#include "graph/reduced_graph.h"

namespace {

template <typename Value>
ReducedGraph<Value> reducedRootOf(const Graph& graph, const EdgeFactors<Value>& inputEdge) {
  return ReducedGraph<Value>(graph.vertexIdLimit(),
                             branchOrderedEdges(graph, BranchOrder::BreadthFirst), inputEdge);
}

void refuseBeyond(int limit, int size, const char* what, const char* which) {
  if (size > limit) {
    throw ExactSizeExceeded(std::string("the exact Tutte ") + what + " takes graphs of at most " +
                            std::to_string(limit) + " edges" + which + "; this one has " +
                            std::to_string(size));
  }
}

}  // namespace

std::vector<std::vector<std::string>> exactTutteCoefficients(const Graph& graph) {
  refuseBeyond(kExactPolynomialMaxEdges, graph.edgeCount, "polynomial", "");
  const ReducedGraph<IntegerPolynomial> root = reducedRootOf<IntegerPolynomial>(
      graph, {1, 1, IntegerPolynomial::monomial(1, 0), IntegerPolynomial::monomial(0, 1)});
  refuseBeyond(kExactPolynomialMaxReducedEdges, root.edgeCount(), "polynomial",
               " after reductions");
  const IntegerPolynomial polynomial = FullExpansion<IntegerPolynomial>().valueOf(root);
  const int rank = findComponents(graph).rank();
  const int nullity = graph.edgeCount - rank;
  std::vector<std::vector<std::string>> table(static_cast<std::size_t>(rank) + 1);
  for (int i = 0; i <= rank; ++i)
    for (int j = 0; j <= nullity; ++j)
      table[i].push_back(polynomial.coefficient(i, j).str());
  return table;
}

WideFloat exactTutteValue(const Graph& graph, double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y))
    throw std::invalid_argument("the exact Tutte value needs finite x and y");
  const ReducedGraph<WideFloat> root = reducedRootOf<WideFloat>(graph, {1.0, 1.0, x, y});
  refuseBeyond(kExactValueMaxReducedEdges, root.edgeCount(), "value", " after reductions");
  return FullExpansion<WideFloat>().valueOf(root);
}
