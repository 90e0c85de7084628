#include "library/sample_statistics.h"

#include <cmath>

// The sums run in index order on purpose: the printed figures depend on the rounding order.

WideFloat sampleMean(const std::vector<WideFloat>& values) {
  WideFloat sum = 0.0;
  for (const WideFloat& value : values)
    sum += value;
  return sum / static_cast<double>(values.size());
}

WideFloat sampleStdDev(const std::vector<WideFloat>& values) {
  const WideFloat mean = sampleMean(values);
  WideFloat squares = 0.0;
  for (const WideFloat& value : values)
    squares += (value - mean) * (value - mean);
  return sqrt(squares / static_cast<double>(values.size()));
}

WideFloat relativeError(const std::vector<WideFloat>& values) {
  return sampleStdDev(values) /
         (std::sqrt(static_cast<double>(values.size())) * sampleMean(values));
}
