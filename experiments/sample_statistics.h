#pragma once

#include <vector>

// Statistics of one sample. None guards against an empty sample or a zero mean: those give
// not-a-number or infinity, which the reports print as they come.

// Sum of the entries in index order, divided by their number.
double sampleMean(const std::vector<double>& values);

// Population standard deviation (divisor n).
double sampleStdDev(const std::vector<double>& values);

// Standard error of the mean relative to the mean: sampleStdDev / (sqrt(n) * sampleMean).
double relativeError(const std::vector<double>& values);
