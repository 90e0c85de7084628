#include "experiments/point_experiments.h"

#include <iostream>
#include <vector>

#include "estimator/point_estimator.h"
#include "estimator/random_source.h"
#include "experiments/progress_meter.h"
#include "experiments/report_lines.h"
#include "experiments/run_seed.h"
#include "experiments/sample_statistics.h"
#include "experiments/stopwatch.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"

namespace {

void printExperimentBlock(int experiment, int B, int N, double estimate, double error,
                          float seconds) {
  std::cout << kHyphenLine << std::endl;
  std::cout << "Experiment " << experiment << " (Budget=" << B << ", N=" << N << ")" << std::endl;
  std::cout << "Point estimator:   " << estimate << " RE " << error << std::endl;
  std::cout << "Total CPU time: " << seconds << std::endl;
  std::cout << kHyphenLine << std::endl;
  std::cout << std::endl;
}

void printSummary(int expnum, const std::vector<double>& estimates,
                  const std::vector<double>& errors, double averageCpuSeconds) {
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
  seedRandomSource(seedFromClock());
  EdgeList edgeList;
  int edgeCount = 0;
  int vertexCount = 0;
  readInstanceFile(fileName, edgeList, edgeCount, vertexCount);

  std::vector<double> experimentEstimates;
  std::vector<double> experimentErrors;
  double averageCpuSeconds = 0.0;
  ProgressMeter progress(expnum, N);
  for (int experiment = 0; experiment < expnum;) {
    Stopwatch stopwatch;
    progress.startExperiment();
    Graph graph(vertexCount, edgeList);
    std::vector<double> samples;
    for (int sample = 0; sample < N; ++sample) {
      samples.push_back(estimatePoint(B, mcore, graph, x, y));
      progress.tickSample();
    }
    progress.finishExperiment();
    const float seconds = stopwatch.elapsedSeconds();
    averageCpuSeconds += static_cast<double>(seconds / static_cast<float>(expnum));
    experimentEstimates.push_back(sampleMean(samples));
    experimentErrors.push_back(relativeError(samples));
    ++experiment;
    printExperimentBlock(experiment, B, N, experimentEstimates.back(), experimentErrors.back(),
                         seconds);
    if (!std::cout)
      return;  // the report can no longer be written: the caller says so and ends the run
  }
  printSummary(expnum, experimentEstimates, experimentErrors, averageCpuSeconds);
}
