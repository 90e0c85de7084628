#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "estimator/coefficient_estimator.h"
#include "estimator/parallel_loop.h"
#include "estimator/point_estimator.h"
#include "estimator/random_source.h"
#include "estimator/random_stream.h"
#include "estimator/tree_level.h"
#include "estimator/wide_float.h"
#include "library/sample_statistics.h"
#include "library/trust_checks.h"
#include "support/coefficient_tables.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"
#include "support/spanning_tree_log.h"

namespace {

const EdgeList kTriangle{{0, 1}, {1, 2}, {2, 0}};
const EdgeList kDiamond{{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};
const EdgeList kK4{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
const EdgeList kPath{{0, 1}, {1, 2}};
const EdgeList kPendant{{0, 1}, {1, 2}, {2, 0}, {2, 3}};  // ordinary edges and a bridge
const EdgeList kLooped{{0, 1}, {1, 2}, {2, 0}, {1, 1}};   // ordinary edges and a loop

// Level weights such as c / k * W may round, so "exact" allows a few ulps.
double tolerance(double expected) {
  return 1e-12 * std::max(1.0, std::abs(expected));
}

double evaluateTable(const CoefficientMatrix& table, int x, int y) {
  double value = 0.0;
  const DenseTable c = denseTable(table);
  for (std::size_t i = 0; i < c.size(); ++i)
    for (std::size_t j = 0; j < c[i].size(); ++j)
      value += c[i][j] * std::pow(x, i) * std::pow(y, j);
  return value;
}

// The sample mean lies within five standard errors of `expected` (fixed seed, so deterministic).
void expectUnbiased(const std::vector<double>& samples, double expected) {
  const double n = static_cast<double>(samples.size());
  const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / n;
  double squares = 0.0;
  for (double s : samples)
    squares += (s - mean) * (s - mean);
  EXPECT_NEAR(mean, expected, 5.0 * std::sqrt(squares / (n - 1.0) / n) + tolerance(expected));
}

// What a test can see of a graph through its public counts.
using Signature = std::tuple<int, int, int, int, int>;
Signature signature(Graph g) {
  if (!g.classified)
    g.classifyEdges();
  return {g.edgeCount, g.vertexCount, g.loopCount(), g.bridgeCount(), g.ordinaryCount()};
}

}  // namespace

TEST(Estimators, WorkedExamplesAndDegenerateBudgets) {
  const Graph triangle = graphOf(kTriangle), leaf = graphOf({{0, 1}, {1, 2}, {2, 2}});
  for (int mcore : {0, 1}) {
    EXPECT_EQ(estimatePoint(2, mcore, triangle, 0, 2), 2.0);
    EXPECT_EQ(estimatePoint(1 << 20, mcore, graphOf(kPendant), 0, 5), 0.0);
    EXPECT_EQ(estimatePoint(0, mcore, triangle, 2, 3), 0.0);
    std::vector<WideFloat> samples;
    EXPECT_EQ(evaluateTable(estimateCoefficients(0, triangle, mcore, 2, 3, samples), 1, 1), 0.0);
    EXPECT_EQ(samples, std::vector<WideFloat>{0.0});
    estimateCoefficients(1 << 20, triangle, mcore, -1, 2, samples);  // no point, none added
    EXPECT_EQ(samples, std::vector<WideFloat>{0.0});
  }
  // The walk says whether the budget cut a level: B = 2 never cuts the triangle's tree, B = 1
  // and B = 0 do, and a root that is a leaf has nothing to cut. The flag is only ever set.
  for (auto [budget, edges, cut] : {std::tuple{2, kTriangle, false}, std::tuple{1, kTriangle, true},
                                    std::tuple{0, kTriangle, true}, std::tuple{0, kPath, false}}) {
    bool pointCut = false, tableCut = false, kept = true;
    std::vector<WideFloat> samples;
    estimatePoint(budget, 0, graphOf(edges), 2, 3, &pointCut);
    estimateCoefficients(budget, graphOf(edges), 0, 2, 3, samples, &tableCut);
    estimatePoint(budget, 0, graphOf(edges), 2, 3, &kept);
    EXPECT_TRUE(pointCut == cut && tableCut == cut && kept) << "B=" << budget;
  }
  // A root without ordinary edges is its own leaf x^bridges y^loops, whatever the budget.
  for (int budget : {0, 1}) {
    EXPECT_EQ(estimatePoint(budget, 0, leaf, 3, 2), 18.0);
    EXPECT_EQ(estimatePoint(budget, 0, leaf, 0, 2), 0.0);
    EXPECT_EQ(estimatePoint(budget, 0, graphOf({}), 0, 0), 1.0);
    std::vector<WideFloat> samples;
    const CoefficientMatrix table = estimateCoefficients(budget, leaf, 0, 3, 2, samples);
    EXPECT_TRUE(table.at(2, 1) == 1.0 && evaluateTable(table, 1, 1) == 1.0);
    EXPECT_EQ(denseTable(estimateCoefficients(budget, graphOf({}), 0, 0, 0, samples)),
              (DenseTable{{1.0}}));
    EXPECT_EQ(samples, (std::vector<WideFloat>{18.0, 1.0}));
  }
  // With B = 1 the walk is one root-to-leaf path weighted by 2^depth.
  seedRandomSource(21);
  std::vector<double> values, deepLoops, deepBridges;
  for (int t = 0; t < 4000; ++t) {
    values.push_back(estimatePoint(1, 0, triangle, 0, 2).toDouble());
    ASSERT_TRUE(values.back() == 0.0 || values.back() == 8.0) << values.back();
    std::vector<WideFloat> samples;
    const CoefficientMatrix table = estimateCoefficients(1, triangle, 0, 2, 3, samples);
    const DenseTable c = denseTable(table);
    const double total = evaluateTable(table, 1, 1);  // entries are never negative
    ASSERT_TRUE((total == 2.0 && c[2][0] == 2.0) ||
                (total == 4.0 && (c[1][0] == 4.0 || c[0][1] == 4.0)));
    EXPECT_EQ(samples, std::vector<WideFloat>{evaluateTable(table, 2, 3)});
    deepLoops.push_back(c[0][1]);
    deepBridges.push_back(c[1][0]);
  }
  expectUnbiased(values, 2.0);
  expectUnbiased(deepLoops, 1.0);
  expectUnbiased(deepBridges, 1.0);
}

TEST(Estimators, BindingBudgetsAreUnbiased) {
  seedRandomSource(1234);
  const int trials = 2500;
  for (int budget : {1, 3}) {
    for (const EdgeList& edges : {kDiamond, kK4})
      for (auto [x, y] : {std::pair{0, 2}, std::pair{3, 0}}) {
        std::vector<double> values;
        for (int t = 0; t < trials; ++t)
          values.push_back(estimatePoint(budget, 0, graphOf(edges), x, y).toDouble());
        expectUnbiased(values, exactTutte(edges).evaluate(x, y));
      }
    const ExactTutte exact = exactTutte(kK4);
    std::vector<CoefficientMatrix> tables;
    std::vector<WideFloat> points;
    std::vector<double> pointValues;
    for (int t = 0; t < trials; ++t) {
      tables.push_back(estimateCoefficients(budget, graphOf(kK4), 0, -2, 3, points));
      pointValues.push_back(points.back().toDouble());
      ASSERT_NEAR(pointValues.back(), evaluateTable(tables.back(), -2, 3), 1e-9);
    }
    expectUnbiased(pointValues, exact.evaluate(-2, 3));
    for (std::size_t i = 0; i <= kK4.size(); ++i)
      for (std::size_t j = 0; j <= kK4.size(); ++j) {
        std::vector<double> entry;
        for (const CoefficientMatrix& table : tables)
          entry.push_back(table.at(static_cast<int>(i), static_cast<int>(j)).toDouble());
        SCOPED_TRACE(testing::Message() << "B=" << budget << " t[" << i << "][" << j << "]");
        expectUnbiased(entry, exact.coefficients[i][j]);
      }
  }
}

TEST(ListChildren, CodesFollowLevelOrderAndOnlyThePointFormPrunes) {
  CandidateList codes{99};
  TreeLevel three{graphOf(kTriangle), graphOf(kTriangle), graphOf(kTriangle)};
  EXPECT_FALSE(listChildren(three, codes));
  EXPECT_EQ(codes, (CandidateList{0, 1, 2, 3, 4, 5}));
  TreeLevel withLeaf{graphOf(kTriangle), graphOf(kPath), graphOf(kTriangle)};
  EXPECT_FALSE(listChildren(withLeaf, codes, 2, 3));
  EXPECT_EQ(codes, (CandidateList{0, 1, 4, 5}));
  TreeLevel mixed{graphOf(kPendant), graphOf(kLooped), graphOf(kTriangle)};
  const std::vector<std::tuple<int, int, CandidateList>> cases{
      {0, 1, {2, 3, 4, 5}}, {1, 0, {0, 1, 4, 5}}, {0, 0, {4, 5}}, {-2, -3, {0, 1, 2, 3, 4, 5}}};
  for (const auto& [x, y, expected] : cases) {
    EXPECT_FALSE(listChildren(mixed, codes, x, y));
    EXPECT_EQ(codes, expected) << "at (" << x << ", " << y << ")";
  }
  EXPECT_FALSE(listChildren(mixed, codes));
  EXPECT_EQ(codes, (CandidateList{0, 1, 2, 3, 4, 5}));
  TreeLevel empty, leaves{graphOf(kPath), graphOf({{0, 0}})};
  for (TreeLevel* level : {&empty, &leaves}) {
    codes = {7};
    EXPECT_TRUE(listChildren(*level, codes) && codes.empty());
    EXPECT_TRUE(listChildren(*level, codes, 0, 0));
  }
}

TEST(ExpandLevel, BothPathsBuildTheChildrenInCandidateOrder) {
  const std::vector<EdgeList> shapes{kTriangle, kLooped, kPendant, kK4, {{0, 1}, {0, 1}, {1, 2}}};
  TreeLevel level;
  for (int k = 0; k < 40; ++k)
    level.push_back(graphOf(shapes[k % shapes.size()]));
  CandidateList codes;
  ASSERT_FALSE(listChildren(level, codes));
  RandomStream random(11);
  shuffleUniformly(codes, random);
  const int count = static_cast<int>(codes.size()) - 5;
  std::vector<Signature> expected;
  for (int p = 0; p < count; ++p) {
    const Graph& parent = level[codes[p] / 2];
    const Signature before = signature(parent);
    const Graph child = expandChild(level, codes, p);
    EXPECT_EQ(signature(parent), before);
    EXPECT_EQ(child.edgeCount, parent.edgeCount - 1);
    EXPECT_EQ(child.vertexCount, parent.vertexCount - codes[p] % 2);
    expected.push_back(signature(child));
  }
  for (int mcore : {0, 1}) {
    TreeLevel next = level;
    expandLevel(next, codes, count, mcore);
    std::vector<Signature> built;
    for (const Graph& g : next)
      built.push_back(signature(g));
    EXPECT_EQ(built, expected) << "mcore=" << mcore;
    expandLevel(next = level, codes, 0, mcore);
    EXPECT_TRUE(next.empty());
    expandLevel(next = level, codes, 1, mcore);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(signature(next[0]), signature(expandChild(level, codes, 0)));
  }
}

TEST(ExpandLevel, LargeLevelsOnAllCoresMatchOneCore) {
  // 12 x 12 grid: enough work per level for the worker threads to take part.
  TreeLevel level(64, graphOf(gridEdges(12, 12)));
  CandidateList codes;
  ASSERT_FALSE(listChildren(level, codes));
  std::vector<std::vector<Signature>> built;
  for (int mcore : {0, 1}) {
    TreeLevel next = level;
    for (int depth = 0; depth < 3; ++depth) {
      listChildren(next, codes);
      expandLevel(next, codes, 100, mcore);
    }
    built.emplace_back();
    for (const Graph& g : next)
      built.back().push_back(signature(g));
  }
  EXPECT_EQ(built[0], built[1]);
  EXPECT_EQ(built[0].size(), 100u);
}

TEST(ParallelLayer, EveryPositionOnceAndExceptionsRethrown) {
  for (int count : {-3, 0, 1, 2, 5000}) {
    std::vector<std::atomic<int>> runs(std::max(count, 0));
    parallelFor(count, [&](int p) { ++runs[p]; });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r == 1; }));
  }
  std::thread::id ranOn;
  parallelFor(1, [&](int) { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  for (int count : {1, 5000})
    EXPECT_THROW(parallelFor(count,
                             [](int p) {
                               if (p == 0 || p == 3777)
                                 throw std::runtime_error("task failed");
                             }),
                 std::runtime_error);
  // A limit holds inside its call only, and a limited loop still runs every position once.
  const int all = workerCount();
  runWithWorkerLimit(1, [&] {
    EXPECT_EQ(workerCount(), 1);
    std::vector<std::atomic<int>> runs(300);
    parallelFor(300, [&](int p) { ++runs[p]; });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r == 1; }));
  });
  runWithWorkerLimit(1000, [&] { EXPECT_EQ(workerCount(), all); });
  EXPECT_THROW(runWithWorkerLimit(1, [] { throw std::runtime_error("body failed"); }),
               std::runtime_error);
  EXPECT_EQ(workerCount(), all);
}

TEST(RandomStream, ShufflesAndSubsetsAreUniform) {
  RandomStream random(5);
  const std::vector<int> digits{3, 1, 4, 1, 5, 9, 2, 6};
  std::vector<int> shuffled = digits, empty;
  shuffleUniformly(shuffled, random);
  shuffleUniformly(empty, random);
  EXPECT_TRUE(std::is_permutation(digits.begin(), digits.end(), shuffled.begin(), shuffled.end()));
  // Every permutation of three values, and every 2-subset of four, equally often.
  const int trials = 6000;
  std::map<std::vector<int>, int> permutations, subsets;
  for (int t = 0; t < trials; ++t) {
    std::vector<int> values{0, 1, 2};
    shuffleUniformly(values, random);
    ++permutations[values];
    std::vector<int> four{0, 1, 2, 3};
    moveUniformSubsetToFront(four, 2, random);
    EXPECT_TRUE(
        std::is_permutation(four.begin(), four.end(), std::vector<int>{0, 1, 2, 3}.begin()));
    std::sort(four.begin(), four.begin() + 2);
    ++subsets[{four[0], four[1]}];
  }
  ASSERT_EQ(permutations.size(), 6u);
  ASSERT_EQ(subsets.size(), 6u);
  const double p = 1.0 / 6.0;
  for (const auto* counts : {&permutations, &subsets})
    for (const auto& [values, count] : *counts)
      EXPECT_NEAR(count, trials * p, 5.0 * std::sqrt(trials * p * (1.0 - p)));
  // Equal seeds give equal streams; the seeding spreads neighbouring seeds apart.
  RandomStream a(42), b(42), c(43);
  const auto first = a();
  EXPECT_EQ(first, b());
  EXPECT_NE(first, c());
}

TEST(Estimators, ValuesBeyondADoublesRangeOnLargeGraphs) {
  // At B = 1 every step has two candidates, so a leaf reached after d steps weighs 2^d, and at
  // (2, 2) its monomial 2^(i + j) makes every sample 2^m exactly: T(2, 2) = 2^m, here 2^4500.
  const EdgeList cubic = randomCubicMultigraph(3000, 5);
  const WideFloat twoToTheM = WideFloat::scaledByPowerOfTwo(1.0, 4500);
  seedRandomSource(3);
  EXPECT_EQ(estimatePoint(1, 0, graphOf(cubic), 2, 2), twoToTheM);
  std::vector<WideFloat> points;
  const CoefficientMatrix table = estimateCoefficients(1, graphOf(cubic), 1, 2, 2, points);
  ASSERT_EQ(table.entries.size(), 1u);
  const CoefficientEntry leaf = table.entries[0];
  EXPECT_EQ(power(2, leaf.row) * leaf.value * power(2, leaf.column), twoToTheM);
  EXPECT_EQ(points, std::vector<WideFloat>{twoToTheM});
  std::ostringstream printed;
  printed << points[0];
  EXPECT_EQ(printed.str(), "4.315e+1354");

  // T(1, 1) counts spanning trees. A path of 1100 parallel pairs has T = (x + y)^1100, and at
  // B = 1 each sample is 2^1100: beyond a double, and the matrix-tree count.
  EdgeList pairs;
  for (int v = 0; v < 1100; ++v)
    pairs.insert(pairs.end(), 2, {v, v + 1});
  const double logPairTrees = logSpanningTreeCount(pairs, 1101);
  EXPECT_NEAR(logPairTrees, 1100 * std::log(2.0), 1e-9);
  EXPECT_NEAR(log(estimatePoint(1, 1, graphOf(pairs), 1, 1)), logPairTrees, 1e-9);

  // A 3-regular graph on 1000 vertices has about 10^360 spanning trees (random simple ones
  // (4 / sqrt 3)^n = 10^363 up to a polynomial factor; a few loops and pairs here). Its budget-1
  // samples are so heavy-tailed that the mean of 50 of them falls short by far more than 10^10
  // (typically by tens of orders) while the RE stays below 1: the case the trust checks exist for.
  // The estimate is finite and its sample weight rests on a handful of samples.
  const EdgeList cubic1000 = randomCubicMultigraph(1000, 11);
  const double logTrees = logSpanningTreeCount(cubic1000, 1000);
  ASSERT_TRUE(std::isfinite(logTrees));
  EXPECT_NEAR(logTrees / std::log(10.0), 360, 5);
  std::vector<WideFloat> samples;
  for (int s = 0; s < 50; ++s)
    samples.push_back(estimatePoint(1, 0, graphOf(cubic1000), 1, 1));
  const WideFloat mean = sampleMean(samples);
  EXPECT_TRUE(mean.isFinite() && mean > 1e308);
  EXPECT_LT(log(mean), logTrees - 10 * std::log(10.0));
  EXPECT_LT(relativeError(samples), 1.0);
  EXPECT_LT(sampleWeight(samples).effectiveSize, kLeastEffectiveSampleSize);
  EXPECT_FALSE(pointSampleWarnings(1, 1, 1, samples, true, false).empty());
}
