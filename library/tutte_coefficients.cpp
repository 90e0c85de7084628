#include "library/tutte_coefficients.h"

#include "library/spanning_tree_check.h"
#include "library/stopwatch.h"
#include "library/streamed_samples.h"
#include "library/trust_checks.h"

TutteCoefficients estimateTutteCoefficients(const EdgeList& edges, const SamplingOptions& options) {
  checkSamplingOptions(options);
  const Stopwatch stopwatch;
  const Graph graph = graphOfEdges(edges);
  const std::uint64_t seed = runSeed(options);
  StreamedCoefficients batch;
  runSampleBatch(options, [&] {
    batch = streamCoefficientSamples(graph, walkSettings(options, -1, -1, WalkKind::Level), seed, 0,
                                     options.samples, processesOf(options));
  });
  const CoefficientSummary& summary = batch.summary;
  const int size = graph.edgeCount + 1;
  TutteCoefficients result;
  result.means = summary.means(size);
  result.relativeErrors = summary.relativeErrors(size);
  result.run = {options.samples,
                budgetOf(options, WalkKind::Level),
                seed,
                batch.nodesBuilt,
                0.0,
                !batch.budgetBound,
                coefficientWarnings(1, summary.count, summary.samplesWithLeaves,
                                    result.relativeErrors, batch.budgetBound, true)};
  // The coefficients of every sample sum to its estimate of T(1, 1), which is known exactly.
  const std::vector<std::string> treeWarnings =
      SpanningTreeCheck(graph).afterExperiment(1, summary.sums.estimate(), batch.budgetBound);
  result.run.warnings.insert(result.run.warnings.end(), treeWarnings.begin(), treeWarnings.end());
  if (result.run.exact)  // every sample is the same exact sum; the rest is rounding
    for (CoefficientTable::Cell& cell : result.relativeErrors.cells)
      cell.value = 0.0;
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
