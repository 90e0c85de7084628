#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "estimator/ratio_fit.h"
#include "estimator/sample_batch.h"
#include "estimator/tilt_choice.h"
#include "estimator/weighted_resampling.h"
#include "library/sampling_run.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"

namespace {

std::vector<std::uint64_t> seeds(int count, std::uint64_t first) {
  std::vector<std::uint64_t> out(count);
  std::iota(out.begin(), out.end(), first);
  return out;
}

WalkSettings reduced(int budget, int mcore, double x, double y) {
  return {budget, mcore, x, y, 0, WalkKind::Reduced};
}

// The mean of the samples lies within five standard errors of `expected` (fixed seeds, so
// deterministic; a fault-free walk fails with probability below 10^-6).
void expectUnbiased(const std::vector<WideFloat>& samples, double expected) {
  const double n = static_cast<double>(samples.size());
  double sum = 0.0, squares = 0.0;
  for (const WideFloat& s : samples)
    sum += s.toDouble();
  const double mean = sum / n;
  for (const WideFloat& s : samples)
    squares += (s.toDouble() - mean) * (s.toDouble() - mean);
  EXPECT_NEAR(mean, expected, 5.0 * std::sqrt(squares / (n - 1.0) / n) + 1e-9 * std::abs(expected));
}

const EdgeList kK4{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};

}  // namespace

TEST(WeightedResampling, KeepsTheBudgetAndEveryWeightInExpectation) {
  const std::vector<double> weights{5.0, -0.5, 1.0, 0.25, -3.0, 0.75, 2.0};
  RandomStream random(3);
  std::vector<double> keptWeight(weights.size(), 0.0);
  const int draws = 20000;
  for (std::size_t budget : {1u, 3u, 5u}) {
    std::fill(keptWeight.begin(), keptWeight.end(), 0.0);
    for (int draw = 0; draw < draws; ++draw) {
      std::vector<WeightedCandidate> candidates;
      for (std::size_t k = 0; k < weights.size(); ++k)
        candidates.push_back({static_cast<int>(k), weights[k]});
      EXPECT_TRUE(resampleToBudget(candidates, budget, random));
      ASSERT_EQ(candidates.size(), budget);
      for (std::size_t k = 1; k < candidates.size(); ++k)
        ASSERT_LT(candidates[k - 1].code, candidates[k].code);
      for (const WeightedCandidate& kept : candidates)
        keptWeight[kept.code] += (kept.weight * kept.scale).toDouble();
    }
    // A kept weight is the weight or +-c; c is at most the sum of |w|, 12.5, so the mean of
    // 20000 draws is within 5 * 12.5 / sqrt(20000) < 0.45 of the weight.
    for (std::size_t k = 0; k < weights.size(); ++k)
      EXPECT_NEAR(keptWeight[k] / draws, weights[k], 0.45) << "budget " << budget << " k " << k;
  }
  // The largest weight, 5 of 12.5, is kept as it is once the budget reaches 3.
  std::vector<WeightedCandidate> candidates;
  for (std::size_t k = 0; k < weights.size(); ++k)
    candidates.push_back({static_cast<int>(k), weights[k]});
  resampleToBudget(candidates, 3, random);
  EXPECT_EQ(candidates.front().code, 0);
  EXPECT_EQ(candidates.front().scale, 1.0);
}

// Any tilt changes the variance, never the mean.
TEST(ReducedWalk, BindingBudgetsAreUnbiasedWhateverTheTilt) {
  const double tilts[] = {1.0, 0.5, 2.0};
  int round = 0;
  for (const EdgeList& edges : {gridEdges(3, 4), randomCubicMultigraph(12, 9)}) {
    const ExactTutte exact = exactTutte(edges);
    for (int budget : {1, 4})
      for (const auto& [x, y] : {std::pair{1.0, 1.0}, {2.0, 0.0}, {0.0, 2.0}, {-0.5, 1.5}}) {
        WalkSettings settings = reduced(budget, 0, x, y);
        settings.tilt = tilts[round++ % 3];
        SCOPED_TRACE(testing::Message()
                     << "B=" << budget << " at (" << x << ", " << y << ") tilt " << settings.tilt);
        const PointSamples batch = estimatePointSamples(graphOf(edges), settings, seeds(3000, 77));
        EXPECT_TRUE(batch.budgetBound || budget > 1);
        expectUnbiased(batch.values, exact.evaluate(x, y));
      }
  }
}

// Tilting each choice by the branch edge's resistance ratio makes every sample at (1, 1) the
// spanning-tree count, loops, parallel edges and several components included.
TEST(ReducedWalk, TheResistanceGuideIsExactAtOneOne) {
  const std::vector<EdgeList> graphs{
      gridEdges(4, 5),
      {{0, 0}, {0, 1}, {0, 1}, {1, 2}, {2, 3}, {3, 1}, {3, 4}, {4, 4}, {4, 2}},
      {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {3, 1}, {4, 5}, {5, 6}, {6, 4}, {4, 7}, {7, 5}, {7, 6}},
      randomCubicMultigraph(14, 5)};
  // Under the sanitizers the guide's solves take minutes: there the small graphs check every
  // sample's exactness, and the release build checks all.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  constexpr bool kInstrumented = true;
#else
  constexpr bool kInstrumented = false;
#endif
  for (const EdgeList& edges : graphs) {
    if (kInstrumented && edges.size() > 12)
      continue;
    const ExactTutte exact = exactTutte(edges);
    WalkSettings settings = reduced(1, 0, 1, 1);
    settings.resistancePower = 1.0;
    const PointSamples batch = estimatePointSamples(graphOf(edges), settings, seeds(20, 3));
    for (const WideFloat& value : batch.values)
      EXPECT_NEAR(value.toDouble(), exact.evaluate(1, 1), 1e-6 * exact.evaluate(1, 1));
  }
}

// At other points and powers the guide changes the variance, never the mean.
TEST(ReducedWalk, TheResistanceGuideIsUnbiasedElsewhere) {
  const EdgeList edges = randomCubicMultigraph(12, 9);
  const ExactTutte exact = exactTutte(edges);
  for (const auto& [power, radius] : {std::pair{0.5, 0}, {1.0, 0}, {1.0, 2}, {1.0, -1}})
    for (int budget : {1, 4})
      for (const auto& [x, y] : {std::pair{2.0, 1.0}, {0.0, 2.0}, {2.0, 0.0}, {-0.5, 1.5}}) {
        WalkSettings settings = reduced(budget, 0, x, y);
        settings.resistancePower = power;
        settings.resistanceRadius = radius;
        settings.tilt = 0.7;
        SCOPED_TRACE(testing::Message() << "power " << power << " radius " << radius
                                        << " B=" << budget << " at (" << x << ", " << y << ")");
        const PointSamples batch = estimatePointSamples(graphOf(edges), settings, seeds(400, 91));
        expectUnbiased(batch.values, exact.evaluate(x, y));
      }
}

// The fitted ratio's chances, fitted or arbitrary, change the variance, never the mean.
TEST(ReducedWalk, TheFittedRatioIsUnbiased) {
  const EdgeList edges = randomCubicMultigraph(12, 9);
  const Graph graph = graphOf(edges);
  const ExactTutte exact = exactTutte(edges);
  const RatioWeights arbitrary{0.3, 0.8, 0.5, -0.4, 0.2, 1.0, -0.5};
  for (const auto& [x, y] :
       {std::pair{2.0, 1.0}, {0.0, 2.0}, {2.0, 0.0}, {1.0, 1.0}, {-0.5, 1.5}}) {
    WalkSettings settings = reduced(1, 0, x, y);
    const RatioFit fit =
        fitRatio(graph, settings, constantTiltWeights(0.7, true), seeds(200, 500), 2);
    for (const RatioWeights& weights : {arbitrary, fit.weights})
      for (int budget : {1, 4}) {
        settings.budget = budget;
        settings.fittedRatio = weights;
        SCOPED_TRACE(testing::Message() << "B=" << budget << " at (" << x << ", " << y << ")");
        const PointSamples batch = estimatePointSamples(graph, settings, seeds(400, 91));
        expectUnbiased(batch.values, exact.evaluate(x, y));
      }
  }
}

TEST(ReducedWalk, ThePilotChoosesATiltThatFitsThePoint) {
  const Graph root = graphOf(gridEdges(6, 6));
  const std::vector<double> ladder = tiltLadder();
  // Where loops are worth much, contractions are worth more than a and b say, and where
  // bridges are, deletions: the pilot's choice leans each way, and repeats with its seeds.
  const double cyclic = chooseTilt(root, reduced(1, 0, 1, 3), seeds(13 * 100, 9)).tilt;
  const double acyclic = chooseTilt(root, reduced(1, 1, 3, 1), seeds(13 * 100, 9)).tilt;
  EXPECT_LT(cyclic, 1.0);
  EXPECT_GT(acyclic, 1.0);
  EXPECT_EQ(cyclic, chooseTilt(root, reduced(1, 1, 1, 3), seeds(13 * 100, 9)).tilt);
  EXPECT_NE(std::find(ladder.begin(), ladder.end(), cyclic), ladder.end());
  // On K8 at (0, 2) a pilot of 16 samples a tilt used to choose anything from 0.177 to 1 with
  // the seeds, as a tilt that missed its tail looks best; now the choice stays within one step
  // of the ladder, and its neighbour is the next step on either side.
  const Graph k8 = graphOf(completeGraph(8));
  double least = 8.0, most = 0.125;
  for (std::uint64_t first = 1; first < 20000; first += 1000) {
    const TiltChoice choice = chooseTilt(k8, reduced(1, 0, 0, 2), seeds(13 * 16, first));
    least = std::min(least, choice.tilt);
    most = std::max(most, choice.tilt);
    EXPECT_NEAR(std::abs(std::log2(choice.neighbour / choice.tilt)), 0.5, 1e-12);
    EXPECT_GE(choice.relativeVariance, 0.0);
    EXPECT_TRUE(std::isfinite(choice.neighbourRelativeVariance));
  }
  EXPECT_LE(most / least, std::sqrt(2.0) * (1 + 1e-12));
  // Nothing to choose: a value of 0, a root that is a leaf, too few seeds.
  EXPECT_EQ(
      chooseTilt(graphOf({{0, 1}, {1, 2}, {2, 0}, {2, 3}}), reduced(1, 0, 0, 2), seeds(500, 1))
          .tilt,
      1.0);
  EXPECT_EQ(chooseTilt(graphOf(kK4), reduced(1, 0, 2, 2), seeds(10, 1)).tilt, 1.0);
  const EdgeList diamond{{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};  // series-parallel: a leaf
  EXPECT_EQ(chooseTilt(graphOf(diamond), reduced(1, 0, 2, 1), seeds(13 * 16, 1)).tilt, 1.0);
}

namespace {

double sampleRelativeVariance(const std::vector<WideFloat>& values) {
  double sum = 0.0, squares = 0.0;
  for (const WideFloat& value : values) {
    sum += value.toDouble();
    squares += value.toDouble() * value.toDouble();
  }
  const double mean = sum / static_cast<double>(values.size());
  return squares / static_cast<double>(values.size()) / (mean * mean) - 1.0;
}

}  // namespace

TEST(ReducedWalk, ThePilotLooksBeyondTheLadderWhereItsBestTiltIsAtAnEnd) {
  // On K6 at (30, 1) bridges are worth so much that deletions want a tilt of about 32: the
  // ladder's end, 8, has a relative variance of about 0.43, the widened choice about 0.002.
  const Graph k6 = graphOf(completeGraph(6));
  const TiltChoice wide = chooseTilt(k6, reduced(1, 0, 30, 1), seeds(13 * 50, 1));
  EXPECT_GT(wide.tilt, 8.0);
  EXPECT_EQ(std::exp2(std::round(std::log2(wide.tilt))), wide.tilt);
  EXPECT_NEAR(std::abs(std::log2(wide.neighbour / wide.tilt)), 1.0, 1e-12);
  EXPECT_EQ(chooseTilt(k6, reduced(1, 1, 30, 1), seeds(13 * 50, 1)).tilt, wide.tilt);
  WalkSettings chosen = reduced(1, 0, 30, 1), ladderEnd = chosen;
  chosen.tilt = wide.tilt;
  ladderEnd.tilt = 8.0;
  const double chosenVariance =
      sampleRelativeVariance(estimatePointSamples(k6, chosen, seeds(4000, 7)).values);
  const double endVariance =
      sampleRelativeVariance(estimatePointSamples(k6, ladderEnd, seeds(4000, 7)).values);
  EXPECT_LT(chosenVariance, endVariance / 10.0);
  // However far the point pushes, the widened range stops at 2^10.
  EXPECT_LE(chooseTilt(k6, reduced(1, 0, 1e9, 1), seeds(13 * 16, 1)).tilt, 1024.0);
}

// With the rest of the graph shorted, a dense graph's resistances are nearly exact: on K12 the
// guided walk's relative variance is about 1/150 of the best constant tilt's at (1, 1) and
// about 1/2 at (2, 1).
TEST(ReducedWalk, TheShortedResistanceGuideFitsDenseGraphs) {
  const Graph k12 = graphOf(completeGraph(12));
  for (const auto& [x, y, gain] : {std::tuple{1.0, 1.0, 20.0}, {2.0, 1.0, 1.5}}) {
    SCOPED_TRACE(testing::Message() << "at (" << x << ", " << y << ")");
    WalkSettings tilted = reduced(1, 0, x, y);
    tilted.tilt = chooseTilt(k12, tilted, seeds(13 * 50, 1)).tilt;
    WalkSettings guided = reduced(1, 0, x, y);
    guided.resistancePower = 1.0;
    guided.resistanceRadius = -1;
    guided.tilt = chooseTilt(k12, guided, seeds(13 * 50, 1)).tilt;
    const double tiltedVariance =
        sampleRelativeVariance(estimatePointSamples(k12, tilted, seeds(4000, 5)).values);
    const double guidedVariance =
        sampleRelativeVariance(estimatePointSamples(k12, guided, seeds(4000, 5)).values);
    EXPECT_LT(guidedVariance, tiltedVariance / gain);
  }
}
