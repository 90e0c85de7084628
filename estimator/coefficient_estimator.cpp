#include "estimator/coefficient_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/tree_level.h"

namespace {

WideFloat monomial(int x, int y, int bridges, int loops, WideFloat weight) {
  return (power(x, bridges) * weight) * power(y, loops);
}

// Sums the leaf weights of one level by coefficient. Every step removes one edge from every
// node, so all nodes of a level have the same number of edges, and a leaf's bridges and loops
// add up to it: within a level the number of bridges alone names the coefficient, and no two
// levels share one.
class LevelLeafSums {
 public:
  explicit LevelLeafSums(int edgeCount) : sums_(edgeCount + 1, 0.0), loops_(edgeCount + 1, -1) {}

  void add(int bridges, int loops, WideFloat weight) {
    if (loops_[bridges] < 0)
      touched_.push_back(bridges);
    sums_[bridges] += weight;
    loops_[bridges] = loops;
  }

  // Appends the level's sums to `entries` and clears them for the next level.
  void moveInto(std::vector<CoefficientEntry>& entries) {
    for (int bridges : touched_) {
      entries.push_back({bridges, loops_[bridges], sums_[bridges]});
      sums_[bridges] = 0.0;
      loops_[bridges] = -1;
    }
    touched_.clear();
  }

 private:
  std::vector<WideFloat> sums_;
  std::vector<int> loops_;  // -1 where no leaf has been added
  std::vector<int> touched_;
};

}  // namespace

CoefficientMatrix estimateCoefficients(int budget, Graph graph, int mcore, int x, int y,
                                       std::vector<WideFloat>& pointSamples, bool* budgetCut) {
  CoefficientMatrix table{{}, graph.edgeCount};
  const bool wantsPoint = x != -1 && y != -1;
  WideFloat pointSum = 0.0;
  WideFloat levelWeight = 1.0;
  TreeLevel level;
  if (startWalk(level, graph)) {
    table.entries.push_back({graph.bridgeCount(), graph.loopCount(), 1.0});
    if (wantsPoint) {
      pointSamples.push_back(monomial(x, y, graph.bridgeCount(), graph.loopCount(), 1.0) + 0.0);
    }
    return table;
  }
  LevelLeafSums leafSums(table.edgeCount);
  CandidateList candidates;
  listChildren(level, candidates);
  do {
    if (descendOneLevel(level, candidates, budget, mcore, levelWeight) && budgetCut)
      *budgetCut = true;
    const WideFloat nodeWeight = WideFloat(1.0 / static_cast<double>(level.size())) * levelWeight;
    for (Graph& node : level) {
      if (!node.classified)
        node.classifyEdges();
      if (node.ordinaryCount() > 0)
        continue;
      leafSums.add(node.bridgeCount(), node.loopCount(), nodeWeight);
      if (wantsPoint) {
        pointSum = monomial(x, y, node.bridgeCount(), node.loopCount(), nodeWeight) + pointSum;
      }
    }
    leafSums.moveInto(table.entries);
  } while (!listChildren(level, candidates));
  if (wantsPoint)
    pointSamples.push_back(pointSum);
  recycleLevel(level);
  return table;
}
