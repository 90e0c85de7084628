#include "experiments/polynomial_experiments.h"

#include <iostream>
#include <vector>

#include "distributed/process_group.h"
#include "estimator/level_walk.h"
#include "estimator/random_source.h"
#include "estimator/tree_level.h"
#include "experiments/coefficient_report.h"
#include "experiments/distributed_samples.h"
#include "experiments/progress_meter.h"
#include "experiments/run_instance.h"
#include "graph/graph.h"
#include "library/spanning_tree_check.h"
#include "library/stopwatch.h"
#include "library/trust_checks.h"

void runPolynomialExperiments(int expnum, int B, std::string fileName, int N, int verb, int mcore,
                              int x, int y) {
  const ProcessGroup& group = ProcessGroup::current();
  seedRandomSource(group.broadcast(seedFromClock()));
  const RunInstance instance = loadRunInstance(group, fileName);
  // The processes on one machine share its memory.
  const std::size_t walkMemory = LevelWalk::defaultMemoryLimit() / group.sizeOnThisMachine();
  const WalkSettings settings{B, mcore, static_cast<double>(x), static_cast<double>(y), walkMemory};
  const int m = instance.edgeCount;
  // A loop at y == 0 or a bridge at x == 0 cuts off the root itself: T(x, y) is exactly 0.
  Graph root(instance.vertexCount, instance.edges);
  const bool pointIsZero = x != -1 && y != -1 && isPruned(root, x, y);
  SpanningTreeCheck spanningTreeCheck(root);

  CoefficientTable averageCoefficients{m + 1, 0.0, {}};
  CoefficientTable averageRelativeErrors{m + 1, 0.0, {}};
  std::vector<WideFloat> experimentPointEstimates;
  std::vector<WideFloat> experimentPointErrors;
  double averageCpuSeconds = 0.0;
  bool anyCut = false;
  // The leader shows the progress of its own share of each experiment's samples.
  ProgressMeter progress(expnum, static_cast<int>(group.blockStart(N, 1)), group.leads());
  for (int experiment = 0; experiment < expnum;) {
    Stopwatch stopwatch;
    progress.startExperiment();
    const Graph graph(instance.vertexCount, instance.edges);
    const CoefficientSamples samples = gatherCoefficientSamples(
        group, graph, settings, drawExperimentSeeds(N), [&progress] { progress.tickSample(); });
    progress.finishExperiment();
    const float seconds = stopwatch.elapsedSeconds();
    averageCpuSeconds += static_cast<double>(seconds / static_cast<float>(expnum));
    ++experiment;
    printExperimentReport(experiment, samples.tables, seconds, B, N, expnum, averageCoefficients,
                          averageRelativeErrors, verb, samples.points, experimentPointEstimates,
                          experimentPointErrors);
    printWarnings(
        pointSampleWarnings(experiment, x, y, samples.points, samples.budgetBound, pointIsZero));
    printWarnings(coefficientWarnings(experiment, samples.tables, samples.budgetBound, verb != 0));
    anyCut = anyCut || samples.budgetBound;
    // Only the leader holds every sample, and only it prints.
    if (group.leads() && !samples.tables.empty())
      printWarnings(spanningTreeCheck.afterExperiment(
          experiment, spanningTreeEstimate(samples.tables), samples.budgetBound));
    // The report can no longer be written: the caller says so and ends the run, on every
    // process alike.
    if (!group.allAgree(static_cast<bool>(std::cout)))
      return;
  }
  printWarnings(agreementWarnings(x, y, experimentPointEstimates, experimentPointErrors, anyCut));
  printWarnings(spanningTreeCheck.afterRun());
  printSummaryReport(verb, averageCoefficients, averageCpuSeconds, averageRelativeErrors,
                     experimentPointEstimates, experimentPointErrors, expnum);
}
