#include "experiments/polynomial_experiments.h"

#include <iostream>
#include <vector>

#include "estimator/coefficient_estimator.h"
#include "estimator/random_source.h"
#include "experiments/coefficient_report.h"
#include "experiments/progress_meter.h"
#include "experiments/run_seed.h"
#include "experiments/stopwatch.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"

void runPolynomialExperiments(int expnum, int B, std::string fileName, int N, int verb, int mcore,
                              int x, int y) {
  seedRandomSource(seedFromClock());
  EdgeList edgeList;
  int m = 0;
  int vertexCount = 0;
  readInstanceFile(fileName, edgeList, m, vertexCount);

  Matrix averageCoefficients(m + 1, std::vector<double>(m + 1, 0.0));
  Matrix averageRelativeErrors(m + 1, std::vector<double>(m + 1, 0.0));
  std::vector<double> experimentPointEstimates;
  std::vector<double> experimentPointErrors;
  double averageCpuSeconds = 0.0;
  ProgressMeter progress(expnum, N);
  for (int experiment = 0; experiment < expnum;) {
    Stopwatch stopwatch;
    progress.startExperiment();
    std::vector<double> pointEstimates;
    Graph graph(vertexCount, edgeList);
    std::vector<CoefficientMatrix> samples;
    for (int sample = 0; sample < N; ++sample) {
      samples.push_back(estimateCoefficients(B, graph, mcore, x, y, pointEstimates));
      progress.tickSample();
    }
    progress.finishExperiment();
    const float seconds = stopwatch.elapsedSeconds();
    averageCpuSeconds += static_cast<double>(seconds / static_cast<float>(expnum));
    ++experiment;
    printExperimentReport(experiment, samples, seconds, B, N, expnum, averageCoefficients,
                          averageRelativeErrors, verb, pointEstimates, experimentPointEstimates,
                          experimentPointErrors);
    if (!std::cout)
      return;  // the report can no longer be written: the caller says so and ends the run
  }
  printSummaryReport(verb, averageCoefficients, averageCpuSeconds, averageRelativeErrors,
                     experimentPointEstimates, experimentPointErrors, expnum);
}
