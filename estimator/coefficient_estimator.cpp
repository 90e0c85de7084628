#include "estimator/coefficient_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/random_source.h"

CoefficientMatrix estimateCoefficients(int budget, Graph graph, int mcore, int x, int y,
                                       std::vector<double>& pointSamples) {
  LevelWalk walk(budget, mcore);
  double point = 0.0;
  CoefficientMatrix table = walk.sampleCoefficients(graph, x, y, drawSampleSeed(), &point);
  if (x != -1 && y != -1)
    pointSamples.push_back(point);
  return table;
}
