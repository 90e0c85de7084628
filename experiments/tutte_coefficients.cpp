#include "experiments/tutte_coefficients.h"

#include "estimator/spanning_tree_count.h"
#include "experiments/coefficient_statistics.h"
#include "experiments/sample_seeds.h"
#include "experiments/spanning_tree_check.h"
#include "experiments/stopwatch.h"
#include "experiments/trust_checks.h"

namespace {

// The coefficients of every sample sum to its estimate of T(1, 1): set beside the exact number
// of spanning trees, where counting them is affordable, it tells a run that missed part of the
// tree. A run the budget never cut is exact and needs no check.
std::vector<std::string> spanningTreeCheck(const Graph& graph, const CoefficientSamples& batch) {
  if (!batch.budgetBound || batch.tables.empty())
    return {};
  const std::optional<SpanningTreeCount> count =
      countSpanningTreesWithin(graph, kSpanningTreeUpdateLimit);
  if (!count)
    return {};
  return spanningTreeWarnings(1, spanningTreeEstimate(batch.tables), count->value, true);
}

}  // namespace

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
  const std::vector<std::string> treeWarnings = spanningTreeCheck(graph, batch);
  result.run.warnings.insert(result.run.warnings.end(), treeWarnings.begin(), treeWarnings.end());
  if (result.run.exact)  // every sample is the same exact sum; the rest is rounding
    for (CoefficientTable::Cell& cell : result.relativeErrors.cells)
      cell.value = 0.0;
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
