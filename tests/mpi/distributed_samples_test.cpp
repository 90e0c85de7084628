// Runs under an MPI launcher with any number of processes (CTest starts it with 2 and 3): the
// samples gathered on the leader must be exactly those one process computes from the same seeds.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "estimator/exact_evaluator.h"
#include "experiments/distributed_samples.h"
#include "library/tutte_coefficients.h"
#include "library/tutte_estimate.h"
#include "support/coefficient_tables.h"
#include "support/graph_builders.h"

namespace {

SamplingOptions sampling(int samples, std::optional<int> budget, std::uint64_t seed) {
  SamplingOptions options;
  options.samples = samples;
  options.budget = budget;
  options.seed = seed;
  return options;
}

std::vector<std::uint64_t> seeds(int count) {
  std::vector<std::uint64_t> values(count);
  for (int i = 0; i < count; ++i)
    values[i] = 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(i + 7);
  return values;
}

}  // namespace

TEST(DistributedSamples, TheLeaderGathersExactlyTheSamplesOfOneProcess) {
  const ProcessGroup& group = ProcessGroup::current();
  const Graph root = graphOf(gridEdges(6, 6));
  // 11 samples: a count no number of processes above 1 divides evenly, and more processes than
  // samples leave some blocks empty.
  for (int count : {11, 2}) {
    const std::vector<std::uint64_t> all = seeds(count);
    for (int budget : {1, 16, 1024}) {
      SCOPED_TRACE(testing::Message() << "B=" << budget << " N=" << count);
      const PointSamples gathered = gatherPointSamples(group, root, {budget, 1, 2, 0}, all);
      const WalkSettings reduced{budget, 1, 1, 2, 0, WalkKind::Reduced};
      const PointSamples gatheredReduced = gatherPointSamples(group, root, reduced, all);
      const CoefficientSamples tables =
          gatherCoefficientSamples(group, root, {budget, 1, 2, 1}, all);
      if (!group.leads())
        continue;
      const PointSamples alone = estimatePointSamples(root, {budget, 0, 2, 0}, all);
      EXPECT_EQ(gathered.values, alone.values);
      EXPECT_EQ(gathered.budgetBound, alone.budgetBound);
      EXPECT_EQ(gathered.nodesBuilt, alone.nodesBuilt);
      EXPECT_EQ(gatheredReduced.values, estimatePointSamples(root, reduced, all).values);
      const CoefficientSamples tablesAlone =
          estimateCoefficientSamples(root, {budget, 0, 2, 1}, all);
      EXPECT_EQ(tables.points, tablesAlone.points);
      ASSERT_EQ(tables.tables.size(), tablesAlone.tables.size());
      for (std::size_t i = 0; i < tables.tables.size(); ++i)
        EXPECT_EQ(denseTable(tables.tables[i]), denseTable(tablesAlone.tables[i])) << i;
    }
  }
}

TEST(DistributedSamples, AFailureOnOneProcessStopsThemAll) {
  const ProcessGroup& group = ProcessGroup::current();
  // One sample, in the last process's block, whose walk outgrows its memory: every process
  // must throw rather than wait for the others.
  const Graph root = graphOf(gridEdges(6, 6));
  const WalkSettings tooLarge{1 << 20, 0, 2, 0, 100 * root.memoryBytes()};
  EXPECT_THROW(gatherPointSamples(group, root, tooLarge, seeds(1)), std::bad_alloc);
  // The next experiment runs as usual.
  EXPECT_NO_THROW(gatherPointSamples(group, root, {1, 0, 2, 0}, seeds(3)));
}

// The library's estimates through the group: every process returns what one process alone
// computes from the same seed, to the last digit, whatever the number of processes.
TEST(DistributedSamples, LibraryEstimatesAreThoseOfOneProcess) {
  const ProcessGroup& group = ProcessGroup::current();
  const EdgeList edges = gridEdges(6, 6);
  const auto shared = [&](ValueOptions options) {
    options.sampling.processes = &group;
    return options;
  };
  // 1,000 samples: blocks no number of processes divides evenly; the reduced walk's pilot and
  // second tilt; the level walk; an exact answer found on the leader alone.
  for (const ValueOptions& options :
       {ValueOptions{1, 2, EstimateMethod::Reduced, sampling(1000, {}, 5)},
        ValueOptions{2, 1, EstimateMethod::Walk, sampling(300, 4, 6)},
        ValueOptions{2, 1, EstimateMethod::Auto, sampling(10, {}, 7)}}) {
    const TutteEstimate alone = estimateTutteValue(edges, options);
    const TutteEstimate together = estimateTutteValue(edges, shared(options));
    EXPECT_EQ(together.value, alone.value);
    EXPECT_EQ(together.standardError, alone.standardError);
    EXPECT_EQ(together.tilt, alone.tilt);
    EXPECT_EQ(together.exactDecimal, alone.exactDecimal);
    EXPECT_EQ(together.run.nodesBuilt, alone.run.nodesBuilt);
    EXPECT_EQ(together.run.warnings, alone.run.warnings);
  }
  SamplingOptions options = sampling(200, 3, 8);
  const TutteCoefficients alone = estimateTutteCoefficients(edges, options);
  options.processes = &group;
  const TutteCoefficients together = estimateTutteCoefficients(edges, options);
  EXPECT_EQ(denseTable(together.means), denseTable(alone.means));
  EXPECT_EQ(denseTable(together.relativeErrors), denseTable(alone.relativeErrors));
  // A refusal on the leader is every process's.
  EXPECT_THROW(estimateTutteValue(completeGraph(40),
                                  shared({2, 1, EstimateMethod::Exact, sampling(10, {}, 1)})),
               ExactSizeExceeded);
}

int main(int argc, char** argv) {
  ProcessGroup group(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  if (!group.leads()) {
    auto& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
  }
  const int failed = RUN_ALL_TESTS();
  return group.allAgree(failed == 0) ? 0 : 1;
}
