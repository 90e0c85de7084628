#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "library/coefficient_statistics.h"
#include "library/sample_statistics.h"
#include "library/sample_summary.h"
#include "library/summary_tree.h"
#include "library/trust_checks.h"
#include "support/coefficient_tables.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

void expectSame(double expected, WideFloat actual, const char* what) {
  if (std::isnan(expected))
    EXPECT_TRUE(actual.isNaN()) << what << " gave " << actual;
  else
    EXPECT_DOUBLE_EQ(expected, actual.toDouble()) << what;
}

struct StatisticsCase {
  std::vector<double> values;
  double mean, stdDev, relativeError;
};

}  // namespace

TEST(SampleStatistics, MeanPopulationStdDevAndRelativeErrorOfTheMean) {
  const StatisticsCase cases[] = {
      // The divisor of the variance is n: {1, 3} has spread 1, not sqrt(2).
      {{1.0, 3.0}, 2.0, 1.0, 1.0 / (std::sqrt(2.0) * 2.0)},
      {{1.0, 2.0, 3.0, 4.0}, 2.5, std::sqrt(1.25), std::sqrt(1.25) / (2.0 * 2.5)},
      {{-4.0, -4.0, -1.0}, -3.0, std::sqrt(2.0), std::sqrt(2.0) / (std::sqrt(3.0) * -3.0)},
      // One value has no spread, so its relative error is 0.
      {{5.0}, 5.0, 0.0, 0.0},
      // Undefined statistics come out as not-a-number or infinity, never as a failure.
      {{}, kNaN, kNaN, kNaN},
      {{0.0, 0.0}, 0.0, 0.0, kNaN},
      {{-1.0, 1.0}, 0.0, 1.0, kInf},
      {{0.0}, 0.0, 0.0, kNaN},
  };
  for (const StatisticsCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.values));
    const std::vector<WideFloat> values = wideValues(c.values);
    expectSame(c.mean, sampleMean(values), "mean");
    expectSame(c.stdDev, sampleStdDev(values), "standard deviation");
    expectSame(c.relativeError, relativeError(values), "relative error");
  }
}

TEST(SampleStatistics, MeanSumsInIndexOrder) {
  // In index order 1e16 + 1 rounds back to 1e16, so the sum is exactly 0; a compensated sum
  // would keep the 1, as does summing in the order of the second sample.
  EXPECT_EQ(0.0, sampleMean({1e16, 1.0, -1e16}));
  EXPECT_EQ(1.0 / 3.0, sampleMean({1e16, -1e16, 1.0}));
  // Beyond a double's range the same order holds, and nothing overflows on the way.
  const WideFloat big = WideFloat::scaledByPowerOfTwo(1.0, 3000);
  EXPECT_EQ(0.0, sampleMean({big, big * 1e-16, -big}));
  EXPECT_EQ(big / 3.0, sampleMean({big, -big, big}));
  EXPECT_EQ(big * big, sampleStdDev({big * big, -big * big}));
}

TEST(CoefficientStatistics, SparseSamplesAgreeWithTheDenseDefinitions) {
  const int size = 6;
  for (int n : {0, 1, 2, 37, 1000}) {
    std::mt19937 rng(static_cast<unsigned>(n) + 1);
    std::uniform_real_distribution<double> value(-3.0, 50.0);
    std::vector<CoefficientMatrix> samples;
    for (int s = 0; s < n; ++s) {
      DenseTable table(size, std::vector<double>(size, 0.0));
      for (int k = 0; k < 4; ++k)
        table[rng() % 4][rng() % size] = value(rng);
      samples.push_back(sparseTable(table));
    }
    const CoefficientStatistics stats = coefficientStatistics(samples, size);
    const DenseTable means = denseTable(stats.means), errors = denseTable(stats.errors);
    double minRE = 1000000.0, maxRE = -1.0;
    for (int i = 0; i < size; ++i) {
      for (int j = 0; j < size; ++j) {
        std::vector<WideFloat> column;
        for (const CoefficientMatrix& sample : samples)
          column.push_back(denseTable(sample)[i][j]);
        const double mean = sampleMean(column).toDouble();
        const double re = mean == 0.0 ? 0.0 : relativeError(column).toDouble();
        if (mean != 0.0 && minRE > re)
          minRE = re;
        if (mean != 0.0 && re > maxRE)
          maxRE = re;
        SCOPED_TRACE(testing::Message() << "n=" << n << " [" << i << "][" << j << "]");
        if (std::isnan(mean)) {
          EXPECT_TRUE(std::isnan(means[i][j]) && std::isnan(errors[i][j]));
          continue;
        }
        EXPECT_EQ(means[i][j], mean);
        EXPECT_NEAR(errors[i][j], re, 1e-12 * std::abs(re));
      }
    }
    EXPECT_NEAR(stats.minRE.toDouble(), minRE, 1e-12 * minRE);
    EXPECT_NEAR(stats.maxRE.toDouble(), maxRE, 1e-12 * std::abs(maxRE));
  }
}

// A run's sums kept in blocks and merged along the fixed tree: the same bits however the blocks
// are shared out among processes, and within rounding of the statistics of the kept samples.
TEST(StreamingSums, BlocksMergedAlongTheTreeWhateverTheirSharing) {
  std::mt19937 rng(5);
  std::lognormal_distribution<double> heavy(0.0, 2.0);
  const int blocks = 37, size = 5;
  std::vector<WideFloat> values;
  std::vector<CoefficientMatrix> tables;
  for (int s = 0; s < blocks * kSummaryBlockSamples - 20; ++s) {
    values.push_back(WideFloat(heavy(rng)) * WideFloat::scaledByPowerOfTwo(1.0, 3000));
    DenseTable table(size, std::vector<double>(size, 0.0));
    table[rng() % 3][rng() % size] = heavy(rng);
    tables.push_back(sparseTable(table));
  }
  // The blocks from `first` to `end` as one process sums them.
  const auto share = [&](int first, int end) {
    std::pair<SummaryTree<SampleSummary>, SummaryTree<CoefficientSummary>> trees{first, first};
    for (int b = first; b < end; ++b) {
      const std::size_t at = b * kSummaryBlockSamples;
      const std::size_t count = std::min<std::size_t>(kSummaryBlockSamples, values.size() - at);
      trees.first.add(SampleSummary::of(std::span(values).subspan(at, count)));
      trees.second.add(CoefficientSummary::of(std::span(tables).subspan(at, count), {}));
    }
    return trees;
  };
  const auto whole = share(0, blocks);
  for (const std::vector<int>& cuts :
       {std::vector<int>{0, 5, 6, 30, blocks}, std::vector<int>{0, 1, 2, 3, blocks}}) {
    SummaryTree<SampleSummary> points;
    SummaryTree<CoefficientSummary> coefficients;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
      const auto part = share(cuts[k], cuts[k + 1]);
      for (const auto& node : part.first.nodes())
        points.add(node);
      for (const auto& node : part.second.nodes())
        coefficients.add(node);
    }
    EXPECT_EQ(points.total().mean, whole.first.total().mean);
    EXPECT_EQ(points.total().squaredDeviations, whole.first.total().squaredDeviations);
    EXPECT_EQ(denseTable(coefficients.total().relativeErrors(size)),
              denseTable(whole.second.total().relativeErrors(size)));
  }
  const SampleSummary total = whole.first.total();
  const auto close = [](WideFloat a, WideFloat b) { return abs(a - b) <= 1e-12 * abs(b); };
  EXPECT_EQ(total.count, static_cast<std::int64_t>(values.size()));
  EXPECT_TRUE(close(total.estimate().value, sampleMean(values)));
  EXPECT_TRUE(close(total.estimate().standardError,
                    sampleStdDev(values) / std::sqrt(static_cast<double>(values.size()))));
  EXPECT_NEAR(total.weight().effectiveSize, sampleWeight(values).effectiveSize,
              1e-9 * sampleWeight(values).effectiveSize);
  const CoefficientStatistics dense = coefficientStatistics(tables, size);
  const DenseTable streamedErrors = denseTable(whole.second.total().relativeErrors(size));
  const DenseTable denseErrors = denseTable(dense.errors);
  for (int i = 0; i < size; ++i)
    for (int j = 0; j < size; ++j)
      EXPECT_NEAR(streamedErrors[i][j], denseErrors[i][j], 1e-12 * std::abs(denseErrors[i][j]));
  // The identical samples of an exact run stay exact: no spread, and every digit of the first.
  const std::vector<WideFloat> same(1000, WideFloat(0.1));
  SummaryTree<SampleSummary> exact;
  for (std::size_t at = 0; at < same.size(); at += kSummaryBlockSamples)
    exact.add(SampleSummary::of(std::span(same).subspan(
        at, std::min<std::size_t>(kSummaryBlockSamples, same.size() - at))));
  EXPECT_EQ(exact.total().mean, WideFloat(0.1));
  EXPECT_TRUE(exact.total().squaredDeviations.isZero());
}

namespace {

bool mentions(const std::vector<std::string>& lines, const std::string& text) {
  return lines.size() == 1 && lines[0].find(text) != std::string::npos;
}

}  // namespace

TEST(TrustChecks, SampleWeightAndThePointWarnings) {
  const WideFloat big = WideFloat::scaledByPowerOfTwo(1.0, 3000);
  EXPECT_EQ(sampleWeight(wideValues({1, 1, 1, 1})).effectiveSize, 4.0);
  EXPECT_EQ(sampleWeight(wideValues({1, 1, 1, 1})).largestShare, 0.25);
  EXPECT_DOUBLE_EQ(sampleWeight(wideValues({3, -1})).effectiveSize, 1.6);  // 4^2 / 10
  EXPECT_EQ(sampleWeight(wideValues({3, -1})).largestShare, 0.75);
  EXPECT_EQ(sampleWeight({big, big * 3.0}).effectiveSize, 1.6);  // beyond a double's range
  EXPECT_EQ(sampleWeight(wideValues({0, 0})).effectiveSize, 0.0);

  const std::vector<WideFloat> zeros(50, 0.0), even(100, 2.0), few(99, 2.0);
  std::vector<WideFloat> dominated(1000, 1.0);
  dominated[17] = 1500.0;  // 60% of the total weight, with an effective size of 2.8
  // A walk that the budget never cut is exact: nothing is said, whatever the samples look like.
  for (const std::vector<WideFloat>& samples : {zeros, few, dominated})
    EXPECT_TRUE(pointSampleWarnings(1, 2, 1, samples, false, false).empty());
  EXPECT_TRUE(pointSampleWarnings(1, 2, 1, {}, true, false).empty());
  EXPECT_TRUE(pointSampleWarnings(1, 2, 1, even, true, false).empty());
  EXPECT_TRUE(mentions(pointSampleWarnings(2, 0, 2, zeros, true, false),
                       "experiment 2: all 50 samples of T(0, 2) are 0"));
  // Zeros are right where the root itself is cut off (T is 0 there); a heavy tail is not.
  EXPECT_TRUE(pointSampleWarnings(2, 2, 0, zeros, true, true).empty());
  EXPECT_FALSE(pointSampleWarnings(2, 2, 0, few, true, true).empty());
  EXPECT_TRUE(
      mentions(pointSampleWarnings(3, 2, 1, few, true, false), "effective sample size of 99 "));
  const auto heavy = pointSampleWarnings(1, 2, 1, dominated, true, false);
  EXPECT_TRUE(mentions(heavy, "holds 60% of the total weight"));
  EXPECT_TRUE(mentions(heavy, "raise B or N"));
  // Points: integers with all their digits, other values as a stream prints a double.
  EXPECT_TRUE(mentions(pointSampleWarnings(1, 0.5, -1.25, few, true, false), "T(0.5, -1.25)"));
  EXPECT_TRUE(mentions(pointSampleWarnings(1, 1234567, -3, few, true, false), "T(1234567, -3)"));
  EXPECT_TRUE(mentions(pointSampleWarnings(1, 1.0 / 3, 2, few, true, false), "T(0.333333, 2)"));
}

TEST(TrustChecks, ExperimentsThatDisagreeBeyondTheirErrors) {
  // 100 +- 1 and 105 +- 1: chi-square 12.5 on one degree of freedom, tail 4.07e-4.
  EXPECT_NEAR(disagreementTail(wideValues({100, 105}), wideValues({0.01, 1.0 / 105})), 4.07e-4,
              1e-6);
  // 100 +- 1 and 101 +- 1: chi-square 0.5, tail 0.4795; three agreeing experiments, two degrees.
  EXPECT_NEAR(disagreementTail(wideValues({100, 101}), wideValues({0.01, 1.0 / 101})), 0.4795,
              1e-4);
  EXPECT_NEAR(disagreementTail(wideValues({10, 10, 10}), wideValues({0.1, 0.1, 0.1})), 1.0, 1e-12);
  // The same experiments far beyond a double's range give the same tail.
  const WideFloat big = WideFloat::scaledByPowerOfTwo(1.0, 3000);
  EXPECT_NEAR(disagreementTail({big * 100.0, big * 105.0}, wideValues({0.01, 1.0 / 105})), 4.07e-4,
              1e-6);
  // Experiments without a usable error (RE 0 or not-a-number) take no part.
  const WideFloat nan = WideFloat(0.0) / 0.0;
  EXPECT_EQ(disagreementTail(wideValues({100, 105, 7}), {0.01, 0.0, nan}), 1.0);
  const std::vector<WideFloat> apart = wideValues({100, 105}),
                               errors = wideValues({0.01, 1.0 / 105});
  EXPECT_TRUE(mentions(agreementWarnings(2, 1, apart, errors, true),
                       "the 2 experiments' estimates of T(2, 1) disagree"));
  EXPECT_TRUE(agreementWarnings(2, 1, apart, errors, false).empty());
  EXPECT_TRUE(agreementWarnings(2, 1, wideValues({100, 101}), errors, true).empty());
  // Two parts of one run at different tilts: the same test on the two, naming both tilts.
  const TiltedEstimate low{0.707, {100.0, 1.0}}, high{1.0, {105.0, 1.0}}, near{1.0, {101.0, 1.0}};
  EXPECT_TRUE(mentions(tiltAgreementWarnings(2, 1, low, high, true),
                       "as 100 (standard error 1) at tilt 0.707 and 105 (standard error 1) at "
                       "tilt 1, which disagree more than their errors allow (chi-square tail p "
                       "= 0.000407)"));
  EXPECT_TRUE(tiltAgreementWarnings(2, 1, low, high, false).empty());
  EXPECT_TRUE(tiltAgreementWarnings(2, 1, low, near, true).empty());
}

TEST(TrustChecks, CoefficientsWithLargeErrorsAndWalksThatReachNoLeaf) {
  // t00 {1, 3}: RE 0.354; t10 {2, 2}: RE 0; t11 {0, 8}: RE 0.707.
  const std::vector<CoefficientMatrix> samples = {sparseTable({{1, 0}, {2, 0}}),
                                                  sparseTable({{3, 0}, {2, 8}})};
  EXPECT_TRUE(mentions(coefficientWarnings(4, samples, true, true),
                       "experiment 4: 2 of the 3 coefficients the samples reached have an RE "
                       "above 0.1"));
  EXPECT_TRUE(coefficientWarnings(4, samples, false, true).empty());
  EXPECT_TRUE(coefficientWarnings(4, samples, true, false).empty());  // no tables printed
  EXPECT_TRUE(coefficientWarnings(4, {sparseTable({{2, 0}, {2, 0}})}, true, true).empty());
  const std::vector<CoefficientMatrix> empty(3, CoefficientMatrix{{}, 1});
  for (bool countLoose : {true, false}) {
    EXPECT_TRUE(mentions(coefficientWarnings(1, empty, true, countLoose),
                         "none of the 3 samples reached a leaf"));
  }
  EXPECT_TRUE(coefficientWarnings(1, {}, true, true).empty());
}

TEST(TrustChecks, CoefficientSumsAgainstTheExactSpanningTreeCount) {
  // Sample sums 3 and 13: mean 8, population spread 5, standard error 5 / sqrt 2 = 3.54, so
  // five of them reach 8 +- 17.68.
  const std::vector<CoefficientMatrix> samples = {sparseTable({{1, 0}, {2, 0}}),
                                                  sparseTable({{3, 0}, {2, 8}})};
  const ErrorBar estimate = spanningTreeEstimate(samples);
  EXPECT_EQ(estimate.value, 8.0);
  EXPECT_DOUBLE_EQ(estimate.standardError.toDouble(), 5 / std::sqrt(2.0));
  for (double exact : {8.0, 25.0, -9.0})
    EXPECT_TRUE(spanningTreeWarnings(1, estimate, exact, true).empty()) << exact;
  EXPECT_TRUE(mentions(spanningTreeWarnings(2, estimate, 26.0, true),
                       "experiment 2: the coefficients sum to 8 (standard error 3.53553) where "
                       "T(1, 1), their exact sum, is 26: the samples missed part of the tree"));
  EXPECT_TRUE(spanningTreeWarnings(2, estimate, 26.0, false).empty());  // exact run
  // An estimate of 0 is flagged whatever its error; far beyond a double's range the report's
  // format holds, and rounding alone is never flagged.
  EXPECT_FALSE(spanningTreeWarnings(1, {0.0, 1e300}, 1.0, true).empty());
  const WideFloat huge = WideFloat::scaledByPowerOfTwo(1.0, 1200);
  EXPECT_TRUE(
      mentions(spanningTreeWarnings(1, {huge * 1e-40, 0.0}, huge, true), "is 1.72185e+361"));
  EXPECT_TRUE(spanningTreeWarnings(1, {huge * (1 + 1e-12), 0.0}, huge, true).empty());
  // The average of 8 +- 3 and 10 +- 4 is 9 +- 2.5.
  const ErrorBar average = averageEstimate({{8.0, 3.0}, {10.0, 4.0}});
  EXPECT_EQ(average.value, 9.0);
  EXPECT_EQ(average.standardError, 2.5);
  EXPECT_TRUE(averageSpanningTreeWarnings(2, average, 21.0, true).empty());
  EXPECT_TRUE(mentions(averageSpanningTreeWarnings(2, average, 22.0, true),
                       "the 2 experiments' coefficients sum on average to 9 (standard error "
                       "2.5) where T(1, 1), their exact sum, is 22"));
}
