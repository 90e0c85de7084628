#include "library/sampling_run.h"

#include <algorithm>

#include "estimator/parallel_loop.h"
#include "estimator/random_source.h"
#include "estimator/walk_levels.h"
#include "library/byte_packing.h"
#include "library/shared_outcome.h"

void checkSamplingOptions(const SamplingOptions& options) {
  if (options.samples < 1)
    throw std::invalid_argument("the sample count must be at least 1, not " +
                                std::to_string(options.samples));
  if (options.budget && *options.budget < 1)
    throw std::invalid_argument("the budget must be at least 1, not " +
                                std::to_string(*options.budget));
  if (options.cores && *options.cores < 1)
    throw std::invalid_argument("the number of cores must be at least 1, not " +
                                std::to_string(*options.cores));
}

int budgetOf(const SamplingOptions& options, WalkKind walk) {
  return options.budget.value_or(walk == WalkKind::Reduced ? kDefaultReducedBudget
                                                           : kDefaultLevelBudget);
}

const ProcessExchange& processesOf(const SamplingOptions& options) {
  return options.processes != nullptr ? *options.processes : processAlone();
}

std::uint64_t runSeed(const SamplingOptions& options) {
  if (options.seed)
    return *options.seed;
  BytePacker packer;
  packer.put(seedFromClock());
  const std::string leaders = computeOnLeader(processesOf(options), [&] { return packer.bytes(); });
  return ByteUnpacker(leaders).get<std::uint64_t>();
}

WalkSettings walkSettings(const SamplingOptions& options, double x, double y, WalkKind walk) {
  const int mcore = options.cores == 1 ? 0 : 1;
  const std::size_t memoryLimit =
      defaultWalkMemoryLimit() / static_cast<std::size_t>(processesOf(options).sizeOnThisMachine());
  WalkSettings settings{budgetOf(options, walk), mcore, x, y, memoryLimit, walk};
  settings.stop = options.stop;
  return settings;
}

void runSampleBatch(const SamplingOptions& options, const std::function<void()>& batch) {
  try {
    if (options.cores)
      runWithWorkerLimit(*options.cores, batch);
    else
      batch();
  } catch (const WalkStopped&) {
    throw EstimateStopped();
  }
}

Graph graphOfEdges(const EdgeList& edges) {
  std::vector<int> ids;
  ids.reserve(2 * edges.size());
  for (const auto& [u, v] : edges) {
    ids.push_back(u);
    ids.push_back(v);
  }
  std::sort(ids.begin(), ids.end());
  const auto distinct = std::unique(ids.begin(), ids.end()) - ids.begin();
  return Graph(static_cast<int>(distinct), edges);
}
