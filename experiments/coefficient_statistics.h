#pragma once

#include <vector>

#include "estimator/coefficient_matrix.h"

using Matrix = std::vector<std::vector<double>>;

// Per-coefficient statistics of one experiment's samples: means[i][j] and errors[i][j] are the
// sample mean and the relative error of the N values of coefficient (i, j), with errors 0 where
// the mean is 0; minRE and maxRE range over the coefficients with a nonzero mean and keep their
// starting values when there is none.
struct CoefficientStatistics {
  Matrix means;
  Matrix errors;
  double minRE = 1000000.0;
  double maxRE = -1.0;
};

// Computes the statistics of tables of size x size coefficients from their nonzero entries
// only. They agree with sampleMean and relativeError taken over the N values of each
// coefficient (zeros included) up to rounding.
CoefficientStatistics coefficientStatistics(const std::vector<CoefficientMatrix>& samples,
                                            int size);
