#include "experiments/point_experiments.h"

#include <iostream>
#include <vector>

#include "distributed/process_group.h"
#include "estimator/level_walk.h"
#include "estimator/random_source.h"
#include "estimator/tree_level.h"
#include "experiments/distributed_samples.h"
#include "experiments/progress_meter.h"
#include "experiments/report_lines.h"
#include "experiments/run_instance.h"
#include "graph/graph.h"
#include "library/sample_statistics.h"
#include "library/stopwatch.h"
#include "library/trust_checks.h"

namespace {

void printExperimentBlock(int experiment, int B, int N, WideFloat estimate, WideFloat error,
                          float seconds) {
  std::cout << kHyphenLine << std::endl;
  std::cout << "Experiment " << experiment << " (Budget=" << B << ", N=" << N << ")" << std::endl;
  std::cout << "Point estimator:   " << estimate << " RE " << error << std::endl;
  std::cout << "Total CPU time: " << seconds << std::endl;
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
}

void printSummary(int expnum, const std::vector<WideFloat>& estimates,
                  const std::vector<WideFloat>& errors, double averageCpuSeconds) {
  std::cout << kAsteriskLine << std::endl;
  std::cout << std::endl;
  std::cout << "SUMMARY OF " << expnum << " experiments:" << std::endl;
  std::cout << std::endl;
  std::cout << "AVERAGE POINT ESTIMATOR:   " << sampleMean(estimates) << ", AVERAGE RE "
            << sampleMean(errors) << ", TOTAL (" << expnum << ") EXPERIMENT AVERAGE RE  "
            << relativeError(estimates) << std::endl;
  std::cout << std::endl;
  std::cout << "AVERAGE CPU TIME:   " << averageCpuSeconds << " (sec)" << std::endl;
  std::cout << std::endl;
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
  std::cout << kAsteriskLine << std::endl;
}

}  // namespace

void runPointEstimateExperiments(int expnum, int B, std::string fileName, int N, int mcore, int x,
                                 int y) {
  const ProcessGroup& group = ProcessGroup::current();
  seedRandomSource(group.broadcast(seedFromClock()));
  const RunInstance instance = loadRunInstance(group, fileName);
  // The processes on one machine share its memory.
  const std::size_t walkMemory = LevelWalk::defaultMemoryLimit() / group.sizeOnThisMachine();
  const WalkSettings settings{B, mcore, static_cast<double>(x), static_cast<double>(y), walkMemory};
  // A loop at y == 0 or a bridge at x == 0 cuts off the root itself: T(x, y) is exactly 0.
  Graph root(instance.vertexCount, instance.edges);
  const bool pointIsZero = isPruned(root, x, y);

  std::vector<WideFloat> experimentEstimates;
  std::vector<WideFloat> experimentErrors;
  double averageCpuSeconds = 0.0;
  bool anyCut = false;
  // The leader shows the progress of its own share of each experiment's samples.
  ProgressMeter progress(expnum, static_cast<int>(group.blockStart(N, 1)), group.leads());
  for (int experiment = 0; experiment < expnum;) {
    Stopwatch stopwatch;
    progress.startExperiment();
    const Graph graph(instance.vertexCount, instance.edges);
    const PointSamples batch = gatherPointSamples(group, graph, settings, drawExperimentSeeds(N),
                                                  [&progress] { progress.tickSample(); });
    progress.finishExperiment();
    const std::vector<WideFloat>& samples = batch.values;
    const float seconds = stopwatch.elapsedSeconds();
    averageCpuSeconds += static_cast<double>(seconds / static_cast<float>(expnum));
    experimentEstimates.push_back(sampleMean(samples));
    experimentErrors.push_back(relativeError(samples));
    ++experiment;
    printExperimentBlock(experiment, B, N, experimentEstimates.back(), experimentErrors.back(),
                         seconds);
    printWarnings(pointSampleWarnings(experiment, x, y, samples, batch.budgetBound, pointIsZero));
    anyCut = anyCut || batch.budgetBound;
    // The report can no longer be written: the caller says so and ends the run, on every
    // process alike.
    if (!group.allAgree(static_cast<bool>(std::cout)))
      return;
  }
  printWarnings(agreementWarnings(x, y, experimentEstimates, experimentErrors, anyCut));
  printSummary(expnum, experimentEstimates, experimentErrors, averageCpuSeconds);
}
