#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>

#include "estimator/exact_evaluator.h"
#include "library/second_opinion.h"
#include "library/tutte_coefficients.h"
#include "library/tutte_estimate.h"
#include "support/exact_tutte.h"
#include "support/graph_builders.h"

namespace {

const EdgeList kDiamond{{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};
// K4 with a loop, a parallel pair and a pendant edge: every kind of edge, and ids with gaps.
const EdgeList kMixed{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {2, 2}, {0, 1}, {3, 9}};
// K5 is not series-parallel: at B = 1 the reduced walk still has to choose.
const EdgeList kK5{{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};

SamplingOptions sampling(int samples, int budget, std::uint64_t seed,
                         std::optional<int> cores = std::nullopt) {
  return {samples, budget, seed, cores, nullptr};
}

ValueOptions walkAt(double x, double y, int samples, int budget, std::uint64_t seed) {
  return {x, y, EstimateMethod::Walk, sampling(samples, budget, seed)};
}

// Five standard errors: a sound estimator misses by more about once in 1.7 million runs, and
// the seeds are fixed.
void expectWithinFiveErrors(const TutteEstimate& estimate, double exact) {
  EXPECT_FALSE(estimate.run.exact);
  EXPECT_GT(estimate.standardError.toDouble(), 0.0);
  EXPECT_NEAR(estimate.value.toDouble(), exact, 5 * estimate.standardError.toDouble());
}

}  // namespace

// The batches' exactness is proved in sample_batch_test.cpp; here the run says so.
TEST(LibraryEstimate, ExactWhereTheBudgetNeverBindsAndUnbiasedWhereItDoes) {
  for (EstimateMethod method : {EstimateMethod::Walk, EstimateMethod::Reduced}) {
    const TutteEstimate diamond =
        estimateTutteValue(kDiamond, {2, 1, method, sampling(10, 1000, 1)});
    EXPECT_NEAR(diamond.value.toDouble(), 24.0, 1e-12);
    EXPECT_TRUE(diamond.run.exact);
    EXPECT_EQ(diamond.standardError, 0.0);
    EXPECT_EQ(diamond.relativeError, 0.0);
    EXPECT_TRUE(diamond.run.warnings.empty());
    EXPECT_EQ(diamond.method, method);
    EXPECT_EQ(diamond.run.samples, 10);
    EXPECT_EQ(diamond.run.budget, 1000);
  }
  EXPECT_GT(estimateTutteValue(kDiamond, walkAt(2, 1, 10, 1000, 1)).run.nodesBuilt, 0);

  // Real points, and points on the axes, where the walk cuts off the subtrees worth nothing (a
  // graph with a bridge or a loop would be worth nothing there at all).
  const EdgeList k4WithPair{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}, {0, 1}};
  for (auto [edges, x, y] : {std::tuple{kMixed, 0.5, 1.5},
                             {kMixed, 2.5, -0.5},
                             {k4WithPair, 0.0, 2.0},
                             {k4WithPair, -3.0, 0.0}}) {
    SCOPED_TRACE(testing::Message() << "T(" << x << ", " << y << ")");
    const double exact = exactTutte(edges).evaluate(x, y);
    ASSERT_NE(exact, 0.0);
    const TutteEstimate cut = estimateTutteValue(edges, walkAt(x, y, 4000, 2, 3));
    expectWithinFiveErrors(cut, exact);
    EXPECT_DOUBLE_EQ(cut.relativeError.toDouble(), (cut.standardError / abs(cut.value)).toDouble());
  }
}

TEST(LibraryEstimate, TheReducedMethodTakesTheReducedWalk) {
  for (EstimateMethod method : {EstimateMethod::Reduced}) {
    for (auto [x, y] : {std::pair{0.5, 1.5}, {2.0, 0.0}}) {
      const double exact = exactTutte(kK5).evaluate(x, y);
      const TutteEstimate reduced = estimateTutteValue(kK5, {x, y, method, sampling(4000, 1, 5)});
      EXPECT_EQ(reduced.method, EstimateMethod::Reduced);
      expectWithinFiveErrors(reduced, exact);
    }
  }
  // Without a budget each walk takes its own default.
  SamplingOptions unbudgeted = sampling(4, 1, 5);
  unbudgeted.budget.reset();
  EXPECT_EQ(estimateTutteValue(kK5, {2, 1, EstimateMethod::Reduced, unbudgeted}).run.budget, 1);
  EXPECT_EQ(estimateTutteValue(kK5, {2, 1, EstimateMethod::Walk, unbudgeted}).run.budget, 16);
  EXPECT_EQ(estimateTutteCoefficients(kK5, unbudgeted).run.budget, 16);
}

// Auto takes the cheapest exact engine predicted within about a second, and the reduced walk
// beyond; Exact takes it within its own limit and refuses beyond, before any exponential work.
TEST(LibraryEstimate, AutoTakesExactEnginesWhereCheapAndTheWalkBeyond) {
  const ExactTutte mixed = exactTutte(kMixed);
  for (auto [x, y, engine] : {std::tuple{1.0, 1.0, ExactEngine::MatrixTree},
                              {2.0, 2.0, ExactEngine::ClosedForm},
                              {3.0, 1.5, ExactEngine::ClosedForm},
                              {0.5, -1.0, ExactEngine::ClosedForm},
                              {2.0, 0.0, ExactEngine::Frontier},
                              {0.5, 1.5, ExactEngine::Frontier}}) {
    SCOPED_TRACE(testing::Message() << "T(" << x << ", " << y << ")");
    const TutteEstimate exact =
        estimateTutteValue(kMixed, {x, y, EstimateMethod::Auto, sampling(10, 1, 1)});
    EXPECT_EQ(exact.method, EstimateMethod::Exact);
    EXPECT_EQ(exact.engine, engine);
    EXPECT_FALSE(exact.tilt);
    EXPECT_TRUE(exact.run.exact);
    EXPECT_EQ(exact.run.nodesBuilt, 0);
    EXPECT_EQ(exact.standardError, 0.0);
    const double value = mixed.evaluate(x, y);
    EXPECT_NEAR(exact.value.toDouble(), value, 1e-12 * std::abs(value));
    EXPECT_LE(exact.errorBound.toDouble(), 1e-12 * std::abs(value));
  }
  // Every digit at an integer point: the 6 x 6 grid's 60 edges are beyond the evaluator.
  const TutteEstimate grid =
      estimateTutteValue(gridEdges(6, 6), {3, -2, EstimateMethod::Exact, sampling(10, 1, 1)});
  EXPECT_EQ(grid.engine, ExactEngine::Frontier);
  ASSERT_TRUE(grid.exactDecimal);
  const double digits = std::stod(*grid.exactDecimal);
  EXPECT_NEAR(grid.value.toDouble(), digits, 1e-15 * std::abs(digits));
  // A random 3-regular graph on 2,000 vertices: no order keeps its frontier within the engine,
  // and its core is far beyond the evaluator. Deciding so takes no exponential work: seconds,
  // where a frontier of width 0.16 n would take longer than anyone waits. The bound leaves
  // room for sanitizers and a loaded machine.
  const EdgeList large = randomCubicMultigraph(2000, 3);
  const auto start = std::chrono::steady_clock::now();
  const TutteEstimate walked =
      estimateTutteValue(large, {2, 1, EstimateMethod::Auto, sampling(2, 1, 1)});
  EXPECT_EQ(walked.method, EstimateMethod::Reduced);
  EXPECT_FALSE(walked.engine);
  try {
    estimateTutteValue(large, {2, 1, EstimateMethod::Exact, sampling(2, 1, 1)});
    ADD_FAILURE() << "an exact request beyond every engine was answered";
  } catch (const ExactSizeExceeded& refused) {
    EXPECT_TRUE(std::string(refused.what()).starts_with("no exact engine answers within 60 s"))
        << refused.what();
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
}

// The batches' samples depend on their seeds alone (sample_batch_test.cpp); here the core
// count reaches them, the reduced walk's pilot and second tilt included, and a seed taken from
// the clock is reported.
TEST(LibraryEstimate, SeedsGiveTheSameSamplesOnAnyNumberOfCores) {
  // 400 samples: the reduced walk draws the last 40 at its second tilt.
  ValueOptions options{1, 1, EstimateMethod::Reduced, sampling(400, 1, 77)};
  const TutteEstimate all = estimateTutteValue(kK5, options);
  options.sampling.cores = 1;
  const TutteEstimate one = estimateTutteValue(kK5, options);
  EXPECT_FALSE(all.run.exact);
  EXPECT_EQ(std::tie(one.value, one.tilt, one.standardError, one.run.nodesBuilt),
            std::tie(all.value, all.tilt, all.standardError, all.run.nodesBuilt));
  options.sampling.seed.reset();
  const TutteEstimate clocked = estimateTutteValue(kK5, options);
  options.sampling.seed = clocked.run.seed;
  EXPECT_EQ(estimateTutteValue(kK5, options).value, clocked.value);
  const TutteCoefficients tablesAll = estimateTutteCoefficients(kK5, sampling(64, 1, 77));
  const TutteCoefficients tablesOne = estimateTutteCoefficients(kK5, sampling(64, 1, 77, 1));
  ASSERT_EQ(tablesAll.means.cells.size(), tablesOne.means.cells.size());
  for (std::size_t k = 0; k < tablesAll.means.cells.size(); ++k)
    EXPECT_EQ(tablesAll.means.cells[k].value, tablesOne.means.cells[k].value);
}

TEST(LibraryEstimate, TheReducedWalkTiltsAsItsPilotChoosesOrAsGiven) {
  // Where loops are worth much (y > x) contractions are worth more than their weights say, and
  // where bridges are, deletions: the pilot leans each way, and its tilt gives an RE several
  // times smaller than no tilt (1/13 and 1/8 here) for the same samples.
  const EdgeList grid = gridEdges(6, 6);
  for (auto [x, y] : {std::pair{1.0, 3.0}, {3.0, 1.0}}) {
    SCOPED_TRACE(testing::Message() << "T(" << x << ", " << y << ")");
    const TutteEstimate chosen =
        estimateTutteValue(grid, {x, y, EstimateMethod::Reduced, sampling(2000, 1, 4)});
    ASSERT_TRUE(chosen.tilt);
    EXPECT_EQ(*chosen.tilt<1.0, y> x);
    EXPECT_EQ(*chosen.tilt > 1.0, x > y);
    EXPECT_FALSE(chosen.guided);
    const TutteEstimate untilted =
        estimateTutteValue(grid, {x, y, EstimateMethod::Reduced, sampling(2000, 1, 4), 1.0});
    EXPECT_EQ(untilted.tilt, 1.0);
    EXPECT_LT(chosen.relativeError.toDouble(), 0.25 * untilted.relativeError.toDouble());
  }
  // On a dense graph at (1, 1) the guide by resistances all but removes the spread, and the
  // pilot keeps it; a given tilt runs unguided.
  const EdgeList k12 = completeGraph(12);
  const TutteEstimate guided =
      estimateTutteValue(k12, {1, 1, EstimateMethod::Reduced, sampling(2000, 1, 4)});
  EXPECT_TRUE(guided.guided);
  expectWithinFiveErrors(guided, std::pow(12.0, 10.0));
  EXPECT_LT(guided.relativeError.toDouble(), 0.01);
  EXPECT_FALSE(
      estimateTutteValue(k12, {1, 1, EstimateMethod::Reduced, sampling(200, 1, 4), 1.0}).guided);
  EXPECT_FALSE(estimateTutteValue(kK5, walkAt(2, 1, 10, 2, 1)).tilt);
  for (double tilt : {0.0, -1.0, std::numeric_limits<double>::infinity(),
                      std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(estimateTutteValue(kK5, {2, 1, EstimateMethod::Reduced, sampling(10, 1, 1), tilt}),
                 std::invalid_argument);
  EXPECT_THROW(estimateTutteValue(kK5, {2, 1, EstimateMethod::Walk, sampling(10, 1, 1), 2.0}),
               std::invalid_argument);
}

TEST(LibraryEstimate, RefusedOptionsWarningsAndStops) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const ValueOptions& bad :
       {walkAt(1, 1, 0, 4, 1), walkAt(1, 1, 10, 0, 1), walkAt(nan, 1, 10, 4, 1),
        ValueOptions{1, 1, EstimateMethod::Walk, sampling(10, 4, 1, 0)}})
    EXPECT_THROW(estimateTutteValue(kDiamond, bad), std::invalid_argument);
  EXPECT_THROW(estimateTutteCoefficients(kDiamond, sampling(10, -1, 1)), std::invalid_argument);

  // A heavy-tailed run says so, naming the real point as written.
  const EdgeList grid = gridEdges(6, 6);
  const TutteEstimate heavy = estimateTutteValue(grid, walkAt(0.5, 1.25, 20, 1, 9));
  ASSERT_EQ(heavy.run.warnings.size(), 1u);
  EXPECT_NE(heavy.run.warnings[0].find("T(0.5, 1.25) rests on an effective sample size"),
            std::string::npos);

  // A stop set before or during a long run ends it after the samples in progress.
  std::atomic<bool> stop{true};
  ValueOptions endless = walkAt(1, 1, 1000000, 16, 1);
  endless.sampling.stop = &stop;
  EXPECT_THROW(estimateTutteValue(grid, endless), EstimateStopped);
  EXPECT_THROW(estimateTutteCoefficients(grid, endless.sampling), EstimateStopped);
  stop = false;
  const auto start = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
  });
  EXPECT_THROW(estimateTutteValue(grid, endless), EstimateStopped);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // One sample of a 20 x 20 grid at B = 4096, seconds of work, ends at once: the flag reaches
  // the walk, which reads it at each depth (sample_batch_test.cpp).
  const EdgeList large = gridEdges(20, 20);
  stop = true;
  for (EstimateMethod method : {EstimateMethod::Walk, EstimateMethod::Reduced}) {
    ValueOptions huge{1, 2, method, sampling(1, 4096, 1)};
    huge.sampling.stop = &stop;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(estimateTutteValue(large, huge), EstimateStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
  }
}

TEST(LibraryEstimate, ASecondTiltOrTheExactValueCatchesARunThatMissedItsTail) {
  const auto mentions = [](const std::vector<std::string>& warnings, const std::string& text) {
    return std::any_of(warnings.begin(), warnings.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  };
  // At tilt 8 the walk on a 5 x 5 grid at (1, 2) nearly always deletes and almost never meets
  // the contractions that carry T: 1,800 samples come out at a quarter of the value with an RE
  // of 0.3. The 200 at tilt 0.707 see the whole tree, and the two disagree.
  const Graph grid = graphOf(gridEdges(5, 5));
  const double exact = exactTutteValue(grid, 1, 2).toDouble();
  const WalkSettings settings{1, 1, 1, 2, 0, WalkKind::Reduced};
  const double infinity = std::numeric_limits<double>::infinity();
  const TiltedSamples missed =
      drawTiltedSamples(grid, settings, {8, 0.707, infinity, infinity}, 2, 0, 2000, processAlone());
  ASSERT_EQ(missed.second.samples.summary.count, 200);
  EXPECT_LT(missed.first.samples.summary.mean.toDouble(), 0.5 * exact);
  EXPECT_TRUE(mentions(secondOpinionWarnings(1, 2, missed), "at tilt 8 and"));
  // Pooled without predictions, weighted by them with: unbiased either way.
  EXPECT_DOUBLE_EQ(missed.secondWeight, 0.1);
  const TiltedSamples weighted =
      drawTiltedSamples(grid, settings, {0.707, 0.5, 0.45, 0.9}, 1, 0, 2000, processAlone());
  EXPECT_NEAR(weighted.secondWeight, 200 / 0.9 / (1800 / 0.45 + 200 / 0.9), 1e-12);
  const ErrorBar combined = combinedEstimate(weighted);
  EXPECT_NEAR(combined.value.toDouble(), exact, 5 * combined.standardError.toDouble());
  EXPECT_TRUE(secondOpinionWarnings(1, 2, weighted).empty());
  // A run the budget never cut is exact at either tilt and warns about nothing.
  WalkSettings whole = settings;
  whole.budget = 1 << 20;
  const TiltedSamples exactRun = drawTiltedSamples(
      graphOf(kK5), whole, {8, 0.707, infinity, infinity}, 1, 0, 200, processAlone());
  EXPECT_FALSE(exactRun.budgetBound());
  EXPECT_TRUE(secondOpinionWarnings(1, 2, exactRun).empty());
  const double k5 = exactTutte(kK5).evaluate(1, 2);
  EXPECT_NEAR(combinedEstimate(exactRun).value.toDouble(), k5, 1e-9 * k5);

  // Where the exact value is at hand, a walk asked for anyway is set beside it: the level walk
  // at (1, 1) on a 6 x 6 grid at B = 1 with 20 samples comes out far below the spanning trees.
  const TutteEstimate low = estimateTutteValue(gridEdges(6, 6), walkAt(1, 1, 20, 1, 3));
  EXPECT_TRUE(mentions(low.run.warnings, "standard errors from its exact value"));
  const TutteEstimate fine =
      estimateTutteValue(kK5, {1, 1, EstimateMethod::Reduced, sampling(4000, 1, 5)});
  EXPECT_FALSE(fine.run.exact);
  EXPECT_TRUE(fine.run.warnings.empty());
}

TEST(LibraryCoefficients, ExactTablesAndUnbiasedEstimates) {
  const ExactTutte mixed = exactTutte(kMixed);
  const int size = static_cast<int>(kMixed.size()) + 1;
  const TutteCoefficients exact = estimateTutteCoefficients(kMixed, sampling(3, 1 << 20, 4));
  EXPECT_TRUE(exact.run.exact);
  EXPECT_TRUE(exact.run.warnings.empty());
  ASSERT_EQ(exact.means.size, size);
  const TutteCoefficients cut = estimateTutteCoefficients(kMixed, sampling(4000, 2, 5));
  EXPECT_FALSE(cut.run.exact);
  for (int i = 0; i < size; ++i) {
    for (int j = 0; j < size; ++j) {
      const double t = mixed.coefficients[i][j];
      EXPECT_NEAR(exact.means.at(i, j).toDouble(), t, 1e-9 * std::max(1.0, t));
      EXPECT_EQ(exact.relativeErrors.at(i, j), 0.0);
      const double error = (cut.relativeErrors.at(i, j) * cut.means.at(i, j)).toDouble();
      EXPECT_NEAR(cut.means.at(i, j).toDouble(), t, 5 * error + 1e-9 * std::max(1.0, t))
          << i << ", " << j;
    }
  }
  const auto saysTreesWereMissed = [](const std::vector<std::string>& warnings) {
    return std::any_of(warnings.begin(), warnings.end(), [](const std::string& line) {
      return line.find("where T(1, 1), their exact sum, is") != std::string::npos;
    });
  };
  EXPECT_FALSE(saysTreesWereMissed(cut.run.warnings));
  // At B = 1 on a 6 x 6 grid the tables rest on few samples: the check of loose coefficients,
  // and with this seed a sum of the coefficients, 8.8e12, seven standard errors below the exact
  // count of spanning trees, 3.3e13.
  const EdgeList grid = gridEdges(6, 6);
  const TutteCoefficients heavy = estimateTutteCoefficients(grid, sampling(20, 1, 3));
  ASSERT_EQ(heavy.run.warnings.size(), 2u);
  EXPECT_NE(heavy.run.warnings[0].find("have an RE above"), std::string::npos);
  EXPECT_TRUE(saysTreesWereMissed(heavy.run.warnings));
}
