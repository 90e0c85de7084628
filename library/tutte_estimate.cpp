#include "library/tutte_estimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <utility>

#include "estimator/exact_route.h"
#include "estimator/random_source.h"
#include "estimator/ratio_fit.h"
#include "estimator/tilt_choice.h"
#include "estimator/tree_level.h"
#include "library/byte_packing.h"
#include "library/second_opinion.h"
#include "library/shared_outcome.h"
#include "library/stopwatch.h"
#include "library/streamed_samples.h"
#include "library/trust_checks.h"

namespace {

constexpr std::array<std::pair<EstimateMethod, std::string_view>, 4> kMethodNames{{
    {EstimateMethod::Auto, "auto"},
    {EstimateMethod::Walk, "walk"},
    {EstimateMethod::Reduced, "reduced"},
    {EstimateMethod::Exact, "exact"},
}};

TutteEstimate exactEstimate(const ExactValue& exact, const SamplingOptions& options,
                            std::uint64_t seed, const Stopwatch& stopwatch) {
  TutteEstimate result;
  result.value = exact.value;
  result.exactDecimal = exact.decimal;
  result.errorBound = exact.errorBound;
  result.engine = exact.engine;
  result.method = EstimateMethod::Exact;
  result.run.budget = budgetOf(options, WalkKind::Reduced);
  result.run.seed = seed;
  result.run.seconds = stopwatch.elapsedSeconds();
  result.run.exact = true;
  return result;
}

// Seeds of the pilot that chooses the reduced walk's tilt: an eighth of the run's samples, at
// least 16 per tilt tried (fewer choose badly now and then: too few of a heavy tail's samples
// are seen) and at most 200 (by then the choice no longer changes). At B = 1, on the bench
// graphs, a pilot sample costs about as much as one of the run's.
int pilotSeedCount(int samples) {
  const int tilts = static_cast<int>(tiltLadder().size());
  return tilts * std::clamp(samples / (8 * tilts), 16, 200);
}

// The reduced walk's per-node guide that the pilot may choose beside the tilt: each choice
// tilted by the branch edge's resistance ratio with every other vertex shorted
// (estimator/resistance_guide.h), a closed form per node. It cuts the spread by orders of
// magnitude on dense graphs where connectivity or acyclicity binds ((1, 1), (2, 1), (2, 0)) and
// loses as much on sparse graphs at x > 1 (bench/RESULTS.md), so a second pilot of the same
// length tries it, and the run keeps it where it predicts at most half the work.
constexpr double kGuidePower = 1.0;
constexpr int kGuideRadius = -1;
constexpr double kGuideWorkShare = 0.5;

struct WalkChoice {
  TiltChoice tilt;
  bool guided = false;
};

// The pilot's two halves: the walk as it is, then guided.
WalkChoice chooseWalk(const Graph& graph, WalkSettings pilot,
                      const std::vector<std::uint64_t>& pilotSeeds) {
  const auto half = pilotSeeds.begin() + static_cast<std::ptrdiff_t>(pilotSeeds.size() / 2);
  const TiltChoice plain = chooseTilt(graph, pilot, {pilotSeeds.begin(), half});
  pilot.resistancePower = kGuidePower;
  pilot.resistanceRadius = kGuideRadius;
  const TiltChoice guided = chooseTilt(graph, pilot, {half, pilotSeeds.end()});
  if (guided.predictedWork < kGuideWorkShare * plain.predictedWork)
    return {guided, true};
  return {plain, false};
}

// The fitted ratio beside the pilot's choice: three rounds (fit, test and fit again, test) of
// 64 to 1,000 samples each, a sixteenth of the run's; the fitted weights are kept where the last
// test predicts at most half the chosen walk's work (nodes times relative variance), which pays
// for the features' cost (100-300 ns a node) with room to spare. On 3-regular graphs it cut the
// work to 1% at (1, 2), (0, 2) and (1, 1) 3 to 10^5 times and flattened the growth of log RV with
// n five- to tenfold; on dense graphs at (2, 1), (2, 0) six- to sevenfold (bench/RESULTS.md).
// Below this relative variance of a sample (as the tilt's pilot predicts it) a fit could save at
// most a tenth of the work and its pilot would cost more: the run goes without it.
constexpr int kFitRounds = 3;
constexpr double kFitWorkShare = 0.5;
constexpr double kFitLeastVariance = 0.1;

int fitSeedCount(int samples) {
  return kFitRounds * std::clamp(samples / 16, 64, 1000);
}

std::optional<RatioWeights> fitWalk(const Graph& graph, const WalkSettings& pilot,
                                    const WalkChoice& choice,
                                    const std::vector<std::uint64_t>& seeds) {
  if (choice.tilt.relativeVariance < kFitLeastVariance)
    return std::nullopt;
  const RatioWeights start = constantTiltWeights(choice.tilt.tilt, choice.guided);
  const RatioFit fit = fitRatio(graph, pilot, start, seeds, kFitRounds);
  if (fit.weights == start)
    return std::nullopt;
  for (const RatioFitRound& round : fit.rounds)
    if (round.start == fit.weights) {
      const double work =
          std::max(round.sampledVariance, round.logNormalVariance) * round.nodesPerSample;
      if (work <= kFitWorkShare * choice.tilt.predictedWork)
        return fit.weights;
    }
  return std::nullopt;
}

void checkTilt(const ValueOptions& options) {
  if (!options.tilt)
    return;
  if (!std::isfinite(*options.tilt) || *options.tilt <= 0.0) {
    std::ostringstream text;
    text << "the tilt must be positive and finite, not " << *options.tilt;
    throw std::invalid_argument(text.str());
  }
  if (options.method == EstimateMethod::Walk)
    throw std::invalid_argument(
        "a tilt is the reduced walk's: give it with method auto or "
        "reduced");
}

// Mean, errors and warnings of the run's samples, whose estimate is `estimate`; when an exact
// value is at hand the estimate is checked against it.
void summarise(const Graph& graph, const SampleSummary& samples, ErrorBar estimate,
               bool budgetBound, const ValueOptions& options, TutteEstimate& result) {
  result.run.exact = !budgetBound;
  // Every sample of an exact run is the same exact sum, whatever its tilt, and their summary's
  // mean keeps it to the last digit, where weighting both parts could round it.
  result.value = result.run.exact ? samples.mean : estimate.value;
  if (result.run.exact)
    return;
  result.standardError = estimate.standardError;
  result.relativeError = result.standardError / abs(result.value);
  Graph root = graph;
  const bool knownZero = isPruned(root, options.x, options.y);
  result.run.warnings = pointSampleWarnings(1, options.x, options.y, samples.weight(),
                                            samples.count, budgetBound, knownZero);
  if (const std::optional<WideFloat> exact = cheapExactValue(graph, options.x, options.y)) {
    const std::vector<std::string> missed =
        exactValueWarnings(options.x, options.y, estimate, *exact, budgetBound);
    result.run.warnings.insert(result.run.warnings.end(), missed.begin(), missed.end());
  }
}

// An exact value as bytes, for the processes that wait while the leader computes it; an empty
// optional when no engine was cheap enough.
std::string packedExact(const std::optional<ExactValue>& exact) {
  BytePacker packer;
  packer.put(exact.has_value());
  if (!exact)
    return std::move(packer.bytes());
  packer.put(exact->value);
  packer.put(exact->errorBound);
  packer.put(exact->engine);
  packer.put(exact->decimal.has_value());
  packer.putText(exact->decimal.value_or(""));
  return std::move(packer.bytes());
}

std::optional<ExactValue> unpackedExact(const std::string& bytes) {
  ByteUnpacker unpacker(bytes);
  if (!unpacker.get<bool>())
    return std::nullopt;
  ExactValue exact;
  exact.value = unpacker.get<WideFloat>();
  exact.errorBound = unpacker.get<WideFloat>();
  exact.engine = unpacker.get<ExactEngine>();
  const bool hasDecimal = unpacker.get<bool>();
  std::string decimal = unpacker.getText();
  if (hasDecimal)
    exact.decimal = std::move(decimal);
  return exact;
}

// The exact engines run on the leader alone (where they answer they are fast); the others wait
// for its answer, or its refusal.
std::optional<ExactValue> exactOnLeader(const Graph& graph, const ValueOptions& options,
                                        const ProcessExchange& processes) {
  return unpackedExact(computeOnLeader(processes, [&] {
    if (options.method == EstimateMethod::Exact)
      return packedExact(exactValueOrRefuse(graph, options.x, options.y, kExactRequestSeconds));
    return packedExact(exactValueIfCheap(graph, options.x, options.y, kAutoExactSeconds));
  }));
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

WalkKind walkOf(EstimateMethod method) {
  return method == EstimateMethod::Walk ? WalkKind::Level : WalkKind::Reduced;
}

TutteEstimate estimateTutteValue(const EdgeList& edges, const ValueOptions& options) {
  const SamplingOptions& sampling = options.sampling;
  checkSamplingOptions(sampling);
  if (!std::isfinite(options.x) || !std::isfinite(options.y))
    throw std::invalid_argument("the point (x, y) must be finite");
  checkTilt(options);
  const Stopwatch stopwatch;
  const Graph graph = graphOfEdges(edges);
  const ProcessExchange& processes = processesOf(sampling);
  const std::uint64_t seed = runSeed(sampling);
  if (options.method == EstimateMethod::Exact || options.method == EstimateMethod::Auto) {
    if (const std::optional<ExactValue> exact = exactOnLeader(graph, options, processes))
      return exactEstimate(*exact, sampling, seed, stopwatch);
  }
  const WalkKind walk = walkOf(options.method);
  const bool choosesTilt = walk == WalkKind::Reduced && !options.tilt;
  // The pilot's seeds come first from the run's generator, then the samples': both depend on
  // the seed alone. Every process runs the whole pilot, so all choose the same tilt.
  const int choiceSamples = choosesTilt ? 2 * pilotSeedCount(sampling.samples) : 0;
  const int pilotSamples = choiceSamples + (choosesTilt ? fitSeedCount(sampling.samples) : 0);
  SampleSeedSource source(seed);
  const std::vector<std::uint64_t> pilotSeeds = drawExperimentSeeds(choiceSamples, source);
  const std::vector<std::uint64_t> fitSeeds =
      drawExperimentSeeds(pilotSamples - choiceSamples, source);
  StreamedPoints level;
  TiltedSamples tilted;  // the reduced walk's, a share of them at a second tilt
  bool guided = false, fitted = false;
  runSampleBatch(sampling, [&] {
    const WalkSettings settings = walkSettings(sampling, options.x, options.y, walk);
    if (walk == WalkKind::Level) {
      level = streamPointSamples(graph, settings, seed, 0, sampling.samples, processes);
      return;
    }
    WalkSettings pilot = settings;
    pilot.budget = 1;
    const WalkChoice choice = choosesTilt ? chooseWalk(graph, pilot, pilotSeeds)
                                          : WalkChoice{givenTilt(*options.tilt), false};
    WalkSettings run = settings;
    if (choice.guided) {
      run.resistancePower = kGuidePower;
      run.resistanceRadius = kGuideRadius;
    }
    guided = choice.guided;
    if (choosesTilt)
      run.fittedRatio = fitWalk(graph, pilot, choice, fitSeeds);
    fitted = run.fittedRatio.has_value();
    tilted =
        drawTiltedSamples(graph, run, choice.tilt, seed, pilotSamples, sampling.samples, processes);
  });
  TutteEstimate result;
  result.method = walk == WalkKind::Reduced ? EstimateMethod::Reduced : EstimateMethod::Walk;
  result.run.samples = sampling.samples;
  result.run.budget = budgetOf(sampling, walk);
  result.run.seed = seed;
  if (walk == WalkKind::Level) {
    result.run.nodesBuilt = level.nodesBuilt;
    summarise(graph, level.summary, level.summary.estimate(), level.budgetBound, options, result);
  } else {
    result.tilt = tilted.first.tilt;
    result.guided = guided;
    result.fitted = fitted;
    result.run.nodesBuilt = tilted.nodesBuilt();
    summarise(graph, tilted.allSamples(), combinedEstimate(tilted), tilted.budgetBound(), options,
              result);
    const std::vector<std::string> disagree = secondOpinionWarnings(options.x, options.y, tilted);
    result.run.warnings.insert(result.run.warnings.end(), disagree.begin(), disagree.end());
  }
  result.run.seconds = stopwatch.elapsedSeconds();
  return result;
}
