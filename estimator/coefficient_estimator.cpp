#include "estimator/coefficient_estimator.h"

#include <cmath>

#include "estimator/level_walk.h"
#include "estimator/tree_level.h"

namespace {

double monomial(int x, int y, int bridges, int loops, double weight) {
  return (std::pow(static_cast<double>(x), static_cast<double>(bridges)) * weight) *
         std::pow(static_cast<double>(y), static_cast<double>(loops));
}

}  // namespace

CoefficientMatrix estimateCoefficients(int budget, Graph graph, int mcore, int x, int y,
                                       std::vector<double>& pointSamples) {
  const int m = graph.edgeCount;
  CoefficientMatrix table{std::vector<std::vector<double>>(m + 1, std::vector<double>(m + 1, 0.0)),
                          m};
  const bool wantsPoint = x != -1 && y != -1;
  double pointSum = 0.0;
  double levelWeight = 1.0;
  TreeLevel level;
  level.push_back(graph);
  if (!graph.classified)
    graph.classifyEdges();
  if (graph.ordinaryCount() == 0) {
    table.coefficients[graph.bridgeCount()][graph.loopCount()] += 1.0;
    if (wantsPoint)
      pointSamples.push_back(monomial(x, y, graph.bridgeCount(), graph.loopCount(), 1.0) + 0.0);
    return table;
  }
  CandidateList candidates;
  listChildren(level, candidates);
  do {
    descendOneLevel(level, candidates, budget, mcore, levelWeight);
    const double nodeWeight = (1.0 / static_cast<double>(level.size())) * levelWeight;
    for (Graph& node : level) {
      if (!node.classified)
        node.classifyEdges();
      if (node.ordinaryCount() > 0)
        continue;
      table.coefficients[node.bridgeCount()][node.loopCount()] += nodeWeight;
      if (wantsPoint)
        pointSum = monomial(x, y, node.bridgeCount(), node.loopCount(), nodeWeight) + pointSum;
    }
  } while (!listChildren(level, candidates));
  if (wantsPoint)
    pointSamples.push_back(pointSum);
  return table;
}
