#include "estimator/point_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/random_source.h"

WideFloat estimatePoint(int budget, int mcore, Graph graph, int x, int y, bool* budgetCut) {
  LevelWalk walk(budget, mcore);
  const WideFloat sample = walk.samplePoint(graph, x, y, drawSampleSeed());
  if (budgetCut != nullptr && walk.budgetBound())
    *budgetCut = true;
  return sample;
}
