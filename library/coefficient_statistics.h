#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"
#include "library/coefficient_table.h"

// Per-coefficient statistics of one experiment's samples: means and errors hold the sample mean
// and the relative error of the N values of each coefficient, with error 0 where the mean is 0;
// both have a cell for every coefficient some sample holds, in the same order. minRE and maxRE
// range over the coefficients with a nonzero mean and keep their starting values when there is
// none.
struct CoefficientStatistics {
  CoefficientTable means;
  CoefficientTable errors;
  WideFloat minRE = 1000000.0;
  WideFloat maxRE = -1.0;
};

// Computes the statistics of size x size tables from the samples' nonzero entries only, in time
// and memory proportional to those entries. They agree with sampleMean and relativeError taken
// over the N values of each coefficient (zeros included) up to rounding; the means exactly.
CoefficientStatistics coefficientStatistics(const std::vector<CoefficientMatrix>& samples,
                                            int size);
