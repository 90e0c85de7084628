#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "estimator/sample_batch.h"
#include "graph/graph.h"
#include "graph/instance_reader.h"
#include "library/process_exchange.h"

// What the library's estimates for other programs share: how their samples are drawn, on how
// many cores, how they are stopped early, and what a run reports besides its figures. Each
// estimate is one experiment with a generator of its own, so estimates run side by side from
// several threads do not disturb one another, and none prints anything.

// The budget of a walk when none is given. The reduced walk does best at B = 1 on the graphs
// measured (bench/RESULTS.md): a larger budget costs more per sample than its smaller spread
// saves. The level walk keeps the tool's customary 16.
inline constexpr int kDefaultLevelBudget = 16;
inline constexpr int kDefaultReducedBudget = 1;

struct SamplingOptions {
  int samples = 1000;  // N, at least 1
  // B: nodes kept per depth of the tree, at least 1; absent: the walk's default above.
  std::optional<int> budget;
  // Absent: a seed from the clock. Either way the result holds it, and the same seed gives the
  // same samples, on any number of cores.
  std::optional<std::uint64_t> seed;
  // Absent: every core; 1: one core; k: at most k threads.
  std::optional<int> cores;
  // When another thread sets it, the estimate throws EstimateStopped: the walks in progress end
  // at their next depth, so even a sample of a huge budget ends within one level's time.
  const std::atomic<bool>* stop = nullptr;
  // The processes that share the estimate (process_exchange.h); absent: this process alone.
  // Every process must make the same call with the same options (a seed too, or none on every
  // process: the leader's clock then seeds them all). Each returns the same result.
  const ProcessExchange* processes = nullptr;
};

// Thrown by an estimate whose stop flag was set before it finished.
class EstimateStopped : public std::runtime_error {
 public:
  EstimateStopped() : std::runtime_error("the estimate was stopped before it finished") {}
};

// What an estimate reports about its run.
struct SamplingReport {
  int samples = 0;
  int budget = 0;
  std::uint64_t seed = 0;
  std::int64_t nodesBuilt = 0;  // by the run's walks, not by a pilot's
  double seconds = 0.0;         // elapsed, from the graph's construction to the last statistic
  // No level of any sample had more candidates than the budget: every sample is the exact
  // deletion-contraction sum, and the errors are 0.
  bool exact = false;
  // The trust checks' warnings (trust_checks.h), one line each, for the caller to show.
  std::vector<std::string> warnings;
};

// Throws std::invalid_argument, with a sentence that names the setting, when the sample count,
// the budget or the cores are below 1.
void checkSamplingOptions(const SamplingOptions& options);

// The budget the walk takes under these options: the one given, else the walk's default.
int budgetOf(const SamplingOptions& options, WalkKind walk);

// The processes of the options: the ones given, else this process alone.
const ProcessExchange& processesOf(const SamplingOptions& options);

// The seed of the run: the one given, else one from the leader's clock.
std::uint64_t runSeed(const SamplingOptions& options);

// Settings of the walks for these options at (x, y) (-1: no point); mcore follows the cores,
// the processes on one machine share its memory, and the walks end when the options' stop flag
// is set.
WalkSettings walkSettings(const SamplingOptions& options, double x, double y, WalkKind walk);

// Runs batch() within the options' limit on threads. The walks of settings made by walkSettings
// stop at their next depth once the options' stop flag is set (WalkStopped); that ends the batch
// with EstimateStopped.
void runSampleBatch(const SamplingOptions& options, const std::function<void()>& batch);

// The graph of an edge list, its vertices the distinct ids the edges name (vertices without
// edges change no Tutte polynomial). Time O(m log m).
Graph graphOfEdges(const EdgeList& edges);
