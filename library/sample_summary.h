#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "estimator/coefficient_matrix.h"
#include "estimator/wide_float.h"
#include "library/coefficient_table.h"
#include "library/trust_checks.h"

// What an estimate keeps of its samples: sums whose size does not depend on how many samples
// there are. The samples are summed in blocks of kSummaryBlockSamples consecutive sample
// indices, each block in index order, and the blocks' sums are merged pairwise along a fixed
// binary tree over the block indices (summary_tree.h). That order depends on the sample count
// alone, so the same seed gives the same digits on one core, on many and on any number of
// processes, and pairwise merging loses less to rounding than one long running sum.

inline constexpr int kSummaryBlockSamples = 64;

// The samples of one point. Means and squared deviations are kept rather than raw sums of
// squares, which would cancel catastrophically where the samples hardly vary.
struct SampleSummary {
  std::int64_t count = 0;
  WideFloat mean = 0.0;
  WideFloat squaredDeviations = 0.0;  // sum of (s - mean)^2
  WideFloat absoluteSum = 0.0;
  WideFloat largestAbsolute = 0.0;

  // Two passes over the samples in index order: the mean, then the deviations from it. Equal
  // samples (an exact run's, all the same exact sum) have their value as their mean to the last
  // digit, where their sum over their count could round, and merging keeps it.
  static SampleSummary of(std::span<const WideFloat> samples);
  // The samples of `earlier` followed by those of `later` (either may be empty).
  static SampleSummary merged(const SampleSummary& earlier, const SampleSummary& later);

  // The mean with its standard error: the population spread (divisor n) over sqrt(n).
  ErrorBar estimate() const;
  // The effective sample size and the largest sample's share (trust_checks.h).
  SampleWeight weight() const;
};

// The coefficient tables of normal mode's samples, every coefficient a SampleSummary's mean and
// squared deviations over all samples (a sample that does not hold a coefficient counts it as
// 0), with the two figures the checks need: the samples' sums (their estimates of T(1, 1)), and
// how many samples reached a leaf. Memory follows the coefficients the samples reached.
struct CoefficientSummary {
  struct Cell {
    int row;
    int column;
    WideFloat mean;
    WideFloat squaredDeviations;
  };
  std::int64_t count = 0;
  std::vector<Cell> cells;  // row-major, each (row, column) once
  SampleSummary sums;       // of each sample's coefficients
  SampleSummary points;     // of each sample's value at the point, when one is asked
  std::int64_t samplesWithLeaves = 0;

  // `points` may be empty (no point asked) or hold one value per table.
  static CoefficientSummary of(std::span<const CoefficientMatrix> tables,
                               std::span<const WideFloat> points);
  static CoefficientSummary merged(const CoefficientSummary& earlier,
                                   const CoefficientSummary& later);

  // Tables of `size` x `size`: every coefficient's mean, and its standard error relative to
  // its mean (0 where the mean is 0), as coefficientStatistics gives them.
  CoefficientTable means(int size) const;
  CoefficientTable relativeErrors(int size) const;
};
