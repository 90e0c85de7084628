#include "experiments/tutte_estimate.h"

#include <array>
#include <cmath>
#include <utility>

#include "estimator/closed_form_values.h"
#include "estimator/spanning_tree_count.h"
#include "estimator/tree_level.h"
#include "experiments/sample_seeds.h"
#include "experiments/sample_statistics.h"
#include "experiments/spanning_tree_check.h"
#include "experiments/stopwatch.h"
#include "experiments/trust_checks.h"

namespace {

constexpr std::array<std::pair<EstimateMethod, std::string_view>, 4> kMethodNames{{
    {EstimateMethod::Auto, "auto"},
    {EstimateMethod::Walk, "walk"},
    {EstimateMethod::Reduced, "reduced"},
    {EstimateMethod::Exact, "exact"},
}};

// The value at (x, y) where a closed form gives it at little cost: on the hyperbola
// (x - 1)(y - 1) = 1 in time O(m), and at (1, 1) when counting the spanning trees takes at most
// kSpanningTreeUpdateLimit updates (about a second of one core); nothing elsewhere.
std::optional<WideFloat> cheapExactValue(const Graph& graph, double x, double y) {
  if (x == 1.0 && y == 1.0) {
    if (const std::optional<SpanningTreeCount> count =
            countSpanningTreesWithin(graph, kSpanningTreeUpdateLimit))
      return count->value;
    return std::nullopt;
  }
  return closedFormValue(graph, x, y);
}

TutteEstimate exactEstimate(WideFloat value, const SamplingOptions& options, std::uint64_t seed,
                            const Stopwatch& stopwatch) {
  TutteEstimate result;
  result.value = value;
  result.method = EstimateMethod::Exact;
  result.run.budget = budgetOf(options, WalkKind::Reduced);
  result.run.seed = seed;
  result.run.seconds = stopwatch.elapsedSeconds();
  result.run.exact = true;
  return result;
}

WalkKind walkOf(EstimateMethod method) {
  return method == EstimateMethod::Walk ? WalkKind::Level : WalkKind::Reduced;
}

// Mean, errors and warnings of the batch's samples.
void summarise(const Graph& graph, const PointSamples& batch, const ValueOptions& options,
               TutteEstimate& result) {
  const std::vector<WideFloat>& samples = batch.values;
  result.value = sampleMean(samples);
  result.run.exact = !batch.budgetBound;
  result.run.nodesBuilt = batch.nodesBuilt;
  if (result.run.exact)
    return;  // every sample is the same exact sum
  result.standardError = sampleStdDev(samples) / std::sqrt(static_cast<double>(samples.size()));
  result.relativeError = result.standardError / abs(result.value);
  Graph root = graph;
  const bool knownZero = isPruned(root, options.x, options.y);
  result.run.warnings =
      pointSampleWarnings(1, options.x, options.y, samples, batch.budgetBound, knownZero);
}

}  // namespace

std::string_view methodName(EstimateMethod method) {
  for (const auto& [known, name] : kMethodNames)
    if (known == method)
      return name;
  return "unknown";
}

std::optional<EstimateMethod> methodNamed(std::string_view name) {
  for (const auto& [method, known] : kMethodNames)
    if (known == name)
      return method;
  return std::nullopt;
}

TutteEstimate estimateTutteValue(const EdgeList& edges, const ValueOptions& options) {
  const SamplingOptions& sampling = options.sampling;
  checkSamplingOptions(sampling);
  if (!std::isfinite(options.x) || !std::isfinite(options.y))
    throw std::invalid_argument("the point (x, y) must be finite");
  if (options.method == EstimateMethod::Exact)
    throw std::invalid_argument("an estimate's method is auto, walk or reduced");
  const Stopwatch stopwatch;
  const Graph graph = graphOfEdges(edges);
  const std::uint64_t seed = runSeed(sampling);
  if (options.method == EstimateMethod::Auto) {
    if (const std::optional<WideFloat> exact = cheapExactValue(graph, options.x, options.y))
      return exactEstimate(*exact, sampling, seed, stopwatch);
  }
  const WalkKind walk = walkOf(options.method);
  SampleSeedSource source(seed);
  const std::vector<std::uint64_t> seeds = drawExperimentSeeds(sampling.samples, source);
  PointSamples batch;
  runSampleBatch(sampling, [&](const SampleHook& afterEachSample) {
    batch = estimatePointSamples(graph, walkSettings(sampling, options.x, options.y, walk), seeds,
                                 afterEachSample);
  });
  TutteEstimate result;
  result.method = walk == WalkKind::Reduced ? EstimateMethod::Reduced : EstimateMethod::Walk;
  result.run.samples = sampling.samples;
  result.run.budget = budgetOf(sampling, walk);
  result.run.seed = seed;
  summarise(graph, batch, options, result);
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
