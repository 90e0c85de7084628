#include "experiments/tutte_coefficients.h"

#include "experiments/coefficient_statistics.h"
#include "experiments/sample_seeds.h"
#include "experiments/stopwatch.h"
#include "experiments/trust_checks.h"

TutteCoefficients estimateTutteCoefficients(const EdgeList& edges, const SamplingOptions& options) {
  checkSamplingOptions(options);
  const Stopwatch stopwatch;
  const Graph graph = graphOfEdges(edges);
  const std::uint64_t seed = runSeed(options);
  SampleSeedSource source(seed);
  const std::vector<std::uint64_t> seeds = drawExperimentSeeds(options.samples, source);
  CoefficientSamples batch;
  runSampleBatch(options, [&](const SampleHook& afterEachSample) {
    batch = estimateCoefficientSamples(graph, walkSettings(options, -1, -1, WalkKind::Level), seeds,
                                       afterEachSample);
  });
  CoefficientStatistics statistics = coefficientStatistics(batch.tables, graph.edgeCount + 1);
  TutteCoefficients result;
  result.means = std::move(statistics.means);
  result.relativeErrors = std::move(statistics.errors);
  result.run = {options.samples,
                options.budget,
                seed,
                batch.nodesBuilt,
                0.0,
                !batch.budgetBound,
                coefficientWarnings(1, batch.tables, batch.budgetBound, true)};
  if (result.run.exact)  // every sample is the same exact sum; the rest is rounding
    for (CoefficientTable::Cell& cell : result.relativeErrors.cells)
      cell.value = 0.0;
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
