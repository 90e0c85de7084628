#include "estimator/coefficient_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/random_source.h"

CoefficientMatrix estimateCoefficients(int budget, Graph graph, int mcore, int x, int y,
                                       std::vector<WideFloat>& pointSamples, bool* budgetCut) {
  LevelWalk walk(budget, mcore);
  WideFloat point = 0.0;
  CoefficientMatrix table = walk.sampleCoefficients(graph, x, y, drawSampleSeed(), &point);
  if (x != -1 && y != -1)
    pointSamples.push_back(point);
  if (budgetCut != nullptr && walk.budgetBound())
    *budgetCut = true;
  return table;
}
