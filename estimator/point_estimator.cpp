#include "estimator/point_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/tree_level.h"

namespace {

// Contribution of one node of a freshly built level: its leaf monomial weighted by the node's
// share of the level weight, or nothing for pruned and inner nodes.
WideFloat leafContribution(Graph& node, int x, int y, WideFloat nodeWeight) {
  if (!node.classified)
    node.classifyEdges();
  if (x == 0 && node.bridgeCount() > 0)
    return 0.0;
  if (y == 0 && node.loopCount() > 0)
    return 0.0;
  if (node.ordinaryCount() > 0)
    return 0.0;
  return power(x, node.bridgeCount()) * nodeWeight * power(y, node.loopCount());
}

}  // namespace

WideFloat estimatePoint(int budget, int mcore, Graph graph, int x, int y, bool* budgetCut) {
  WideFloat sum = 0.0;
  WideFloat levelWeight = 1.0;
  TreeLevel level;
  if (startWalk(level, graph)) {
    return power(x, graph.bridgeCount()) * power(y, graph.loopCount()) + 0.0;
  }
  CandidateList candidates;
  // A pruned root lists no children: the walk is over at once and the sample is 0.
  bool done = listChildren(level, candidates, x, y);
  while (!done) {
    if (descendOneLevel(level, candidates, budget, mcore, levelWeight) && budgetCut)
      *budgetCut = true;
    const WideFloat nodeWeight = WideFloat(1.0 / static_cast<double>(level.size())) * levelWeight;
    for (Graph& node : level)
      sum = leafContribution(node, x, y, nodeWeight) + sum;
    done = listChildren(level, candidates, x, y);
  }
  recycleLevel(level);
  return sum;
}
