#include "estimator/sample_batch.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <stdexcept>

#include "estimator/child_builder.h"
#include "estimator/level_walk.h"
#include "estimator/parallel_loop.h"
#include "estimator/reduced_walk.h"
#include "estimator/tree_level.h"

namespace {

// Walks side by side hold their levels side by side: beyond this much memory for all of them,
// large levels are built on all cores one sample at a time instead.
constexpr std::size_t kSideBySideBytes = std::size_t{64} << 20;

// The most graphs one walk may hold at once: two levels of at most B nodes.
std::size_t graphsPerWalk(int budget) {
  return 2 * std::max<std::size_t>(nodesKeptPerDepth(budget), 1);
}

// Whether the samples run side by side, one walk per core, rather than one after another with
// each level built on all cores: when no level of a walk is worth sharing out, or when there
// are samples enough and all walks together fit in kSideBySideBytes. A node of the walk has
// `nodeSlots` slots and takes `nodeBytes` bytes.
bool samplesSideBySide(long nodeSlots, std::size_t nodeBytes, const WalkSettings& settings,
                       std::size_t samples, int workers) {
  if (settings.mcore == 0 || samples < 2 || workers < 2)
    return false;
  if (!worthBuildingInParallel(nodeSlots, nodesKeptPerDepth(settings.budget)))
    return true;  // no level of the walk is worth sharing out
  const std::size_t graphs = graphsPerWalk(settings.budget);
  const std::size_t bytes = std::max<std::size_t>(nodeBytes, 1);
  return samples >= 4 * static_cast<std::size_t>(workers) &&
         graphs <= kSideBySideBytes / bytes / static_cast<std::size_t>(workers);
}

// Runs runSample(walk, i) for every sample index i, with one walk per thread taking the next
// index until none is left; makeWalk(mcore, memoryLimit) makes a walk. Returns the nodes built.
template <typename MakeWalk, typename RunSample>
std::int64_t runSamples(long nodeSlots, std::size_t nodeBytes, const WalkSettings& settings,
                        std::size_t samples, const SampleHook& afterEachSample,
                        std::atomic<bool>& budgetBound, MakeWalk makeWalk, RunSample runSample) {
  const int workers = workerCount();
  const std::size_t memoryLimit =
      settings.memoryLimit > 0 ? settings.memoryLimit : defaultWalkMemoryLimit();
  if (!samplesSideBySide(nodeSlots, nodeBytes, settings, samples, workers)) {
    auto walk = makeWalk(settings.mcore, memoryLimit);
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
    auto walk = makeWalk(0, memoryLimit / workers);
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

// The level walk's runner: its nodes are Graphs.
template <typename RunSample>
std::int64_t runLevelWalks(const Graph& root, const WalkSettings& settings, std::size_t samples,
                           const SampleHook& afterEachSample, std::atomic<bool>& budgetBound,
                           RunSample runSample) {
  return runSamples(
      root.workSlots(), root.memoryBytes(), settings, samples, afterEachSample, budgetBound,
      [&](int mcore, std::size_t memoryLimit) {
        LevelWalk walk(settings.budget, mcore, memoryLimit);
        walk.stopWhen(settings.stop);
        return walk;
      },
      runSample);
}

PointSamples reducedPointSamples(const Graph& graph, const WalkSettings& settings,
                                 const std::vector<std::uint64_t>& seeds,
                                 const SampleHook& afterEachSample) {
  const ReducedNode root = reducedRoot(graph, settings.x, settings.y, settings.order);
  PointSamples result;
  result.values.resize(seeds.size());
  std::atomic<bool> budgetBound{false};
  result.nodesBuilt = runSamples(
      root.workSlots(), root.memoryBytes(), settings, seeds.size(), afterEachSample, budgetBound,
      [&](int mcore, std::size_t memoryLimit) {
        ReducedWalk walk(settings.budget, mcore, settings.tilt, memoryLimit);
        walk.stopWhen(settings.stop);
        walk.guideByResistance(settings.resistancePower, settings.resistanceRadius);
        if (settings.fittedRatio)
          walk.guideByFit(*settings.fittedRatio);
        return walk;
      },
      [&](ReducedWalk& walk, std::size_t i) { result.values[i] = walk.sample(root, seeds[i]); });
  result.budgetBound = budgetBound;
  return result;
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
    return reducedPointSamples(root, settings, seeds, afterEachSample);
  const Graph top = classifiedCopy(root);
  PointSamples result;
  result.values.resize(seeds.size());
  std::atomic<bool> budgetBound{false};
  result.nodesBuilt = runLevelWalks(top, settings, seeds.size(), afterEachSample, budgetBound,
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
  if (settings.walk == WalkKind::Reduced)
    throw std::invalid_argument("the reduced walk estimates values at a point, not coefficients");
  const Graph top = classifiedCopy(root);
  const bool wantsPoint = settings.x != -1 && settings.y != -1;
  CoefficientSamples result;
  result.tables.resize(seeds.size());
  if (wantsPoint)
    result.points.resize(seeds.size());
  std::atomic<bool> budgetBound{false};
  result.nodesBuilt = runLevelWalks(top, settings, seeds.size(), afterEachSample, budgetBound,
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
