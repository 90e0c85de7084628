// What every batch of samples owes its callers, whichever walk draws it and whatever it samples:
// samples that depend on their seeds alone, exact values where the budget never binds, and an
// end when told to stop or before the walk outgrows its memory. The library and the Python
// module build on these batches and check only that they pass their options through.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "estimator/level_walk.h"
#include "estimator/reduced_walk.h"
#include "estimator/sample_batch.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"

namespace {

struct SampleKind {
  const char* name;
  WalkKind walk;
  bool coefficients;  // every coefficient t_ij of the level walk, and the point beside them
  // Where the invariance checks sample; at y = 0 the level walk cuts off the subtrees worth
  // nothing.
  double x, y;
};

const SampleKind kKinds[] = {{"LevelPoint", WalkKind::Level, false, 2, 0},
                             {"ReducedPoint", WalkKind::Reduced, false, 1, 2},
                             {"LevelCoefficients", WalkKind::Level, true, 2, 1}};

void PrintTo(const SampleKind& kind, std::ostream* out) {
  *out << kind.name;
}

// A sample as the tests compare it: the value at the point, or t_ij for 0 <= i, j <= m row by
// row and then the value at the point when one is given.
using Sample = std::vector<WideFloat>;

struct Batch {
  std::vector<Sample> samples;
  bool budgetBound = false;
  std::int64_t nodesBuilt = 0;
};

bool pointGiven(double x, double y) {
  return x != -1 && y != -1;
}

Sample flattened(const CoefficientMatrix& table, const WideFloat* point) {
  Sample sample;
  for (int i = 0; i <= table.edgeCount; ++i)
    for (int j = 0; j <= table.edgeCount; ++j)
      sample.push_back(table.at(i, j));
  if (point != nullptr)
    sample.push_back(*point);
  return sample;
}

std::vector<std::uint64_t> seedsFrom(std::uint64_t first, int count) {
  std::vector<std::uint64_t> seeds(static_cast<std::size_t>(count));
  std::iota(seeds.begin(), seeds.end(), first);
  return seeds;
}

class SampleBatches : public testing::TestWithParam<SampleKind> {
 protected:
  WalkSettings settings(int budget, int mcore, double x, double y) const {
    WalkSettings settings{budget, mcore, x, y};
    settings.walk = GetParam().walk;
    return settings;
  }

  Batch draw(const Graph& root, const WalkSettings& settings,
             const std::vector<std::uint64_t>& seeds) const {
    Batch batch;
    if (!GetParam().coefficients) {
      const PointSamples points = estimatePointSamples(root, settings, seeds);
      for (const WideFloat& value : points.values)
        batch.samples.push_back({value});
      batch.budgetBound = points.budgetBound;
      batch.nodesBuilt = points.nodesBuilt;
      return batch;
    }
    const CoefficientSamples tables = estimateCoefficientSamples(root, settings, seeds);
    const bool withPoint = pointGiven(settings.x, settings.y);
    EXPECT_EQ(tables.points.size(), withPoint ? seeds.size() : 0u);
    for (std::size_t i = 0; i < tables.tables.size(); ++i)
      batch.samples.push_back(flattened(tables.tables[i], withPoint ? &tables.points[i] : nullptr));
    batch.budgetBound = tables.budgetBound;
    batch.nodesBuilt = tables.nodesBuilt;
    return batch;
  }

  // The sample of one walk of this kind on one core, seeded with `seed`.
  Sample walkAlone(const Graph& root, const WalkSettings& settings, std::uint64_t seed) const {
    if (settings.walk == WalkKind::Reduced)
      return {
          ReducedWalk(settings.budget, 0).sample(reducedRoot(root, settings.x, settings.y), seed)};
    LevelWalk walk(settings.budget, 0);
    if (!GetParam().coefficients)
      return {walk.samplePoint(root, settings.x, settings.y, seed)};
    WideFloat point = 0.0;
    const CoefficientMatrix table =
        walk.sampleCoefficients(root, settings.x, settings.y, seed, &point);
    return flattened(table, pointGiven(settings.x, settings.y) ? &point : nullptr);
  }

  Sample exactSample(const ExactTutte& exact, int edges, double x, double y) const {
    if (!GetParam().coefficients)
      return {exact.evaluate(x, y)};
    Sample sample;
    for (int i = 0; i <= edges; ++i)
      for (int j = 0; j <= edges; ++j)
        sample.push_back(exact.coefficients[i][j]);
    if (pointGiven(x, y))
      sample.push_back(exact.evaluate(x, y));
    return sample;
  }

  // The bytes of the root as the walk holds it.
  std::size_t rootBytes(const Graph& root, double x, double y) const {
    return GetParam().walk == WalkKind::Reduced ? reducedRoot(root, x, y).memoryBytes()
                                                : root.memoryBytes();
  }
};

// Level weights such as c / k * W may round, so "exact" allows a little.
void expectNearly(const Sample& actual, const Sample& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t k = 0; k < actual.size(); ++k) {
    const double value = expected[k].toDouble();
    EXPECT_NEAR(actual[k].toDouble(), value, 1e-9 * std::max(1.0, std::abs(value))) << "at " << k;
  }
}

}  // namespace

TEST_P(SampleBatches, SamplesDependOnlyOnTheirSeedsNotOnTheCoresOrTheOrder) {
  // The 7 x 7 grid at B = 1024 has levels large enough to share out: N = 3 builds them on all
  // cores, N = 12 runs the walks side by side.
  const Graph root = graphOf(gridEdges(7, 7));
  const double x = GetParam().x, y = GetParam().y;
  for (int count : {3, 12})
    for (int budget : {1, 16, 1024}) {
      SCOPED_TRACE(testing::Message() << "B=" << budget << " N=" << count);
      const std::vector<std::uint64_t> seeds = seedsFrom(1000003ULL * budget, count);
      const Batch one = draw(root, settings(budget, 0, x, y), seeds);
      const Batch all = draw(root, settings(budget, 1, x, y), seeds);
      EXPECT_EQ(one.samples, all.samples);
      EXPECT_EQ(one.nodesBuilt, all.nodesBuilt);
      EXPECT_EQ(one.budgetBound, all.budgetBound);
      EXPECT_TRUE(one.budgetBound || budget == 1024);
      // A sample is the walk of its own seed, wherever and whenever it ran.
      EXPECT_EQ(walkAlone(root, settings(budget, 0, x, y), seeds.back()), one.samples.back());
      if (budget == 16) {
        const std::vector<std::uint64_t> reversed(seeds.rbegin(), seeds.rend());
        std::vector<Sample> backwards = draw(root, settings(budget, 1, x, y), reversed).samples;
        std::reverse(backwards.begin(), backwards.end());
        EXPECT_EQ(backwards, one.samples);
      }
    }
}

TEST_P(SampleBatches, ABudgetThatNeverBindsGivesTheExactValueInEverySample) {
  // Parallel edges, loops, bridges, several components, a root that is already a leaf, graphs
  // with no ordinary edge at all, K5, a grid and a 3-regular multigraph.
  const std::vector<EdgeList> graphs{
      {{0, 1}, {1, 2}, {2, 0}},
      {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}},
      completeGraph(4),
      {{0, 1}, {0, 1}},
      {{0, 1}, {1, 2}, {2, 2}},
      {},
      {{0, 0}, {0, 1}, {0, 1}, {1, 2}, {2, 3}, {3, 1}, {3, 4}, {4, 4}},
      {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 3}, {4, 3}, {5, 5}, {6, 7}},
      {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {2, 2}, {0, 1}, {3, 4}},
      completeGraph(5),
      gridEdges(3, 4),
      randomCubicMultigraph(10, 4)};
  // Points on the axes, where the level walk prunes; (-1, 2) and (2, -1), where its coefficient
  // samples carry no point; points of either sign and at non-integers.
  const double points[][2] = {{0, 2},  {2, 0},  {0, 0},  {1, 1},     {2, 3},      {-2, 3},
                              {3, -2}, {-1, 2}, {2, -1}, {0.5, 1.5}, {2.5, -0.5}, {-3, 0}};
  for (const EdgeList& edges : graphs) {
    const ExactTutte exact = exactTutte(edges);
    const Graph root = graphOf(edges);
    for (const auto& [x, y] : points) {
      const Sample expected = exactSample(exact, static_cast<int>(edges.size()), x, y);
      for (int budget : {1 << 20, -1})
        for (int mcore : {0, 1}) {
          SCOPED_TRACE(testing::Message() << edges.size() << " edges, B=" << budget << " mcore="
                                          << mcore << " at (" << x << ", " << y << ")");
          const Batch batch = draw(root, settings(budget, mcore, x, y), seedsFrom(1, 3));
          EXPECT_FALSE(batch.budgetBound);
          ASSERT_EQ(batch.samples.size(), 3u);
          for (const Sample& sample : batch.samples)
            expectNearly(sample, expected);
        }
    }
  }
}

TEST_P(SampleBatches, AWalkStopsWhenToldOrBeforeOutgrowingItsMemory) {
  // The flag is read by the walks themselves, at each depth: on one core, side by side, and
  // while one sample builds its large levels on all cores.
  const std::atomic<bool> stop{true};
  const Graph grid = graphOf(gridEdges(4, 4));
  for (auto [budget, count] : {std::pair{1, 20}, {4096, 1}})
    for (int mcore : {0, 1}) {
      WalkSettings told = settings(budget, mcore, 1, 2);
      told.stop = &stop;
      EXPECT_THROW(draw(grid, told, seedsFrom(1, count)), WalkStopped)
          << "B=" << budget << " mcore=" << mcore;
    }
  // A walk whose full tree outgrows three roots stops rather than take the memory; with room
  // to spare it gives the exact value.
  const Graph wide = graphOf(gridEdges(3, 4));
  for (int mcore : {0, 1}) {
    WalkSettings tight = settings(1 << 20, mcore, 1, 2);
    tight.memoryLimit = 3 * rootBytes(wide, 1, 2);
    EXPECT_THROW(draw(wide, tight, seedsFrom(7, 3)), WalkMemoryExhausted) << "mcore=" << mcore;
  }
  const EdgeList k4 = completeGraph(4);
  const Graph roomy = graphOf(k4);
  WalkSettings room = settings(1 << 20, 0, 2, 1);
  room.memoryLimit = 100 * rootBytes(roomy, 2, 1);
  expectNearly(draw(roomy, room, seedsFrom(7, 1)).samples.at(0),
               exactSample(exactTutte(k4), 6, 2, 1));
  // Whoever reports exhausted memory reports this too.
  static_assert(std::is_base_of_v<std::bad_alloc, WalkMemoryExhausted>);
}

INSTANTIATE_TEST_SUITE_P(Walks, SampleBatches, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<SampleKind>& kind) {
                           return std::string(kind.param.name);
                         });

TEST(SampleBatches, TheReducedWalkDrawsNoCoefficients) {
  WalkSettings reduced{1, 0, 2, 1};
  reduced.walk = WalkKind::Reduced;
  EXPECT_THROW(estimateCoefficientSamples(graphOf(completeGraph(4)), reduced, seedsFrom(1, 2)),
               std::invalid_argument);
}
