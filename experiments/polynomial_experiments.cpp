#include "experiments/polynomial_experiments.h"

#include <vector>

#include "estimator/random_source.h"
#include "estimator/sample_batch.h"
#include "experiments/coefficient_report.h"
#include "experiments/run_seed.h"
#include "experiments/sample_seeds.h"
#include "experiments/stopwatch.h"
#include "experiments/trust_checks.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"

void runPolynomialExperiments(int expnum, int B, std::string fileName, int N, int verb, int mcore,
                              int x, int y) {
  seedRandomSource(seedFromClock());
  EdgeList edgeList;
  int m = 0;
  int vertexCount = 0;
  readInstanceFile(fileName, edgeList, m, vertexCount);

  CoefficientTable averageCoefficients{m + 1, 0.0, {}};
  CoefficientTable averageRelativeErrors{m + 1, 0.0, {}};
  std::vector<WideFloat> experimentPointEstimates;
  std::vector<WideFloat> experimentPointErrors;
  double averageCpuSeconds = 0.0;
  bool anyCut = false;
  for (int experiment = 0; experiment < expnum;) {
    Stopwatch stopwatch;
    const Graph graph(vertexCount, edgeList);
    const CoefficientSamples samples =
        estimateCoefficientSamples(graph, {B, mcore, x, y}, drawExperimentSeeds(N));
    const bool budgetCut = samples.budgetBound;
    const float seconds = stopwatch.elapsedSeconds();
    averageCpuSeconds += static_cast<double>(seconds / static_cast<float>(expnum));
    ++experiment;
    printExperimentReport(experiment, samples.tables, seconds, B, N, expnum, averageCoefficients,
                          averageRelativeErrors, verb, samples.points, experimentPointEstimates,
                          experimentPointErrors);
    printWarnings(pointSampleWarnings(experiment, x, y, samples.points, budgetCut));
    printWarnings(coefficientWarnings(experiment, samples.tables, budgetCut));
    anyCut = anyCut || budgetCut;
  }
  printWarnings(agreementWarnings(x, y, experimentPointEstimates, experimentPointErrors, anyCut));
  printSummaryReport(verb, averageCoefficients, averageCpuSeconds, averageRelativeErrors,
                     experimentPointEstimates, experimentPointErrors, expnum);
}
