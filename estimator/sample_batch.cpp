#include "estimator/sample_batch.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <stdexcept>

#include "estimator/level_walk.h"
#include "estimator/parallel_loop.h"
#include "estimator/tree_level.h"

namespace {

// Walks side by side hold their levels side by side: beyond this much memory for all of them,
// large levels are built on all cores one sample at a time instead.
constexpr std::size_t kSideBySideBytes = std::size_t{64} << 20;

// The most graphs one walk may hold at once: two levels of at most B nodes.
std::size_t graphsPerWalk(int budget) {
  if (budget < 0)
    return std::numeric_limits<std::size_t>::max() / 4;
  return 2 * static_cast<std::size_t>(std::max(budget, 1));
}

bool samplesSideBySide(const Graph& root, const WalkSettings& settings, std::size_t samples,
                       int workers) {
  if (settings.mcore == 0 || samples < 2 || workers < 2)
    return false;
  if (settings.budget >= 0 && !worthBuildingInParallel(root, settings.budget))
    return true;  // no level of the walk is worth sharing out
  const std::size_t graphs = graphsPerWalk(settings.budget);
  const std::size_t bytes = std::max<std::size_t>(root.memoryBytes(), 1);
  return samples >= 4 * static_cast<std::size_t>(workers) &&
         graphs <= kSideBySideBytes / bytes / static_cast<std::size_t>(workers);
}

// Runs runSample(walk, i) for every sample index i, with one walk per thread taking the next
// index until none is left.
template <typename RunSample>
std::int64_t runSamples(const Graph& root, const WalkSettings& settings, std::size_t samples,
                        const SampleHook& afterEachSample, std::atomic<bool>& budgetBound,
                        RunSample runSample) {
  const int workers = workerCount();
  const std::size_t memoryLimit =
      settings.memoryLimit > 0 ? settings.memoryLimit : LevelWalk::defaultMemoryLimit();
  if (!samplesSideBySide(root, settings, samples, workers)) {
    LevelWalk walk(settings.budget, settings.mcore, memoryLimit);
    for (std::size_t i = 0; i < samples; ++i) {
      runSample(walk, i);
      if (walk.budgetBound())
        budgetBound = true;
      if (afterEachSample)
        afterEachSample();
    }
    return walk.nodesBuilt();
  }
  std::atomic<std::size_t> next{0};
  std::atomic<std::int64_t> nodes{0};
  runTasks(workers, [&](int) {
    LevelWalk walk(settings.budget, 0, memoryLimit / workers);
    for (std::size_t i; (i = next.fetch_add(1)) < samples;) {
      try {
        runSample(walk, i);
      } catch (...) {
        next = samples;  // the other walks stop after their current sample
        throw;
      }
      if (walk.budgetBound())
        budgetBound = true;
      if (afterEachSample)
        afterEachSample();
    }
    nodes += walk.nodesBuilt();
  });
  return nodes;
}

// The root, classified once for all samples of the batch.
Graph classifiedCopy(const Graph& root) {
  Graph copy = root;
  if (!copy.classified)
    copy.classifyEdges();
  return copy;
}

}  // namespace

PointSamples estimatePointSamples(const Graph& root, const WalkSettings& settings,
                                  const std::vector<std::uint64_t>& seeds,
                                  const SampleHook& afterEachSample) {
  if (settings.walk == WalkKind::Reduced)
    throw std::invalid_argument("the reduced walk is not available yet");
  const Graph top = classifiedCopy(root);
  PointSamples result;
  result.values.resize(seeds.size());
  std::atomic<bool> budgetBound{false};
  result.nodesBuilt = runSamples(top, settings, seeds.size(), afterEachSample, budgetBound,
                                 [&](LevelWalk& walk, std::size_t i) {
                                   result.values[i] =
                                       walk.samplePoint(top, settings.x, settings.y, seeds[i]);
                                 });
  result.budgetBound = budgetBound;
  return result;
}

CoefficientSamples estimateCoefficientSamples(const Graph& root, const WalkSettings& settings,
                                              const std::vector<std::uint64_t>& seeds,
                                              const SampleHook& afterEachSample) {
  const Graph top = classifiedCopy(root);
  const bool wantsPoint = settings.x != -1 && settings.y != -1;
  CoefficientSamples result;
  result.tables.resize(seeds.size());
  if (wantsPoint)
    result.points.resize(seeds.size());
  std::atomic<bool> budgetBound{false};
  result.nodesBuilt = runSamples(top, settings, seeds.size(), afterEachSample, budgetBound,
                                 [&](LevelWalk& walk, std::size_t i) {
                                   WideFloat point = 0.0;
                                   result.tables[i] = walk.sampleCoefficients(
                                       top, settings.x, settings.y, seeds[i], &point);
                                   if (wantsPoint)
                                     result.points[i] = point;
                                 });
  result.budgetBound = budgetBound;
  return result;
}
