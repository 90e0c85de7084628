#include "estimator/point_estimator.h"

#include "estimator/level_walk.h"
#include "estimator/random_source.h"

double estimatePoint(int budget, int mcore, Graph graph, int x, int y) {
  LevelWalk walk(budget, mcore);
  return walk.samplePoint(graph, x, y, drawSampleSeed());
}
