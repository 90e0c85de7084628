#include "experiments/tutte_coefficients.h"

#include "experiments/coefficient_statistics.h"
#include "experiments/sample_seeds.h"
#include "experiments/spanning_tree_check.h"
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
  runSampleBatch(options, [&] {
    batch =
        estimateCoefficientSamples(graph, walkSettings(options, -1, -1, WalkKind::Level), seeds);
  });
  CoefficientStatistics statistics = coefficientStatistics(batch.tables, graph.edgeCount + 1);
  TutteCoefficients result;
  result.means = std::move(statistics.means);
  result.relativeErrors = std::move(statistics.errors);
  result.run = {options.samples,
                budgetOf(options, WalkKind::Level),
                seed,
                batch.nodesBuilt,
                0.0,
                !batch.budgetBound,
                coefficientWarnings(1, batch.tables, batch.budgetBound, true)};
  // The coefficients of every sample sum to its estimate of T(1, 1), which is known exactly.
  const RunInstance instance{edges, graph.edgeCount, graph.vertexCount};
  const std::vector<std::string> treeWarnings =
      SpanningTreeCheck(instance, true).afterExperiment(1, batch);
  result.run.warnings.insert(result.run.warnings.end(), treeWarnings.begin(), treeWarnings.end());
  if (result.run.exact)  // every sample is the same exact sum; the rest is rounding
    for (CoefficientTable::Cell& cell : result.relativeErrors.cells)
      cell.value = 0.0;
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
