#include "experiments/sample_statistics.h"

#include <cmath>

double sampleMean(const std::vector<double>& values) {
  double sum = 0.0;
  for (double value : values)
    sum += value;
  return sum / static_cast<double>(values.size());
}

double sampleStdDev(const std::vector<double>& values) {
  const double mean = sampleMean(values);
  double squares = 0.0;
  for (double value : values)
    squares += (value - mean) * (value - mean);
  return std::sqrt(squares / static_cast<double>(values.size()));
}

double relativeError(const std::vector<double>& values) {
  return sampleStdDev(values) /
         (std::sqrt(static_cast<double>(values.size())) * sampleMean(values));
}
