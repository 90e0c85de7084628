#pragma once

#include <vector>

#include "estimator/wide_float.h"

// Statistics of one sample, in the wide range: the samples of a large graph overflow a double.
// None guards against an empty sample or a zero mean: those give not-a-number or infinity, which
// the reports print as they come.

// Sum of the entries in index order, divided by their number.
WideFloat sampleMean(const std::vector<WideFloat>& values);

// Population standard deviation (divisor n).
WideFloat sampleStdDev(const std::vector<WideFloat>& values);

// Standard error of the mean relative to the mean: sampleStdDev / (sqrt(n) * sampleMean).
WideFloat relativeError(const std::vector<WideFloat>& values);
