#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "experiments/coefficient_statistics.h"
#include "experiments/sample_statistics.h"
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
